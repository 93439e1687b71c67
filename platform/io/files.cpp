// File objects and the synchronous requests made on them.
#include "platform/io/files.h"

#include <algorithm>
#include <cstring>

#include "platform/ex/expool.h"
#include "platform/io/io_manager.h"

namespace plat::io {
namespace {

constexpr CSHORT kIoTypeFile = 5;

std::string FileText(PFILE_OBJECT file) { return "file " + std::to_string(BlockOf(file).number); }

struct RequestShape {
  UCHAR major;
  ULONG code = 0;
  std::span<const std::byte> input{};
  std::span<std::byte> output{};
};

bool IsTransfer(UCHAR major) {
  return major != IRP_MJ_CREATE && major != IRP_MJ_CLEANUP && major != IRP_MJ_CLOSE;
}

void FillLocation(PIO_STACK_LOCATION stack, const RequestShape& shape, PFILE_OBJECT file) {
  stack->MajorFunction = shape.major;
  stack->FileObject = file;
  switch (shape.major) {
    case IRP_MJ_READ:
      stack->Parameters.Read.Length = static_cast<ULONG>(shape.output.size());
      break;
    case IRP_MJ_WRITE:
      stack->Parameters.Write.Length = static_cast<ULONG>(shape.input.size());
      break;
    case IRP_MJ_DEVICE_CONTROL:
      stack->Parameters.DeviceIoControl.IoControlCode = shape.code;
      stack->Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(shape.input.size());
      stack->Parameters.DeviceIoControl.OutputBufferLength =
          static_cast<ULONG>(shape.output.size());
      break;
  }
}

// Sends one request of the file to its device and waits for its completion.
Transfer Send(IoManager& io, PFILE_OBJECT file, KPROCESSOR_MODE mode, const RequestShape& shape) {
  ke::RequirePassiveLevel("a request on a file");
  const FileBlock& block = BlockOf(file);
  PDEVICE_OBJECT target = block.target;
  if (IsTransfer(shape.major)) {
    if (BlockOf(file->DeviceObject).delete_pending || BlockOf(target).delete_pending) {
      return {STATUS_DELETE_PENDING, 0};
    }
    if ((shape.major == IRP_MJ_READ || shape.major == IRP_MJ_WRITE) &&
        (target->Flags & DO_BUFFERED_IO) == 0) {
      io.Fatal("io.unsupported-transfer",
               MajorText(shape.major) + " on " + DeviceText(target) +
                   ", which has no DO_BUFFERED_IO: only buffered transfers are supported");
    }
    if (shape.major == IRP_MJ_DEVICE_CONTROL) RequireBufferedControl(io, shape.code, "a request");
  }
  PIRP irp = AllocateRequest(io, target->StackSize, Origin::File);
  if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, 0};
  if (!AttachSystemBuffer(irp,
                          static_cast<ULONG>(std::max(shape.input.size(), shape.output.size())))) {
    ReleaseRequest(io, irp);
    return {STATUS_INSUFFICIENT_RESOURCES, 0};
  }
  if (!shape.input.empty()) {
    std::memcpy(irp->AssociatedIrp.SystemBuffer, shape.input.data(), shape.input.size());
  }
  FillLocation(IoGetNextIrpStackLocation(irp), shape, file);
  irp->RequestorMode = mode;
  irp->UserBuffer = shape.output.data();
  irp->Tail.Overlay.OriginalFileObject = file;
  irp->Tail.Overlay.Thread = KeGetCurrentThread();

  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  const ULONG number = RequestNumber(irp);
  IrpRecord& record = *io.FindRecord(number);
  record.done = &done;
  const bool holds_reference = IsTransfer(shape.major);
  if (holds_reference) {
    record.file = file;
    ObReferenceObject(file);
  }

