// The hand-over between host threads: one waiter takes what one giver
// gives. The taker spins a few pauses first, since a turn often comes back
// at once, then sleeps in the kernel until given, so a simulation keeps one
// host core busy.
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
  bool Spin();
  std::atomic<std::uint32_t> state_{kEmpty};
};

}  // namespace plat::ke
