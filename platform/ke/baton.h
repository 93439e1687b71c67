// The hand-over between host threads: one waiter takes what one giver
// gives. The taker spins briefly first, since a turn usually comes back
// within microseconds, then sleeps in the kernel until given.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace plat::ke {

class Baton {
 public:
  void Give();
  void Take();
  // False when `timeout` passed without a give.
  bool TakeFor(std::chrono::nanoseconds timeout);

 private:
  enum : std::uint32_t { kEmpty = 0, kGiven = 1, kSleeping = 2 };
  bool TryTake();
  bool SpinFor(std::chrono::nanoseconds span);
  std::atomic<std::uint32_t> state_{kEmpty};
};

}  // namespace plat::ke