  IoCallDriver(target, irp);
  if (!io.FindRecord(number)->completed) {
    KeWaitForSingleObject(&done, Executive, mode, FALSE, nullptr);
  }
  const IO_STATUS_BLOCK result = io.FindRecord(number)->result;
  if (!NT_ERROR(result.Status) && !shape.output.empty()) {
    std::memcpy(shape.output.data(), irp->AssociatedIrp.SystemBuffer,
                std::min<ULONG_PTR>(result.Information, shape.output.size()));
  }
  ReleaseRequest(io, irp);
  if (holds_reference) ObDereferenceObject(file);
  return {result.Status, result.Information};
}

// One handle of the file goes; the last one sends CLEANUP.
void DropHandle(PFILE_OBJECT file, KPROCESSOR_MODE mode) {
  IoManager& io = CurrentManager();
  FileBlock& block = BlockOf(file);
  if (block.handles <= 0) io.Fatal("io.bad-file", "closing " + FileText(file) + " without a handle");
  if (--block.handles == 0) {
    Send(io, file, mode, RequestShape{IRP_MJ_CLEANUP});
    io.Trace(FileText(file) + " cleaned up");
  }
}

void HandleClosed(PVOID body) {
  DropHandle(static_cast<PFILE_OBJECT>(body), ExGetPreviousMode());
}

void DestroyFile(PVOID body) {
  auto* file = static_cast<PFILE_OBJECT>(body);
  IoManager& io = ManagerOf(ke::OwnerOfObject(body));
  if (BlockOf(file).opened) {
    Send(io, file, KernelMode, RequestShape{IRP_MJ_CLOSE});
    io.Trace(FileText(file) + " closed");
  }
  PDEVICE_OBJECT device = file->DeviceObject;
  --device->ReferenceCount;
  ObDereferenceObject(device);
}

}  // namespace

const ke::ObjectType kFileObjectType{"File", DestroyFile, HandleClosed};

NTSTATUS OpenDevice(std::u16string_view name, KPROCESSOR_MODE mode, PFILE_OBJECT* file) {
  ke::RequirePassiveLevel("opening a device");
  IoManager& io = CurrentManager();
  *file = nullptr;
  PDEVICE_OBJECT device = nullptr;
  if (const NTSTATUS status = io.Resolve(name, &device); !NT_SUCCESS(status)) return status;
  if (BlockOf(device).delete_pending) return STATUS_DELETE_PENDING;
  if ((device->Flags & DO_DEVICE_INITIALIZING) != 0) return STATUS_NO_SUCH_DEVICE;
  if ((device->Flags & DO_EXCLUSIVE) != 0 && device->ReferenceCount != 0) {
    return STATUS_ACCESS_DENIED;
  }
  ++device->ReferenceCount;
  ObReferenceObject(device);

  auto* block =
      static_cast<FileBlock*>(ke::CreateObject(io.kernel(), kFileObjectType, sizeof(FileBlock)));
  block->number = io.NextFile();
  block->target = IoGetAttachedDevice(device);
  PFILE_OBJECT opened = &block->object;
  opened->Type = kIoTypeFile;
  opened->Size = sizeof(FILE_OBJECT);
  opened->DeviceObject = device;
  opened->ReadAccess = opened->WriteAccess = TRUE;
  io.Trace(FileText(opened) + " opening " + Narrow(name) + " on " + DeviceText(device));

  const Transfer create = Send(io, opened, mode, RequestShape{IRP_MJ_CREATE});
  if (!NT_SUCCESS(create.status)) {
    ObDereferenceObject(opened);  // no close: the stack never saw the file open
    return create.status;
  }
  block->opened = true;
  block->handles = 1;
  *file = opened;
  return STATUS_SUCCESS;
}

void CloseFile(PFILE_OBJECT file, KPROCESSOR_MODE mode) {
  DropHandle(file, mode);
  ObDereferenceObject(file);
}

Transfer FileRead(PFILE_OBJECT file, KPROCESSOR_MODE mode, std::span<std::byte> output) {
  return Send(CurrentManager(), file, mode, RequestShape{IRP_MJ_READ, 0, {}, output});
}

Transfer FileWrite(PFILE_OBJECT file, KPROCESSOR_MODE mode, std::span<const std::byte> input) {
  return Send(CurrentManager(), file, mode, RequestShape{IRP_MJ_WRITE, 0, input, {}});
}

Transfer FileDeviceControl(PFILE_OBJECT file, KPROCESSOR_MODE mode, ULONG code,
                           std::span<const std::byte> input, std::span<std::byte> output) {
  return Send(CurrentManager(), file, mode,
              RequestShape{IRP_MJ_DEVICE_CONTROL, code, input, output});
}

Transfer FileFlush(PFILE_OBJECT file, KPROCESSOR_MODE mode) {
  return Send(CurrentManager(), file, mode, RequestShape{IRP_MJ_FLUSH_BUFFERS});
}

std::vector<PIRP> PendingRequests(PFILE_OBJECT file) { return CurrentManager().PendingOn(file); }

}  // namespace plat::io
