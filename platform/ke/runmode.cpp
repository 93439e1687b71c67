#include "platform/ke/runmode.h"

#include <chrono>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"

namespace plat {

std::uint64_t SteadyWallClock::NowNs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

void SteadyWallClock::SleepUntil(std::uint64_t wall_ns) {
  std::unique_lock lock(mutex_);
  if (wall_ns == kForever) {
    woken_.wait(lock, [this] { return wake_; });
  } else {
    const std::chrono::steady_clock::time_point until{std::chrono::nanoseconds(wall_ns)};
    woken_.wait_until(lock, until, [this] { return wake_; });
  }
  wake_ = false;
}

void SteadyWallClock::Wake() {
  {
    std::lock_guard lock(mutex_);
    wake_ = true;
  }
  woken_.notify_all();
}

}  // namespace plat

namespace plat::ke {

void Kernel::AdvanceTo(Context& self, std::uint64_t target, bool hand_over) {
  if (hand_over || simulation_.timeline().DueBy(target) || simulation_.DispatchPending()) {
    self.quantum_used += target - Now();
    TimeWait(self, target);
  } else {
    self.quantum_used += target - Now();
    simulation_.SetNow(target);
  }
}

void Kernel::NoteHold(const Context& context) {
  std::uint64_t& longest = longest_holds_[context.label()];
  longest = std::max(longest, context.longest_hold_ns);
}

void Kernel::CompleteExternal(Context& waiter) {
  waiter.wait.status = STATUS_SUCCESS;
  Trace(MakeMarkTrace("external call returned"));
  MakeReady(waiter, false);
}

void Kernel::ExternalCall(Context& self, const std::function<void()>& call) {
  if (!simulation_.run_mode()) {
    Fatal("ke.external-call-virtual",
          "ExternalCall in virtual mode: a host call would make the run irreproducible");
  }
  RequireBelowDispatch(self, "ExternalCall");
  self.state = RunState::Waiting;
  self.wait = WaitState{};
  self.wait.external = true;
  self.quantum_used = 0;
  LeaveCpu(self);
  call();  // outside the turn: other contexts run meanwhile
  simulation_.PostExternalDone(self);
  self.Park();
}

void ExternalCall(const std::function<void()>& call) {
  Kernel& kernel = CurrentKernel();
  kernel.ExternalCall(kernel.RequireThread("ExternalCall"), call);
}

}  // namespace plat::ke
