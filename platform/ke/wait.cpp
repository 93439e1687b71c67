// Dispatcher objects and waits: events, the wait lists in each object's
// header, single and multiple waits with time-outs, and sleeps.
#include <algorithm>
#include <limits>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"

namespace plat::ke {
namespace {

constexpr ULONG kHeaderSignature = 0x4B654F62;

void InitializeList(LIST_ENTRY& head) { head.Flink = head.Blink = &head; }

void InsertTail(LIST_ENTRY& head, LIST_ENTRY& entry) {
  entry.Flink = &head;
  entry.Blink = head.Blink;
  head.Blink->Flink = &entry;
  head.Blink = &entry;
}

void RemoveEntry(LIST_ENTRY& entry) {
  entry.Blink->Flink = entry.Flink;
  entry.Flink->Blink = entry.Blink;
  entry.Flink = entry.Blink = &entry;
}

KWAIT_BLOCK& BlockOf(LIST_ENTRY* entry) {
  return *reinterpret_cast<KWAIT_BLOCK*>(reinterpret_cast<std::byte*>(entry) -
                                         offsetof(KWAIT_BLOCK, WaitListEntry));
}

DISPATCHER_HEADER& HeaderOf(PVOID object) { return *static_cast<DISPATCHER_HEADER*>(object); }

bool IsSynchronization(const DISPATCHER_HEADER& header) {
  return header.Type == kSynchronizationEventObject || header.Type == kSynchronizationTimerObject;
}

// A satisfied wait resets what auto-resets.
void Consume(DISPATCHER_HEADER& header) {
  if (IsSynchronization(header)) header.SignalState = 0;
}

constexpr NTSTATUS kNotSatisfied = -1;

NTSTATUS TrySatisfy(ULONG count, PVOID objects[], WAIT_TYPE type) {
  if (type == WaitAny) {
    for (ULONG i = 0; i < count; ++i) {
      DISPATCHER_HEADER& header = HeaderOf(objects[i]);
      if (header.SignalState > 0) {
        Consume(header);
        return STATUS_WAIT_0 + static_cast<NTSTATUS>(i);
      }
    }
    return kNotSatisfied;
  }
  for (ULONG i = 0; i < count; ++i) {
    if (HeaderOf(objects[i]).SignalState <= 0) return kNotSatisfied;
  }
  for (ULONG i = 0; i < count; ++i) Consume(HeaderOf(objects[i]));
  return STATUS_WAIT_0;
}

TraceRecord WaitRecord(TraceKind kind, ULONG count, PVOID objects[], WAIT_TYPE type) {
  TraceRecord record = MakeTrace(kind);
  record.label = type == WaitAll ? "all" : "any";
  record.count = static_cast<std::uint8_t>(std::min<ULONG>(count, 255));
  for (ULONG i = 0; i < count && i < record.objects.size(); ++i) {
    record.objects[i] = HeaderOf(objects[i]).Number;
  }
  return record;
}

}  // namespace

void Kernel::InitializeHeader(DISPATCHER_HEADER& header, DispatcherType type, LONG state,
                              ULONG number) {
  header.Type = type;
  header.Absolute = 0;
  header.Size = 0;
  header.Inserted = 0;
  header.SignalState = state;
  InitializeList(header.WaitListHead);
  header.Signature = kHeaderSignature;
  header.Number = number != 0 ? number : NextObjectNumber();
}

DISPATCHER_HEADER& Kernel::CheckedHeader(PVOID object, const char* service) {
  if (object == nullptr) Fatal("ke.bad-object", std::string(service) + " of a null object");
  DISPATCHER_HEADER& header = HeaderOf(object);
  if (header.Signature != kHeaderSignature || header.Type < kNotificationEventObject ||
      header.Type > kSynchronizationTimerObject) {
    Fatal("ke.uninitialised-object",
          std::string(service) + " of a dispatcher object that was never initialised");
  }
  return header;
}

std::uint64_t Kernel::DueTime(LONGLONG timeout) const {
  const std::uint64_t now = Now();
  if (timeout < 0) {
    const std::uint64_t ticks = timeout == std::numeric_limits<LONGLONG>::min()
                                    ? std::numeric_limits<std::uint64_t>::max() / 100
                                    : static_cast<std::uint64_t>(-timeout);
    const std::uint64_t span = std::min(ticks, (kForever - now) / 100) * 100;
    return now + span;
  }
  if (timeout <= config_.epoch) return 0;  // before the machine's clock began
  return static_cast<std::uint64_t>(timeout - config_.epoch) * 100;
}

bool Kernel::CanSatisfy(const Context& waiter) const {
  for (ULONG i = 0; i < waiter.wait.count; ++i) {
    if (HeaderOf(waiter.wait.blocks[i].Object).SignalState <= 0) return false;
  }
  return true;
}

void Kernel::SatisfyWaiters(DISPATCHER_HEADER& header) {
  if (simulation_.tearing_down()) return;
  bool again = true;
  while (again && header.SignalState > 0) {
    again = false;
    for (LIST_ENTRY* entry = header.WaitListHead.Flink; entry != &header.WaitListHead;
         entry = entry->Flink) {
      KWAIT_BLOCK& block = BlockOf(entry);
      Context& waiter = *block.Thread->context;
      if (block.WaitType == WaitAny) {
        Consume(header);
        CompleteWait(waiter, STATUS_WAIT_0 + block.WaitKey);
      } else if (CanSatisfy(waiter)) {
        for (ULONG i = 0; i < waiter.wait.count; ++i)
          Consume(HeaderOf(waiter.wait.blocks[i].Object));
        CompleteWait(waiter, STATUS_WAIT_0);
      } else {
        continue;
      }
      again = true;  // the list changed: start over
      break;
    }
  }
}

void Kernel::UnlinkWait(Context& waiter) {
  for (ULONG i = 0; i < waiter.wait.count; ++i) RemoveEntry(waiter.wait.blocks[i].WaitListEntry);
  waiter.wait.count = 0;
}

void Kernel::CompleteWait(Context& waiter, NTSTATUS status) {
  UnlinkWait(waiter);
  if (waiter.wait.timeout && status != STATUS_TIMEOUT)
    simulation_.timeline().Cancel(waiter.wait.timeout);
  waiter.wait.timeout = {};
  waiter.wait.status = status;
  TraceRecord record = MakeTrace(TraceKind::Wake, 0, status);
  record.context = waiter.label().c_str();
  Trace(std::move(record));
  MakeReady(waiter, false);
}

NTSTATUS Kernel::Wait(Context& self, ULONG count, PVOID objects[], WAIT_TYPE type,
                      KWAIT_BLOCK* blocks, const LARGE_INTEGER* timeout,
                      std::source_location where) {
  self.last_call = where;
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
    Fatal("ke.too-many-objects",
          "a wait on " + std::to_string(count) + " objects (1 to 64 are allowed)");
  }
  if (count > THREAD_WAIT_OBJECTS && blocks == nullptr) {
    Fatal("ke.wait-blocks-missing",
          "a wait on " + std::to_string(count) + " objects without a wait-block array");
  }
  if (type != WaitAny && type != WaitAll)
    Fatal("ke.bad-wait-type", "wait type neither any nor all");
  for (ULONG i = 0; i < count; ++i) {
    CheckedHeader(objects[i], "KeWaitForMultipleObjects");
    if (type != WaitAll) continue;
    for (ULONG j = 0; j < i; ++j) {
      if (objects[j] == objects[i]) {
        Fatal("ke.duplicate-wait-object", "object #" + std::to_string(HeaderOf(objects[i]).Number) +
                                              " stands twice (" + std::to_string(j) + " and " +
                                              std::to_string(i) + ") in a WaitAll");
      }
    }
  }
  if (blocks == nullptr) blocks = self.thread->WaitBlock;
  const bool polls = timeout != nullptr && timeout->QuadPart == 0;
  if (!polls) RequireBelowDispatch(self, "a wait with a time-out other than zero");

