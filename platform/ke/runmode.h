// Run mode: virtual time paced to a wall clock. At each switch point
// virtual time catches up with the wall-anchored time and what is due runs;
// with nothing ready the run loop sleeps until the next entry's wall time
// or an injection. Host threads outside the emulation act only through
// Simulation::Inject; an emulated thread blocks on a host call only through
// ExternalCall. Virtual mode (no wall clock) stays bit-reproducible.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace plat {

class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual std::uint64_t NowNs() = 0;
  // Returns once NowNs() >= wall_ns, or earlier when Wake() was called.
  virtual void SleepUntil(std::uint64_t wall_ns) = 0;
  virtual void Wake() = 0;
};

// The host's monotonic clock.
class SteadyWallClock final : public WallClock {
 public:
  std::uint64_t NowNs() override;
  void SleepUntil(std::uint64_t wall_ns) override;
  void Wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool wake_ = false;
};

}  // namespace plat

namespace plat::ke {

// Runs `call` on the calling thread's host thread outside the emulation;
// the thread waits meanwhile as in a kernel wait, and other contexts run.
// Run mode only, below DISPATCH_LEVEL.
void ExternalCall(const std::function<void()>& call);

}  // namespace plat::ke
