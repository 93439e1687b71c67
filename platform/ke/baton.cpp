#include "platform/ke/baton.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace plat::ke {
namespace {

// A turn that comes back at once is taken without a sleep. The spin is a
// fixed number of pauses (well under a few microseconds): a longer one would
// keep a second host core busy while another context runs, and on a loaded
// host delays the context it waits for.
constexpr int kSpinPauses = 64;

void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t expected, const timespec* timeout) {
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, timeout,
          nullptr, 0);
}

void FutexWake(std::atomic<std::uint32_t>& word) {
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr,
          nullptr, 0);
}

}  // namespace

void Baton::Give() {
  if (state_.exchange(kGiven, std::memory_order_release) == kSleeping) FutexWake(state_);
}

bool Baton::TryTake() {
  std::uint32_t given = kGiven;
  return state_.compare_exchange_strong(given, kEmpty, std::memory_order_acquire);
}

bool Baton::Spin() {
  for (int i = 0; i < kSpinPauses; ++i) {
    if (state_.load(std::memory_order_relaxed) == kGiven && TryTake()) return true;
    __builtin_ia32_pause();
  }
  return false;
}

void Baton::Take() {
  if (Spin()) return;
  for (;;) {
    std::uint32_t empty = kEmpty;
    if (!state_.compare_exchange_strong(empty, kSleeping, std::memory_order_acquire) &&
        empty == kGiven && TryTake()) {
      return;
    }
    FutexWait(state_, kSleeping, nullptr);
    if (TryTake()) return;
  }
}

bool Baton::TakeFor(std::chrono::nanoseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  if (Spin()) return true;
  for (;;) {
    std::uint32_t empty = kEmpty;
    if (!state_.compare_exchange_strong(empty, kSleeping, std::memory_order_acquire) &&
        empty == kGiven && TryTake()) {
      return true;
    }
    const auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::nanoseconds::zero()) {
      std::uint32_t sleeping = kSleeping;
      state_.compare_exchange_strong(sleeping, kEmpty, std::memory_order_relaxed);
      return TryTake();
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                        static_cast<long>(ns % 1'000'000'000)};
    FutexWait(state_, kSleeping, &wait);
    if (TryTake()) return true;
  }
}

}  // namespace plat::ke
