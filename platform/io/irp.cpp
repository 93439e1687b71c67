// Requests: allocation, IoCallDriver, IoCompleteRequest with the completion
// routines, pending marks, cancel routines, and the verifier's checks of the
// rules a dispatch routine keeps.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/ex/expool.h"
#include "platform/io/io_manager.h"

namespace plat::io {
namespace {

constexpr ULONG kRequestSignature = 0x21707249;  // "Irp!"
constexpr CSHORT kIoTypeIrp = 6;

// Precedes every request in its pool block.
struct alignas(16) RequestHeader {
  ULONG signature;
  ULONG number;
};

RequestHeader& HeaderOf(PIRP irp) { return *(reinterpret_cast<RequestHeader*>(irp) - 1); }

std::string Hex(ULONG value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string RequestText(PIRP irp) { return "request " + std::to_string(RequestNumber(irp)); }

// Completion went past `location`, whose pending mark is now final: every
// dispatch routine that ran there must have returned STATUS_PENDING exactly
// when the location was marked.
void CheckPendingRule(IoManager& io, PIRP irp, ULONG device, NTSTATUS status, bool marked) {
  if (status == STATUS_PENDING && !marked) {
    io.Fatal("io.pending-not-marked", RequestText(irp) + ": the dispatch routine of " +
                                          DeviceText(io, device) +
                                          " returned STATUS_PENDING without IoMarkIrpPending");
  }
  if (status != STATUS_PENDING && marked) {
    io.Fatal("io.marked-not-pending",
             RequestText(irp) + ": the dispatch routine of " + DeviceText(io, device) +
                 " marked the request pending and returned " + Hex(static_cast<ULONG>(status)));
  }
}

void PassLocation(IoManager& io, IrpRecord& record, int location, bool marked) {
  for (DispatchFrame* frame : record.frames) {
    if (frame->location == location && !frame->passed) {
      frame->passed = true;
      frame->marked = marked;
    }
  }
  std::erase_if(record.returned, [&](const IrpRecord::Returned& returned) {
    if (returned.location != location) return false;
    CheckPendingRule(io, record.irp, returned.device, returned.status, marked);
    return true;
  });
}

void CheckInformation(IoManager& io, PIRP irp) {
  if (irp->CurrentLocation > irp->StackCount || NT_ERROR(irp->IoStatus.Status)) return;
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG_PTR information = irp->IoStatus.Information;
  ULONG limit = 0;
  const char* what = nullptr;
  if (stack->MajorFunction == IRP_MJ_READ) {
    limit = stack->Parameters.Read.Length;
    what = "the length of the read";
  } else if ((stack->MajorFunction == IRP_MJ_DEVICE_CONTROL ||
              stack->MajorFunction == IRP_MJ_INTERNAL_DEVICE_CONTROL) &&
             METHOD_FROM_CTL_CODE(stack->Parameters.DeviceIoControl.IoControlCode) ==
                 METHOD_BUFFERED) {
    limit = stack->Parameters.DeviceIoControl.OutputBufferLength;
    what = "the output length of the device control";
  }
  if (what != nullptr && information > limit) {
    io.Fatal("io.information-too-large",
             RequestText(irp) + " completed by " + DeviceText(stack->DeviceObject) +
                 " with Information " + std::to_string(information) + ", above " + what + " (" +
                 std::to_string(limit) + ")");
  }
}

// The I/O manager's part once every stack location has completed.
void FinishAtTop(IoManager& io, IrpRecord& record) {
  PIRP irp = record.irp;
  switch (record.origin) {
    case Origin::Allocated:
      record.completing = false;
      record.completed = true;
      return;
    case Origin::Built: {
      if (record.output != nullptr && irp->AssociatedIrp.SystemBuffer != nullptr &&
          !NT_ERROR(irp->IoStatus.Status)) {
        std::memcpy(record.output, irp->AssociatedIrp.SystemBuffer,
                    std::min<ULONG_PTR>(irp->IoStatus.Information, record.output_length));
      }
      if (irp->UserIosb != nullptr) *irp->UserIosb = irp->IoStatus;
      PKEVENT event = irp->UserEvent;
      ReleaseRequest(io, irp);
      if (event != nullptr) KeSetEvent(event, IO_NO_INCREMENT, FALSE);
      return;
    }
    case Origin::File:
      record.completing = false;
      record.completed = true;
      record.result = irp->IoStatus;
      KeSetEvent(record.done, IO_NO_INCREMENT, FALSE);
      return;
  }
}

}  // namespace

NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

PIRP AllocateRequest(IoManager& io, CCHAR stack, Origin origin) {
  if (stack < 1) io.Fatal("io.bad-stack-size", "a request needs at least one stack location");
  const std::size_t bytes = sizeof(RequestHeader) + sizeof(IRP) +
                            static_cast<std::size_t>(stack) * sizeof(IO_STACK_LOCATION);
  void* block = ExAllocatePoolWithTag(NonPagedPool, bytes, kRequestTag);
  if (block == nullptr) return nullptr;
  std::memset(block, 0, bytes);
  auto* header = static_cast<RequestHeader*>(block);
  header->signature = kRequestSignature;
  header->number = io.NextRequest();
  auto* irp = reinterpret_cast<PIRP>(header + 1);
  irp->Type = kIoTypeIrp;
  irp->Size = static_cast<USHORT>(bytes - sizeof(RequestHeader));
  irp->StackCount = stack;
  irp->CurrentLocation = static_cast<CHAR>(stack + 1);
  irp->RequestorMode = KernelMode;
  irp->Tail.Overlay.CurrentStackLocation = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stack;
  io.AddRecord(irp, header->number, origin);
  return irp;
}

IrpRecord& RecordOf(IoManager& io, PIRP irp, const char* rule, const char* service) {
  if (irp == nullptr) io.Fatal("io.bad-request", std::string(service) + " of a null request");
  const RequestHeader& header = HeaderOf(irp);
  IrpRecord* record =
      header.signature == kRequestSignature ? io.FindRecord(header.number) : nullptr;
  if (record == nullptr || record->irp != irp) {
    io.Fatal(rule, std::string(service) +
                       " of a request that is no longer alive (completed and freed) or was never "
                       "allocated");
  }
  return *record;
}

ULONG RequestNumber(PIRP irp) { return HeaderOf(irp).number; }

PIO_STACK_LOCATION StackLocation(PIRP irp, int location) {
  return reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + (location - 1);
}

bool AttachSystemBuffer(PIRP irp, ULONG bytes) {
  if (bytes == 0) return true;
  irp->AssociatedIrp.SystemBuffer = ExAllocatePoolWithTag(NonPagedPool, bytes, kSystemBufferTag);
  return irp->AssociatedIrp.SystemBuffer != nullptr;
}

void RequireAtMost(IoManager& io, KIRQL level, const char* service) {
  const KIRQL current = io.kernel().LevelOf(plat::ke::CurrentContextOrNull());
  if (current > level) {
    io.Fatal("io.level-too-high", std::string(service) + " called at IRQL " +
                                      std::to_string(current) + ", above " +
                                      (level == DISPATCH_LEVEL ? "DISPATCH_LEVEL" : "its level"));
  }
}

void RequireBufferedControl(IoManager& io, ULONG code, const char* service) {
  if (METHOD_FROM_CTL_CODE(code) != METHOD_BUFFERED) {
    io.Fatal("io.unsupported-transfer", std::string(service) + " with control code " + Hex(code) +
                                            ": only buffered transfers are supported");
  }
}

void ReleaseRequest(IoManager& io, PIRP irp) {
  IrpRecord& record = RecordOf(io, irp, "io.bad-request", "releasing");
  if (record.origin != Origin::Allocated && irp->AssociatedIrp.SystemBuffer != nullptr) {
    ExFreePool(irp->AssociatedIrp.SystemBuffer);
  }
  RequestHeader& header = HeaderOf(irp);
  io.RemoveRecord(header.number);
  header.signature = 0;
  ExFreePool(&header);
}

}  // namespace plat::io

using namespace plat::io;

PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN /*ChargeQuota*/) {
  IoManager& io = CurrentManager();
  RequireAtMost(io, DISPATCH_LEVEL, "IoAllocateIrp");
  if (io.faults().allocate_irp.ShouldFail()) return nullptr;
  return AllocateRequest(io, StackSize, Origin::Allocated);
}