  NTSTATUS status = TrySatisfy(count, objects, type);
  if (status == kNotSatisfied) {
    const std::uint64_t due = timeout != nullptr ? DueTime(timeout->QuadPart) : kForever;
    if (polls || due <= Now() || simulation_.tearing_down()) status = STATUS_TIMEOUT;
  }
  if (status != kNotSatisfied) {
    TraceRecord record = WaitRecord(TraceKind::Satisfied, count, objects, type);
    record.value = status;
    Trace(std::move(record));
    SwitchPoint(self);
    return status;
  }

  for (ULONG i = 0; i < count; ++i) {
    KWAIT_BLOCK& block = blocks[i];
    block.Thread = self.thread;
    block.Object = objects[i];
    block.WaitKey = static_cast<USHORT>(i);
    block.WaitType = static_cast<USHORT>(type);
    InsertTail(HeaderOf(objects[i]).WaitListHead, block.WaitListEntry);
  }
  self.wait = WaitState{};
  self.wait.blocks = blocks;
  self.wait.count = count;
  self.wait.type = type;
  TraceRecord record = WaitRecord(TraceKind::Wait, count, objects, type);
  record.value = -1;
  if (timeout != nullptr) {
    self.wait.due = DueTime(timeout->QuadPart);
    record.value = static_cast<std::int64_t>(self.wait.due);
    self.wait.timeout = ScheduleAt(
        self.wait.due, [this, &self] { CompleteWait(self, STATUS_TIMEOUT); }, "wait time-out");
  }
  Trace(std::move(record));
  Block(self);
  return simulation_.tearing_down() && self.wait.count != 0 ? STATUS_TIMEOUT : self.wait.status;
}

