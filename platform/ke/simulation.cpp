#include "platform/ke/simulation.h"

#include <algorithm>
#include <chrono>

#include "platform/diag/fatal.h"
#include "platform/ke/object.h"

namespace plat {

using ke::Context;
using ke::Kernel;

Simulation::Simulation(SimulationOptions options) : options_(options) {
  trace_.Enable(options_.trace);
}

Simulation::~Simulation() {
  tearing_down_ = true;
  for (const auto& machine : machines_) machine->UnwindAll();
  machines_.clear();
}

Kernel& Simulation::AddMachine(std::string name, ke::KernelConfig config) {
  const auto index = static_cast<std::uint16_t>(machines_.size());
  machines_.push_back(std::make_unique<Kernel>(*this, std::move(name), index, config));
  dispatch_requested_.push_back(false);
  return *machines_.back();
}

void Simulation::RequestDispatch(Kernel& machine) {
  if (dispatch_requested_[machine.index()]) return;
  dispatch_requested_[machine.index()] = true;
  dispatch_queue_.push_back(&machine);
}

void Simulation::NoteRunning(Context* context) {
  running_.store(context, std::memory_order_relaxed);
  NoteSwitchPoint();
  if (!run_mode()) return;
  const std::uint64_t wall = options_.wall_clock->NowNs();
  if (holding_ != nullptr) {
    holding_->longest_hold_ns = std::max(holding_->longest_hold_ns, wall - hold_started_);
    holding_->kernel.NoteHold(*holding_);
  }
  holding_ = context;
  hold_started_ = wall;
}

void Simulation::GiveTurnToRunner() {
  NoteRunning(nullptr);
  runner_baton_.Give();
}

void Simulation::Resume(Context& context) {
  NoteRunning(&context);
  context.Give();
  TakeTurn();
}

void Simulation::TakeTurn() {
  using Clock = std::chrono::steady_clock;
  const auto limit = std::chrono::duration<double>(options_.watchdog_seconds);
  const auto slice = std::chrono::duration_cast<Clock::duration>(
      std::min(limit / 4, std::chrono::duration<double>(1.0)));
  std::uint64_t seen = switch_points_.load(std::memory_order_relaxed);
  auto since = Clock::now();
  while (!runner_baton_.TakeFor(slice)) {
    const std::uint64_t now_seen = switch_points_.load(std::memory_order_relaxed);
    if (now_seen != seen) {
      seen = now_seen;
      since = Clock::now();
    } else if (Clock::now() - since > limit) {
      Watchdog();
    }
  }
}

bool Simulation::RunUntil(const std::function<bool()>& done, std::uint64_t deadline_ns) {
  if (ke::CurrentContextOrNull() != nullptr || in_run_) {
    diag::Fatal("ke.run-reentered", "a simulation run was started from inside a run");
  }
  in_run_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{in_run_};
  if (run_mode()) return RunPaced(done, deadline_ns);
  for (;;) {
    for (const auto& machine : machines_) machine->ReapFinished();
    if (done && done()) return true;
    if (DispatchOne()) continue;
    if (timeline_.Empty() || timeline_.NextTime() > deadline_ns) {
      if (deadline_ns == kForever) Deadlock();
      now_ = std::max(now_, deadline_ns);
      return false;
    }
    auto [id, entry] = timeline_.PopFirst();
    Fire(id, entry);
  }
}

bool Simulation::DispatchOne() {
  if (dispatch_queue_.empty()) return false;
  Kernel* machine = dispatch_queue_.front();
  dispatch_queue_.pop_front();
  dispatch_requested_[machine->index()] = false;
  if (machine->holder() == nullptr) machine->Dispatch();
  return true;
}

bool Simulation::RunPaced(const std::function<bool()>& done, std::uint64_t deadline_ns) {
  wall_anchor_ = options_.wall_clock->NowNs();
  virtual_anchor_ = now_;
  for (;;) {
    for (const auto& machine : machines_) machine->ReapFinished();
    DrainInbox();
    if (done && done()) return true;
    if (DispatchOne()) continue;
    const std::uint64_t wall = WallAnchoredNow();
    NoteLag(wall);
    const std::uint64_t next = timeline_.Empty() ? kForever : timeline_.NextTime();
    if (next <= std::max(now_, wall) && next <= deadline_ns) {
      auto [id, entry] = timeline_.PopFirst();
      Fire(id, entry);
      continue;
    }
    now_ = std::max(now_, std::min(wall, deadline_ns));
    if (now_ >= deadline_ns) return false;
    // Nothing due yet: sleep until the next entry's wall time or an injection.
    const std::uint64_t until = std::min(next, deadline_ns);
    const double wall_span = static_cast<double>(until - virtual_anchor_) / options_.speed;
    options_.wall_clock->SleepUntil(
        until == kForever ? kForever : wall_anchor_ + static_cast<std::uint64_t>(wall_span));
  }
}

std::uint64_t Simulation::WallAnchoredNow() {
  const std::uint64_t wall = options_.wall_clock->NowNs();
  const double span = static_cast<double>(wall - wall_anchor_) * options_.speed;
  return virtual_anchor_ + static_cast<std::uint64_t>(span);
}

void Simulation::NoteLag(std::uint64_t wall_anchored) {
  if (wall_anchored > now_) max_lag_ns_ = std::max(max_lag_ns_, wall_anchored - now_);
}

void Simulation::CatchUp(Context& self) {
  const std::uint64_t wall = WallAnchoredNow();
  NoteLag(wall);
  const bool injections = inbox_pending_.load(std::memory_order_relaxed);
  if (wall <= now_ && !injections) return;
  self.kernel.AdvanceTo(self, std::max(wall, now_), injections);
}

void Simulation::Inject(Kernel& machine, std::function<void()> work) {
  const bool foreign =
      ke::CurrentContextOrNull() == nullptr && std::this_thread::get_id() != owner_;
  if (!run_mode()) {
    if (foreign) {
      machine.Fatal("ke.inject-virtual",
                    "Inject from a host thread outside the emulation in virtual mode: its timing "
                    "would make the run irreproducible");
    }
    machine.QueueInjected(std::move(work));
    return;
  }
  {
    std::lock_guard lock(inbox_mutex_);
    inbox_.push_back({&machine, std::move(work), nullptr});
    inbox_pending_.store(true, std::memory_order_relaxed);
  }
  options_.wall_clock->Wake();
}

void Simulation::PostExternalDone(Context& context) {
  {
    std::lock_guard lock(inbox_mutex_);
    inbox_.push_back({&context.kernel, nullptr, &context});
    inbox_pending_.store(true, std::memory_order_relaxed);
  }
  options_.wall_clock->Wake();
}

void Simulation::DrainInbox() {
  if (!inbox_pending_.load(std::memory_order_relaxed)) return;
  std::deque<Injection> arrived;
  {
    std::lock_guard lock(inbox_mutex_);
    arrived.swap(inbox_);
    inbox_pending_.store(false, std::memory_order_relaxed);
  }
  for (Injection& injection : arrived) {
    if (injection.external_done != nullptr) {
      injection.machine->CompleteExternal(*injection.external_done);
    } else {
      injection.machine->QueueInjected(std::move(injection.work));
    }
  }
}

bool Simulation::RunUserThread(Kernel& machine, std::string name, std::function<void()> body,
                               std::uint64_t deadline_ns) {
  PKTHREAD thread = nullptr;
  const NTSTATUS status = machine.CreateUserThread(std::move(name), std::move(body), &thread);
  if (!NT_SUCCESS(status)) return false;
  const bool ended = RunUntil([thread] { return thread->Header.SignalState != 0; }, deadline_ns);
  ObDereferenceObject(thread);
  return ended;
}

void Simulation::Fire(ke::TimelineId id, ke::TimelineEntry& entry) {
  now_ = std::max(now_, id.time);
  if (entry.resume != nullptr) {
    Context& context = *entry.resume;
    context.frames[entry.frame].elapsed = true;
    if (entry.frame + 1 == context.frames.size()) Resume(context);
    return;
  }
  Kernel& machine = *entry.machine;
  Context* previous = ke::CurrentContextOrNull();
  ke::SetCurrentContext(&machine.device_context());
  {
    ex::ScopedPool pool(machine.pool());
    ke::TraceRecord record = ke::MakeTrace(ke::TraceKind::Fire);
    record.label = entry.label;
    machine.Trace(std::move(record));
    entry.fire();
  }
  ke::SetCurrentContext(previous);
  machine.AfterDeviceEvent();
}

std::string Simulation::DescribeAll() const {
  std::string text;
  for (const auto& machine : machines_) {
    if (!text.empty()) text += "\n  ";
    text += machine->Report();
  }
  return text;
}

std::vector<std::string> Simulation::Format(const std::vector<ke::TraceRecord>& records) const {
  std::vector<std::string> lines;
  for (const ke::TraceRecord& record : records) {
    lines.push_back(ke::FormatTrace(record, machines_[record.machine]->name()));
  }
  return lines;
}

std::vector<std::string> Simulation::Trace() const { return Format(trace_.All()); }

std::string Simulation::TraceText() const {
  std::string text;
  for (const std::string& line : Trace()) text += line + "\n";
  return text;
}

std::vector<std::string> Simulation::TraceTail() const { return Format(trace_.Tail()); }

void Simulation::Deadlock() {
  std::string text = "nothing is ready and nothing is due while the run waits, at virtual time " +
                     std::to_string(now_) + " ns\n  " + DescribeAll() + "\n  trace tail:";
  for (const std::string& line : TraceTail()) text += "\n    " + line;
  diag::Fatal("ke.deadlock", text);
}

void Simulation::Watchdog() {
  const Context* running = running_.load(std::memory_order_relaxed);
  std::string text = "context " + (running != nullptr ? running->label() : std::string("?")) +
                     (running != nullptr ? " of machine " + running->kernel.name() : "") +
                     " held its CPU for over " + std::to_string(options_.watchdog_seconds) +
                     " wall seconds without a switch point, at virtual time " +
                     std::to_string(now_) + " ns";
  diag::Fatal("ke.watchdog", text);
}

}  // namespace plat
