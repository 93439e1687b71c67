// DPCs and timers: the machine's DPC queue, where DPCs run, and timers on
// the timeline.
#include "platform/ke/dpc.h"

#include <algorithm>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"

namespace plat::ke {
namespace {

constexpr ULONG kDpcSignature = 0x4B447063;

bool IsTimer(const DISPATCHER_HEADER& header) {
  return header.Type == kNotificationTimerObject || header.Type == kSynchronizationTimerObject;
}

}  // namespace

bool Kernel::InsertDpc(KDPC* dpc, PVOID argument1, PVOID argument2) {
  if (dpc->Signature != kDpcSignature) {
    Fatal("ke.uninitialised-dpc", "KeInsertQueueDpc of a DPC that was never initialised");
  }
  if (dpc->Inserted) return false;
  dpc->Inserted = 1;
  dpc->SystemArgument1 = argument1;
  dpc->SystemArgument2 = argument2;
  dpc->RunnableAt = Now() + faults_.dpc_latency_ns;
  dpcs_.push_back({dpc, nullptr, dpc->RunnableAt});
  if (faults_.dpc_latency_ns != 0) {
    ScheduleAt(
        dpc->RunnableAt, [] {}, "DPC runnable");  // the idle CPU looks again then
  }
  return true;
}

bool Kernel::RemoveDpc(KDPC* dpc) {
  if (!dpc->Inserted) return false;
  std::erase_if(dpcs_, [dpc](const QueuedDpc& queued) { return queued.dpc == dpc; });
  dpc->Inserted = 0;
  return true;
}

void Kernel::QueueInjected(std::function<void()> work) {
  dpcs_.push_back({nullptr, std::move(work), Now()});
  if (holder_ == nullptr) simulation_.RequestDispatch(*this);
}

bool Kernel::HasIdleWork() const {
  if (InterruptPendingAbove(PASSIVE_LEVEL)) return true;
  return !dpcs_.empty() && dpcs_.front().runnable_at <= Now();
}

void Kernel::RunDpcs(Context& self) {
  while (!dpcs_.empty() && dpcs_.front().runnable_at <= Now() && self.irql < DISPATCH_LEVEL) {
    QueuedDpc queued = std::move(dpcs_.front());
    dpcs_.pop_front();
    const KIRQL before = self.irql;
    const int locks = self.spin_locks_held;
    self.irql = DISPATCH_LEVEL;
    ++self.deferred_depth;
    if (queued.dpc != nullptr) {
      KDPC* dpc = queued.dpc;
      dpc->Inserted = 0;
      Trace(MakeMarkTrace("DPC"));
      const OwnerScope owner(OwnerOf(dpc));
      dpc->DeferredRoutine(dpc, dpc->DeferredContext, dpc->SystemArgument1, dpc->SystemArgument2);
    } else {
      Trace(MakeMarkTrace("injected work"));
      queued.injected();
    }
    --self.deferred_depth;
    if (self.spin_locks_held != locks) RequireNoSpinLock(self, "returning from a DPC");
    if (self.irql != DISPATCH_LEVEL) {
      Fatal("irql.level-changed", "a DPC returned at IRQL " + std::to_string(self.irql) +
                                      ", not DISPATCH_LEVEL where it ran");
    }
    self.irql = before;
    ServiceInterrupts(self);
  }
}

// ---- timers ----

std::uint64_t Kernel::LatenessOf(const KTIMER* timer, std::uint64_t expiry) const {
  std::uint64_t late = faults_.timer_lateness_ns;
  for (const auto& entry : faults_.late_expiries) {
    if (entry.timer == timer && entry.expiry == expiry) late += entry.delay_ns;
  }
  return late;
}

void Kernel::ScheduleExpiry(KTIMER* timer) {
  const std::uint64_t k = timer->Expiries + 1;
  const std::uint64_t nominal =
      timer->FirstDue + (k - 1) * static_cast<std::uint64_t>(timer->Period) * 1'000'000;
  timer->DueTime = nominal + LatenessOf(timer, k);
  const TimelineId id = ScheduleAt(
      timer->DueTime, [this, timer] { ExpireTimer(timer); }, "timer expiry");
  timer->EntryTime = id.time;
  timer->EntrySequence = id.sequence;
}

BOOLEAN Kernel::SetTimer(KTIMER* timer, LONGLONG due, LONG period, KDPC* dpc) {
  DISPATCHER_HEADER& header = CheckedHeader(timer, "KeSetTimerEx");
  if (!IsTimer(header)) Fatal("ke.bad-object", "KeSetTimerEx of an object that is no timer");
  if (period < 0) Fatal("ke.bad-argument", "KeSetTimerEx with a negative period");
  const BOOLEAN was_queued = CancelTimer(timer);
  header.SignalState = 0;
  header.Absolute = due > 0 ? 1 : 0;
  timer->FirstDue = std::max(due == 0 ? Now() : DueTime(due), Now());
  timer->Expiries = 0;
  timer->Period = period;
  timer->Dpc = dpc;
  header.Inserted = 1;
  queued_timers_.push_back(timer);
  NoteOwner(timer);
  ScheduleExpiry(timer);
  return was_queued;
}

BOOLEAN Kernel::CancelTimer(KTIMER* timer) {
  DISPATCHER_HEADER& header = CheckedHeader(timer, "KeCancelTimer");
  if (!header.Inserted) return FALSE;
  simulation_.timeline().Cancel({timer->EntryTime, timer->EntrySequence});
  std::erase(queued_timers_, timer);
  header.Inserted = 0;
  return TRUE;
}

void Kernel::ExpireTimer(KTIMER* timer) {
  DISPATCHER_HEADER& header = timer->Header;
  ++timer->Expiries;
  Trace(MakeTrace(TraceKind::Set, header.Number, header.SignalState));
  header.SignalState = 1;
  SatisfyWaiters(header);
  if (timer->Dpc != nullptr) {
    LARGE_INTEGER system_time;
    system_time.QuadPart = config_.epoch + static_cast<LONGLONG>(Now() / 100);
    InsertDpc(timer->Dpc, reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(system_time.u.LowPart)),
              reinterpret_cast<PVOID>(static_cast<LONG_PTR>(system_time.u.HighPart)));
  }
  if (timer->Period == 0) {
    std::erase(queued_timers_, timer);
    header.Inserted = 0;
    return;
  }
  // Expiries that a late one overtook are dropped; the next falls on the grid.
  const std::uint64_t period_ns = static_cast<std::uint64_t>(timer->Period) * 1'000'000;
  while (timer->FirstDue + timer->Expiries * period_ns + faults_.timer_lateness_ns <= Now()) {
    ++timer->Expiries;
  }
  ScheduleExpiry(timer);
}

}  // namespace plat::ke