NTSTATUS Kernel::Delay(Context& self, const LARGE_INTEGER* interval, std::source_location where) {
  self.last_call = where;
  if (interval == nullptr) Fatal("ke.bad-argument", "KeDelayExecutionThread without an interval");
  RequireBelowDispatch(self, "a sleep");
  const std::uint64_t due = interval->QuadPart == 0 ? 0 : DueTime(interval->QuadPart);
  if (due <= Now() || simulation_.tearing_down()) {
    // A sleep of nothing yields to ready threads of the caller's priority.
    if (!simulation_.tearing_down() && HighestReadyPriority() >= self.priority) {
      self.quantum_used = 0;
      Preempt(self, false);
    }
    SwitchPoint(self);
    return STATUS_SUCCESS;
  }
  self.wait = WaitState{};
  self.wait.delay = true;
  self.wait.due = due;
  self.wait.timeout = ScheduleAt(
      due, [this, &self] { CompleteWait(self, STATUS_SUCCESS); }, "sleep end");
  Trace(MakeTrace(TraceKind::Wait, 0, static_cast<std::int64_t>(due)));
  Block(self);
  return STATUS_SUCCESS;
}

}  // namespace plat::ke

using plat::ke::CurrentKernel;
using plat::ke::Kernel;

void KeInitializeEvent(PKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
  Kernel& kernel = CurrentKernel();
  if (Type != NotificationEvent && Type != SynchronizationEvent) {
    kernel.Fatal("ke.bad-argument", "KeInitializeEvent with an unknown event type");
  }
  kernel.InitializeHeader(Event->Header,
                          Type == NotificationEvent ? plat::ke::kNotificationEventObject
                                                    : plat::ke::kSynchronizationEventObject,
                          State ? 1 : 0);
}

LONG KeSetEvent(PKEVENT Event, KPRIORITY Increment, BOOLEAN Wait, std::source_location where) {
  (void)Increment;  // priority boosts are not modelled
  Kernel& kernel = CurrentKernel();
  DISPATCHER_HEADER& header = kernel.CheckedHeader(Event, "KeSetEvent");
  if (Wait) {
    kernel.Fatal("ke.set-event-wait",
                 "KeSetEvent with Wait TRUE (a set paired with a wait is not supported)");
  }
  const LONG previous = header.SignalState;
  header.SignalState = 1;
  kernel.Trace(plat::ke::MakeTrace(plat::ke::TraceKind::Set, header.Number, previous));
  kernel.SatisfyWaiters(header);
  plat::ke::Context* self = plat::ke::CurrentContextOrNull();
  if (self->IsThread()) {
    self->last_call = where;
    kernel.SwitchPoint(*self);
  }
  return previous;
}

LONG KeResetEvent(PKEVENT Event) {
  DISPATCHER_HEADER& header = CurrentKernel().CheckedHeader(Event, "KeResetEvent");
  const LONG previous = header.SignalState;
  header.SignalState = 0;
  return previous;
}

void KeClearEvent(PKEVENT Event) {
  CurrentKernel().CheckedHeader(Event, "KeClearEvent").SignalState = 0;
}

LONG KeReadStateEvent(PKEVENT Event) {
  return CurrentKernel().CheckedHeader(Event, "KeReadStateEvent").SignalState;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                               std::source_location where) {
  (void)WaitReason, (void)WaitMode, (void)Alertable;
  Kernel& kernel = CurrentKernel();
  plat::ke::Context& self = kernel.RequireThread("KeWaitForSingleObject");
  PVOID objects[1] = {Object};
  return kernel.Wait(self, 1, objects, WaitAny, nullptr, Timeout, where);
}

NTSTATUS KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType,
                                  KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                  BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                                  PKWAIT_BLOCK WaitBlockArray, std::source_location where) {
  (void)WaitReason, (void)WaitMode, (void)Alertable;
  Kernel& kernel = CurrentKernel();
  plat::ke::Context& self = kernel.RequireThread("KeWaitForMultipleObjects");
  return kernel.Wait(self, Count, Object, WaitType, WaitBlockArray, Timeout, where);
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval, std::source_location where) {
  (void)WaitMode, (void)Alertable;
  Kernel& kernel = CurrentKernel();
  return kernel.Delay(kernel.RequireThread("KeDelayExecutionThread"), Interval, where);
}
