#include "platform/ke/kernel.h"

#include <bit>
#include <exception>

#include "platform/diag/fatal.h"
#include "platform/ke/object.h"
#include "platform/ke/simulation.h"

namespace plat::ke {
namespace {

constexpr KPRIORITY kDefaultThreadPriority = 8;

const char* StateName(RunState state) {
  switch (state) {
    case RunState::Created:
      return "created";
    case RunState::Ready:
      return "ready";
    case RunState::Running:
      return "running";
    case RunState::Waiting:
      return "waiting";
    case RunState::TimeWait:
      return "advancing time";
    case RunState::Terminated:
      return "ended";
  }
  return "?";
}

}  // namespace

Kernel::Kernel(Simulation& simulation, std::string name, std::uint16_t index, KernelConfig config)
    : simulation_(simulation),
      name_(std::move(name)),
      index_(index),
      config_(config),
      pool_(name_) {
  device_context_ =
      std::make_unique<Context>(*this, ContextKind::Device, "device", 0, std::function<void()>{});
  device_context_->state = RunState::Running;
  // The idle context runs interrupts and DPCs while no thread holds the CPU.
  idle_ = std::make_unique<Context>(*this, ContextKind::Idle, "idle", 0, [this] { IdleLoop(); });
  idle_thread_.context = idle_.get();
  idle_->thread = &idle_thread_;
  InitializeHeader(idle_thread_.Header, kThreadObject, 0, ~0u);
  idle_->Launch();
  pool_checks_ = MakePoolChecks(*this);
  pool_.SetGuard(pool_checks_.get());
}

Kernel::~Kernel() {
  pool_.SetGuard(nullptr);
  // Slots may free pool memory or look for their machine while they go.
  Context* previous = CurrentContextOrNull();
  SetCurrentContext(device_context_.get());
  {
    ex::ScopedPool scope(pool_);
    slots_.Clear();
  }
  SetCurrentContext(previous);
  while (!objects_.empty()) {
    ObjectHeader* header = objects_.begin()->second;
    objects_.erase(objects_.begin());
    ReleaseObjectMemory(header);
  }
  for (ObjectHeader* header : dead_objects_) ReleaseObjectMemory(header);
}

std::string Kernel::LogText() const {
  std::string text;
  for (const LogLine& line : log_) text += line.context + ": " + line.text + "\n";
  return text;
}

std::uint64_t Kernel::Now() const { return simulation_.Now(); }

TimelineId Kernel::ScheduleAt(std::uint64_t time_ns, std::function<void()> callback,
                              const char* label) {
  TimelineEntry entry;
  entry.machine = this;
  entry.label = label;
  entry.fire = std::move(callback);
  return simulation_.timeline().Add(std::max(time_ns, Now()), std::move(entry));
}

bool Kernel::CancelScheduled(TimelineId id) { return simulation_.timeline().Cancel(id); }

// ---- threads ----

NTSTATUS Kernel::CreateSystemThread(std::string name, PKSTART_ROUTINE routine, PVOID context,
                                    PKTHREAD* thread) {
  return CreateThread(
      ContextKind::System, std::move(name), [routine, context] { routine(context); }, thread);
}

NTSTATUS Kernel::CreateUserThread(std::string name, std::function<void()> body, PKTHREAD* thread) {
  return CreateThread(ContextKind::User, std::move(name), std::move(body), thread);
}

NTSTATUS Kernel::CreateThread(ContextKind kind, std::string name, std::function<void()> body,
                              PKTHREAD* thread) {
  if (shut_down_) Fatal("ke.thread-after-shutdown", "thread '" + name + "' created after shutdown");
  if (faults_.thread_creation.ShouldFail()) {
    if (thread != nullptr) *thread = nullptr;
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  auto* object = static_cast<KTHREAD*>(CreateObject(*this, kThreadObjectType, sizeof(KTHREAD)));
  InitializeHeader(object->Header, kThreadObject, 0, NumberOfObject(object));
  ObReferenceObject(object);  // the thread's own reference, dropped when it ends

  auto context = std::make_unique<Context>(*this, kind, std::move(name), kDefaultThreadPriority,
                                           std::move(body));
  context->thread = object;
  context->owner = context->made_by = CurrentOwner();
  object->context = context.get();
  object->Priority = kDefaultThreadPriority;
  Context& started = *context;
  contexts_.push_back(std::move(context));
  started.Launch();

  Trace(MakePeerTrace(TraceKind::Start, started.label().c_str(), object->Header.Number,
                      started.priority));
  MakeReady(started, false);
  if (thread != nullptr) {
    *thread = object;
  } else {
    ObDereferenceObject(object);
  }
  Context* self = CurrentContextOrNull();
  if (self != nullptr && &self->kernel == this && self->IsThread()) SwitchPoint(*self);
  return STATUS_SUCCESS;
}

void Kernel::Shutdown() {
  std::string alive;
  for (const auto& context : contexts_) {
    if (context->state != RunState::Terminated) {
      alive += "\n  " + context->label() + MadeBy(context->made_by);
    }
  }
  if (!alive.empty()) Fatal("ke.thread-alive-at-shutdown", "threads still alive:" + alive);
  if (!queued_timers_.empty()) {
    Fatal("ke.timer-queued-at-shutdown", std::to_string(queued_timers_.size()) +
                                             " timer(s) still queued, the first #" +
                                             std::to_string(queued_timers_.front()->Header.Number) +
                                             MadeBy(OwnerOf(queued_timers_.front())));
  }
  if (!dpcs_.empty()) {
    Fatal("ke.dpc-queued-at-shutdown", std::to_string(dpcs_.size()) + " DPC(s) still queued");
  }
  for (const auto& check : shutdown_checks_) check();
  shut_down_ = true;
}

void Kernel::NoteOwner(const void* object) {
  std::string owner = CurrentOwner();
  if (owner.empty()) {
    owners_.erase(object);
  } else {
    owners_[object] = std::move(owner);
  }
}

std::string Kernel::OwnerOf(const void* object) const {
  const auto found = owners_.find(object);
  return found == owners_.end() ? std::string() : found->second;
}

void Kernel::AddShutdownCheck(std::function<void()> check) {
  shutdown_checks_.push_back(std::move(check));
}

std::vector<std::string> Kernel::LiveObjects() const {
  std::vector<std::string> lines;
  for (const auto& [number, header] : objects_) {
    lines.push_back("#" + std::to_string(number) + " " + header->type->name + " references " +
                    std::to_string(header->references));
  }
  return lines;
}

// ---- ready queues ----

void Kernel::MakeReady(Context& context, bool front) {
  context.state = RunState::Ready;
  auto& queue = ready_[static_cast<std::size_t>(context.priority)];
  if (front) {
    queue.push_front(&context);
  } else {
    queue.push_back(&context);
  }
  ready_mask_ |= 1u << context.priority;
  if (holder_ == nullptr) simulation_.RequestDispatch(*this);
}

void Kernel::RemoveReady(Context& context) {
  auto& queue = ready_[static_cast<std::size_t>(context.priority)];
  std::erase(queue, &context);
  if (queue.empty()) ready_mask_ &= ~(1u << context.priority);
}

int Kernel::HighestReadyPriority() const {
  return ready_mask_ == 0 ? -1 : 31 - std::countl_zero(ready_mask_);
}

Context* Kernel::PopHighestReady() {
  const int priority = HighestReadyPriority();
  if (priority < 0) return nullptr;
  auto& queue = ready_[static_cast<std::size_t>(priority)];
  Context* next = queue.front();
  queue.pop_front();
  if (queue.empty()) ready_mask_ &= ~(1u << priority);
  return next;
}

// ---- passing the CPU ----

void Kernel::RunNext(Context& next) {
  holder_ = &next;
  next.state = RunState::Running;
  simulation_.NoteRunning(&next);
  next.Give();
}

void Kernel::LeaveCpu(Context& self) {
  if (HasIdleWork() && &self != idle_.get()) {
    Trace(MakePeerTrace(TraceKind::Switch, idle_->label().c_str()));
    RunNext(*idle_);
    return;
  }
  Context* next = PopHighestReady();
  Trace(MakePeerTrace(TraceKind::Switch, next != nullptr ? next->label().c_str() : "nothing"));
  if (next != nullptr) {
    RunNext(*next);
  } else {
    holder_ = nullptr;
    simulation_.GiveTurnToRunner();
  }
}

void Kernel::Dispatch() {
  Context* next = HasIdleWork() ? idle_.get() : PopHighestReady();
  if (next == nullptr) return;
  holder_ = next;
  next->state = RunState::Running;
  simulation_.Resume(*next);
}

void Kernel::IdleLoop() {
  for (;;) {
    // Runs whatever arrived while no thread held the CPU, then hands the
    // CPU to the best ready thread, or back to the run loop.
    while (HasIdleWork()) {
      ServiceInterrupts(*idle_);
      RunDpcs(*idle_);
    }
    LeaveCpu(*idle_);
    idle_->Park();
  }
}

void Kernel::AfterDeviceEvent() {
  if (holder_ == nullptr) {
    if (HasIdleWork()) simulation_.RequestDispatch(*this);
  } else if (holder_->state == RunState::TimeWait && InterruptPendingAbove(holder_->irql)) {
    simulation_.Resume(*holder_);  // a stalling or charging CPU takes the interrupt at once
  }
}

void Kernel::Block(Context& self) {
  self.state = RunState::Waiting;
  self.quantum_used = 0;
  LeaveCpu(self);
  try {
    self.Park();
  } catch (const ThreadUnwind&) {
    UnlinkWait(self);
    throw;
  }
}

void Kernel::Preempt(Context& self, bool front) {
  MakeReady(self, front);
  LeaveCpu(self);
  self.Park();
}

void Kernel::SwitchPoint(Context& self) {
  simulation_.NoteSwitchPoint();
  if (simulation_.tearing_down() || !self.IsThread() || holder_ != &self) return;
  if (simulation_.run_mode()) simulation_.CatchUp(self);
  ServiceInterrupts(self);
  if (self.irql >= DISPATCH_LEVEL) return;  // nothing pre-empts DISPATCH_LEVEL
  RunDpcs(self);
  if (self.kind == ContextKind::Idle) return;
  const int best = HighestReadyPriority();
  if (best < 0) return;
  if (best > self.priority) {
    Preempt(self, true);
  } else if (best == self.priority && self.quantum_used >= config_.quantum_ns) {
    self.quantum_used = 0;
    Preempt(self, false);
  }
}

void Kernel::Charge(Context& self, std::uint64_t ns) {
  Advance(self, ns);
  SwitchPoint(self);
}

void Kernel::Advance(Context& self, std::uint64_t ns) {
  self.quantum_used += ns;
  const std::uint64_t target = Now() + ns;
  // Other machines catch up first: those with threads ready to start, and
  // every entry due by the new time.
  if (simulation_.tearing_down() ||
      (!simulation_.timeline().DueBy(target) && !simulation_.DispatchPending())) {
    simulation_.SetNow(target);
  } else {
    TimeWait(self, target);
  }
}

void Kernel::TimeWait(Context& self, std::uint64_t target) {
  const std::size_t frame = self.frames.size();
  self.frames.push_back({target, false});
  TimelineEntry entry;
  entry.machine = this;
  entry.label = "time advance";
  entry.resume = &self;
  entry.frame = frame;
  simulation_.timeline().Add(target, std::move(entry));
  const RunState before = self.state;
  self.state = RunState::TimeWait;
  while (!self.frames[frame].elapsed) {
    simulation_.GiveTurnToRunner();
    self.Park();
    // Woken early: an interrupt above this CPU's level came due meanwhile.
    if (!self.frames[frame].elapsed) ServiceInterrupts(self);
  }
  self.frames.pop_back();
  self.state = before;
}

void Kernel::SetPriority(Context& target, KPRIORITY priority) {
  if (priority < LOW_PRIORITY || priority > HIGH_PRIORITY) {
    Fatal("ke.bad-priority", "priority " + std::to_string(priority) + " outside 0..31");
  }
  Trace(MakeTrace(TraceKind::Priority, target.thread->Header.Number, priority));
  if (target.state == RunState::Ready) {
    RemoveReady(target);
    target.priority = priority;
    MakeReady(target, false);
  } else {
    target.priority = priority;
  }
  target.thread->Priority = priority;
}

void Kernel::TerminateCurrent(Context& self, NTSTATUS status) {
  self.exit_status = status;
  self.unwinding = true;
  throw ThreadUnwind{};
}

void Kernel::EndContext(Context& self) {
  if (!simulation_.tearing_down()) {
    RequireNoSpinLock(self, "ending a thread");
    if (self.irql != PASSIVE_LEVEL) {
      Fatal("irql.level-changed", self.label() + " ended at IRQL " + std::to_string(self.irql) +
                                      ", not at PASSIVE_LEVEL where it started");
    }
  }
  self.state = RunState::Terminated;
  if (simulation_.tearing_down()) {
    self.finished = true;
    simulation_.GiveTurnToRunner();
    return;
  }
  KTHREAD* thread = self.thread;
  thread->ExitStatus = self.exit_status;
  thread->Priority = self.priority;
  thread->context = nullptr;
  Trace(MakeTrace(TraceKind::Exit, thread->Header.Number, self.exit_status));
  thread->Header.SignalState = 1;
  SatisfyWaiters(thread->Header);
  ObDereferenceObject(thread);
  self.finished = true;
  LeaveCpu(self);
}

void Kernel::AdoptObject(ObjectHeader* header) { objects_.emplace(header->number, header); }

void Kernel::ForgetObject(ObjectHeader* header) {
  objects_.erase(header->number);
  dead_objects_.push_back(header);
}

void Kernel::ReapFinished() {
  std::erase_if(contexts_, [](const std::unique_ptr<Context>& context) {
    if (!context->finished) return false;
    context->Join();
    return true;
  });
}

void Kernel::UnwindAll() {
  for (const auto& context : contexts_) {
    if (context->finished) continue;
    context->unwinding = true;
    simulation_.Resume(*context);
  }
  idle_->unwinding = true;
  simulation_.Resume(*idle_);
  for (const auto& context : contexts_) context->Join();
  idle_->Join();
  contexts_.clear();
  holder_ = nullptr;
}

// ---- context checks and diagnostics ----

Context& Kernel::RequireThread(const char* service) {
  Context* self = CurrentContextOrNull();
  if (self == nullptr || !self->IsThread()) {
    if (self != nullptr) {
      self->kernel.Fatal("ke.no-context", std::string(service) +
                                              " called from a device callback, not from a thread");
    }
    diag::Fatal("ke.no-context",
                std::string(service) + " called from a host thread that is no kernel context");
  }
  if (self->unwinding && std::uncaught_exceptions() == 0 && !simulation_.tearing_down()) {
    Fatal("ke.unwind-swallowed", std::string(service) +
                                     " called after the thread's termination began: driver code "
                                     "caught the unwinding");
  }
  return *self;
}

void Kernel::Trace(TraceRecord record) {
  record.time = Now();
  record.machine = index_;
  if (*record.context == '\0') {
    const Context* self = CurrentContextOrNull();
    record.context = self != nullptr ? self->label().c_str() : "host";
  }
  simulation_.AddTrace(std::move(record));
}

void Kernel::AddLog(std::string text) {
  const Context* self = CurrentContextOrNull();
  const std::string who = self != nullptr ? self->label() : "host";
  Trace(MakeTextTrace(TraceKind::Print, text));
  log_.push_back({Now(), who, std::move(text)});
}

std::string Kernel::DescribeWait(const Context& context) const {
  std::string text = std::string(StateName(context.state));
  if (context.state == RunState::Waiting) {
    if (context.wait.external) {
      text += " in an external call";
    } else if (context.wait.delay) {
      text += " in a sleep";
    } else {
      text += context.wait.type == WaitAll ? " for all of [" : " for any of [";
      for (ULONG i = 0; i < context.wait.count; ++i) {
        const auto* header = static_cast<const DISPATCHER_HEADER*>(context.wait.blocks[i].Object);
        text += (i ? " #" : "#") + std::to_string(header->Number);
      }
      text += "]";
    }
    text += context.wait.timeout ? " until " + std::to_string(context.wait.due) + " ns"
                                 : " without time-out";
  }
  if (context.last_call.line() != 0) {
    std::string_view file = context.last_call.file_name();
    if (const auto slash = file.rfind('/'); slash != std::string_view::npos)
      file.remove_prefix(slash + 1);
    text += " (last kernel call at " + std::string(file) + ":" +
            std::to_string(context.last_call.line()) + ")";
  }
  return text;
}

std::string Kernel::Report() const {
  std::string text = "machine " + name_ + ":";
  if (contexts_.empty()) text += " no threads";
  for (const auto& context : contexts_) {
    text += "\n    " + context->label() + " priority " + std::to_string(context->priority) + ": " +
            DescribeWait(*context);
  }
  return text;
}

void Kernel::Fatal(std::string_view rule, std::string_view detail) {
  const Context* self = CurrentContextOrNull();
  std::string text(detail);
  text += "\n  machine " + name_ + ", context " + (self != nullptr ? self->label() : "host") +
          ", virtual time " + std::to_string(Now()) + " ns\n  " + simulation_.DescribeAll();
  text += "\n  trace tail:";
  for (const std::string& line : simulation_.TraceTail()) text += "\n    " + line;
  diag::Fatal(rule, text);
}

Kernel& CurrentKernel() {
  Context* self = CurrentContextOrNull();
  if (self == nullptr) {
    diag::Fatal("ke.no-context",
                "CurrentKernel() called from a host thread that is no kernel context");
  }
  return self->kernel;
}

}  // namespace plat::ke