void IoFreeIrp(PIRP Irp) {
  IoManager& io = CurrentManager();
  IrpRecord& record = RecordOf(io, Irp, "io.bad-request", "IoFreeIrp");
  if (Irp->CurrentLocation <= Irp->StackCount) {
    io.Fatal("io.free-not-completed",
             "IoFreeIrp of " + RequestText(Irp) + ", which " +
                 DeviceText(IoGetCurrentIrpStackLocation(Irp)->DeviceObject) +
                 " still holds (not completed)");
  }
  if (record.origin == Origin::File) {
    io.Fatal("io.free-not-owned", "IoFreeIrp of " + RequestText(Irp) +
                                      ", a request of a file that the I/O manager finishes");
  }
  ReleaseRequest(io, Irp);
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  IoManager& io = CurrentManager();
  RequireAtMost(io, DISPATCH_LEVEL, "IoCallDriver");
  IrpRecord* record = &RecordOf(io, Irp, "io.bad-request", "IoCallDriver");
  if (record->completed) {
    io.Fatal("io.request-reused", "IoCallDriver of " + RequestText(Irp) + ", already completed");
  }
  if (DeviceObject == nullptr) io.Fatal("io.bad-device", "IoCallDriver to a null device");
  record->completing = false;  // a completion routine may send its request again
  if (Irp->CurrentLocation <= 1) {
    io.Fatal("io.no-stack-location",
             "IoCallDriver of " + RequestText(Irp) + " to " + DeviceText(DeviceObject) +
                 ": no stack location left (stack count " + std::to_string(Irp->StackCount) + ")");
  }
  --Irp->CurrentLocation;
  --Irp->Tail.Overlay.CurrentStackLocation;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  stack->DeviceObject = DeviceObject;
  const UCHAR major = stack->MajorFunction;
  std::string text = RequestText(Irp) + " -> " + DeviceText(DeviceObject) + " " + MajorText(major);
  if (major == IRP_MJ_DEVICE_CONTROL || major == IRP_MJ_INTERNAL_DEVICE_CONTROL) {
    text += " " + Hex(stack->Parameters.DeviceIoControl.IoControlCode);
  }
  io.Trace(std::move(text));

  PDRIVER_DISPATCH dispatch =
      major <= IRP_MJ_MAXIMUM_FUNCTION ? DeviceObject->DriverObject->MajorFunction[major] : nullptr;
  if (dispatch == nullptr) dispatch = InvalidDeviceRequest;

  const ULONG number = record->number;
  const Origin origin = record->origin;
  const bool issued_here = Irp->CurrentLocation == Irp->StackCount;
  plat::ke::Context* self = plat::ke::CurrentContextOrNull();
  const KIRQL level = io.kernel().LevelOf(self);
  const int locks = self != nullptr ? self->spin_locks_held : 0;
  DispatchFrame frame{Irp->CurrentLocation, DeviceObject, self};
  record->frames.push_back(&frame);
  NTSTATUS status;
  {
    const plat::ke::OwnerScope owner(DriverText(DeviceObject->DriverObject));
    status = dispatch(DeviceObject, Irp);
  }
  if (io.kernel().LevelOf(self) != level) {
    io.Fatal("io.dispatch-changed-level",
             "the dispatch routine of " + DeviceText(DeviceObject) + " for " + MajorText(major) +
                 " returned at IRQL " + std::to_string(io.kernel().LevelOf(self)) +
                 ", not at IRQL " + std::to_string(level) + " where it was called");
  }
  if (self != nullptr && self->spin_locks_held != locks) {
    io.Fatal("io.dispatch-holds-spin-lock", "the dispatch routine of " + DeviceText(DeviceObject) +
                                                " for " + MajorText(major) +
                                                " returned holding a spin lock");
  }
  record = io.FindRecord(number);
  if (record != nullptr) std::erase(record->frames, &frame);

  const ULONG device = BlockOf(DeviceObject).number;
  if (frame.passed) {
    CheckPendingRule(io, Irp, device, status, frame.marked);
  } else if (record != nullptr) {
    record->returned.push_back({frame.location, device, status});
  }
  if (issued_here && origin != Origin::Allocated && record != nullptr && !record->completed &&
      status != STATUS_PENDING) {
    io.Fatal("io.returned-without-completing",
             RequestText(Irp) + ": the dispatch routine of " + DeviceText(DeviceObject) +
                 " returned " + Hex(static_cast<ULONG>(status)) +
                 " without completing the request or marking it pending");
  }
  return status;
}

