// A simulation: machines sharing one deterministic virtual timeline.
//
//   plat::Simulation sim;
//   plat::ke::Kernel& a = sim.AddMachine("A");
//   sim.RunUserThread(a, "test", [&] {
//     KEVENT e;
//     KeInitializeEvent(&e, NotificationEvent, FALSE);
//     ...  // any kernel call, as a user-mode thread of machine A
//   });
//   bool done = sim.RunUntil([&] { return flag; }, sim.Now() + 5'000'000'000);
//
// One context of the whole simulation runs at a time. The run loop fires
// the earliest timeline entry, runs the machines it made ready until all
// their contexts block, and repeats; time jumps to the next entry when
// nothing is ready. Clock reads and charges advance time while the caller
// keeps its machine; entries due meanwhile run first, on any machine.
// Destroying the simulation unwinds every remaining context, so a failed
// test never hangs.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/runmode.h"
#include "platform/ke/timeline.h"
#include "platform/ke/trace.h"

namespace plat {

inline constexpr std::uint64_t kForever = UINT64_MAX;

struct SimulationOptions {
  bool trace = false;               // keep every trace record (the tail is always kept)
  double watchdog_seconds = 60;     // wall time a context may hold its CPU without a switch point
  WallClock* wall_clock = nullptr;  // run mode: virtual time paced to this clock
  double speed = 1.0;               // run mode: virtual seconds per wall second
};

class Simulation {
 public:
  explicit Simulation(SimulationOptions options = {});
  ~Simulation();
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;

  ke::Kernel& AddMachine(std::string name, ke::KernelConfig config = {});
  const std::vector<std::unique_ptr<ke::Kernel>>& machines() const { return machines_; }

  std::uint64_t Now() const { return now_; }

  // Runs until `done` holds (true) or virtual time reaches `deadline_ns`
  // (false). With no deadline, nothing ready or due is a deadlock (fatal).
  bool RunUntil(const std::function<bool()>& done, std::uint64_t deadline_ns = kForever);
  bool RunFor(std::uint64_t ns) { return RunUntil(nullptr, now_ + ns); }
  // Runs `body` as a user-mode thread of `machine` until it returns (true)
  // or the deadline passes (false).
  bool RunUserThread(ke::Kernel& machine, std::string name, std::function<void()> body,
                     std::uint64_t deadline_ns = kForever);

  // Runs `work` on `machine` at DISPATCH_LEVEL, like a DPC. From a host
  // thread outside the emulation only in run mode.
  void Inject(ke::Kernel& machine, std::function<void()> work);
  bool run_mode() const { return options_.wall_clock != nullptr; }
  // Run mode: the longest time virtual time fell behind the wall clock.
  std::uint64_t MaxLagNs() const { return max_lag_ns_; }

  // The trace, one line per record (every record with options.trace).
  std::vector<std::string> Trace() const;
  std::string TraceText() const;
  std::vector<std::string> TraceTail() const;

  // ---- kernel side ----
  ke::Timeline& timeline() { return timeline_; }
  void SetNow(std::uint64_t now) { now_ = now; }
  bool tearing_down() const { return tearing_down_; }
  // A machine has ready threads and no context on its CPU.
  void RequestDispatch(ke::Kernel& machine);
  bool DispatchPending() const { return !dispatch_queue_.empty(); }
  // Passes the turn from a context to the run loop.
  void GiveTurnToRunner();
  // Gives the turn to `context` and waits until it comes back to the run loop.
  void Resume(ke::Context& context);
  void NoteRunning(ke::Context* context);
  void NoteSwitchPoint() { switch_points_.fetch_add(1, std::memory_order_relaxed); }
  void AddTrace(ke::TraceRecord record) { trace_.Add(std::move(record)); }
  std::string DescribeAll() const;  // every machine's threads and waits
  // Run mode: advances `self` to the wall-anchored time; hands over to the
  // run loop when injections wait.
  void CatchUp(ke::Context& self);
  void PostExternalDone(ke::Context& context);

 private:
  void TakeTurn();
  bool RunPaced(const std::function<bool()>& done, std::uint64_t deadline_ns);
  // Gives one machine that asked for it its CPU; false when none asked.
  bool DispatchOne();
  void DrainInbox();
  std::uint64_t WallAnchoredNow();
  void NoteLag(std::uint64_t wall_anchored);
  std::vector<std::string> Format(const std::vector<ke::TraceRecord>& records) const;
  void Fire(ke::TimelineId id, ke::TimelineEntry& entry);
  [[noreturn]] void Deadlock();
  [[noreturn]] void Watchdog();

  SimulationOptions options_;
  std::vector<std::unique_ptr<ke::Kernel>> machines_;
  ke::Timeline timeline_;
  std::uint64_t now_ = 0;
  std::deque<ke::Kernel*> dispatch_queue_;
  std::vector<bool> dispatch_requested_;
  ke::TraceBuffer trace_;
  ke::Baton runner_baton_;
  std::atomic<std::uint64_t> switch_points_{0};
  std::atomic<ke::Context*> running_{nullptr};
  bool in_run_ = false;
  bool tearing_down_ = false;
  const std::thread::id owner_ = std::this_thread::get_id();
  // Run mode.
  std::uint64_t wall_anchor_ = 0;
  std::uint64_t virtual_anchor_ = 0;
  std::uint64_t max_lag_ns_ = 0;
  std::uint64_t hold_started_ = 0;
  ke::Context* holding_ = nullptr;
  struct Injection {
    ke::Kernel* machine;
    std::function<void()> work;
    ke::Context* external_done;  // or a context whose external call returned
  };
  std::mutex inbox_mutex_;
  std::deque<Injection> inbox_;
  std::atomic<bool> inbox_pending_{false};
};

}  // namespace plat