using plat::ke::CurrentKernel;
using plat::ke::Kernel;

void KeInitializeDpc(PKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext) {
  *Dpc = KDPC{};
  Dpc->Signature = plat::ke::kDpcSignature;
  Dpc->DeferredRoutine = DeferredRoutine;
  Dpc->DeferredContext = DeferredContext;
  if (plat::ke::Context* self = plat::ke::CurrentContextOrNull()) self->kernel.NoteOwner(Dpc);
}

BOOLEAN KeInsertQueueDpc(PKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2) {
  Kernel& kernel = CurrentKernel();
  const bool inserted = kernel.InsertDpc(Dpc, SystemArgument1, SystemArgument2);
  plat::ke::Context* self = plat::ke::CurrentContextOrNull();
  if (inserted && self->IsThread()) kernel.SwitchPoint(*self);  // below DISPATCH it runs now
  return inserted ? TRUE : FALSE;
}

BOOLEAN KeRemoveQueueDpc(PKDPC Dpc) { return CurrentKernel().RemoveDpc(Dpc) ? TRUE : FALSE; }

void KeInitializeTimer(PKTIMER Timer) { KeInitializeTimerEx(Timer, NotificationTimer); }

void KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type) {
  Kernel& kernel = CurrentKernel();
  *Timer = KTIMER{};
  kernel.InitializeHeader(Timer->Header,
                          Type == SynchronizationTimer ? plat::ke::kSynchronizationTimerObject
                                                       : plat::ke::kNotificationTimerObject,
                          0);
}

BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc) {
  return KeSetTimerEx(Timer, DueTime, 0, Dpc);
}

BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc) {
  return CurrentKernel().SetTimer(Timer, DueTime.QuadPart, Period, Dpc);
}

BOOLEAN KeCancelTimer(PKTIMER Timer) { return CurrentKernel().CancelTimer(Timer); }

BOOLEAN KeReadStateTimer(PKTIMER Timer) {
  return CurrentKernel().CheckedHeader(Timer, "KeReadStateTimer").SignalState > 0 ? TRUE : FALSE;
}