void IoMarkIrpPending(PIRP Irp) {
  IoManager& io = CurrentManager();
  RecordOf(io, Irp, "io.bad-request", "IoMarkIrpPending");
  if (Irp->CurrentLocation > Irp->StackCount) {
    io.Fatal("io.bad-request", "IoMarkIrpPending of " + RequestText(Irp) +
                                   ", which no driver holds (no current stack location)");
  }
  IoGetCurrentIrpStackLocation(Irp)->Control |= SL_PENDING_RETURNED;
}

PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL CancelRoutine) {
  // One context of the simulation runs at a time: the exchange is atomic.
  return std::exchange(Irp->CancelRoutine, CancelRoutine);
}

void IoCompleteRequest(PIRP Irp, CCHAR /*PriorityBoost*/) {
  IoManager& io = CurrentManager();
  RequireAtMost(io, DISPATCH_LEVEL, "IoCompleteRequest");
  IrpRecord* record = &RecordOf(io, Irp, "io.completed-twice", "IoCompleteRequest");
  if (record->completing || record->completed || Irp->CurrentLocation > Irp->StackCount + 1) {
    io.Fatal("io.completed-twice",
             "IoCompleteRequest of " + RequestText(Irp) + ", which was already completed");
  }
  if (Irp->IoStatus.Status == STATUS_PENDING) {
    io.Fatal("io.completed-pending",
             "IoCompleteRequest of " + RequestText(Irp) + " with the status STATUS_PENDING");
  }
  if (Irp->CancelRoutine != nullptr) {
    io.Fatal("io.cancel-routine-set",
             "IoCompleteRequest of " + RequestText(Irp) + " while its cancel routine is still set");
  }
  CheckInformation(io, Irp);
  const PDEVICE_OBJECT by = Irp->CurrentLocation <= Irp->StackCount
                                ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                                : nullptr;
  io.Trace(RequestText(Irp) + " completed by " + DeviceText(by) + ": status " +
           Hex(static_cast<ULONG>(Irp->IoStatus.Status)) + " information " +
           std::to_string(Irp->IoStatus.Information));

  const ULONG number = record->number;
  record->completing = true;
  while (Irp->CurrentLocation <= Irp->StackCount) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    Irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
    PassLocation(io, *record, Irp->CurrentLocation, Irp->PendingReturned);
    const PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
    PVOID context = stack->Context;
    const UCHAR control = stack->Control;
    std::memset(static_cast<void*>(stack), 0, sizeof *stack);
    ++Irp->CurrentLocation;
    ++Irp->Tail.Overlay.CurrentStackLocation;

    const NTSTATUS status = Irp->IoStatus.Status;
    const bool invoke =
        routine != nullptr && ((NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                               (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR)) ||
                               (Irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
    if (invoke) {
      const PDEVICE_OBJECT device = Irp->CurrentLocation > Irp->StackCount
                                        ? nullptr
                                        : IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
      NTSTATUS result;
      {
        const plat::ke::OwnerScope owner(device != nullptr ? DriverText(device->DriverObject)
                                                           : plat::ke::CurrentOwner());
        result = routine(device, Irp, context);
      }
      record = io.FindRecord(number);
      if (result == STATUS_MORE_PROCESSING_REQUIRED) {
        if (record != nullptr && record->irp == Irp) record->completing = false;
        return;
      }
      if (record == nullptr) {
        io.Fatal("io.freed-in-completion",
                 "the completion routine of request " + std::to_string(number) +
                     " freed it without returning STATUS_MORE_PROCESSING_REQUIRED");
      }
    } else if (Irp->PendingReturned && Irp->CurrentLocation <= Irp->StackCount) {
      IoGetCurrentIrpStackLocation(Irp)->Control |= SL_PENDING_RETURNED;
    }
  }
  FinishAtTop(io, *record);
}

PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock) {
  plat::ke::RequirePassiveLevel("IoBuildDeviceIoControlRequest");
  IoManager& io = CurrentManager();
  RequireBufferedControl(io, IoControlCode, "IoBuildDeviceIoControlRequest");
  if (io.faults().build_request.ShouldFail()) return nullptr;
  PIRP irp = AllocateRequest(io, DeviceObject->StackSize, Origin::Built);
  if (irp == nullptr) return nullptr;
  if (!AttachSystemBuffer(irp, std::max(InputBufferLength, OutputBufferLength))) {
    ReleaseRequest(io, irp);
    return nullptr;
  }
  if (InputBufferLength != 0) {
    std::memcpy(irp->AssociatedIrp.SystemBuffer, InputBuffer, InputBufferLength);
  }
  IrpRecord& record = *io.FindRecord(RequestNumber(irp));
  record.output = OutputBuffer;
  record.output_length = OutputBufferLength;
  irp->UserIosb = IoStatusBlock;
  irp->UserEvent = Event;
  irp->UserBuffer = OutputBuffer;
  if (plat::ke::Context* self = plat::ke::CurrentContextOrNull();
      self != nullptr && self->IsThread()) {
    irp->Tail.Overlay.Thread = self->thread;
  }
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction =
      InternalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
  next->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
  next->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
  next->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
  return irp;
}
