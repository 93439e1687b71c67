// Device objects, symbolic links and attachment.
#include <cstdio>

#include "platform/io/files.h"
#include "platform/io/io_manager.h"
#include "platform/ke/object.h"

namespace plat::io {
namespace {

constexpr CSHORT kIoTypeDevice = 3;

void DestroyDevice(PVOID body) {
  auto* device = static_cast<PDEVICE_OBJECT>(body);
  ManagerOf(ke::OwnerOfObject(body)).Trace(DeviceText(device) + " freed");
}

constexpr std::size_t RoundUp16(std::size_t bytes) { return (bytes + 15) & ~std::size_t{15}; }

std::string Hex(ULONG value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// Fatal unless `device` is a live device object.
DeviceBlock& CheckedDevice(IoManager& io, PDEVICE_OBJECT device, const char* service) {
  if (device == nullptr || &ke::TypeOfObject(device) != &kDeviceObjectType) {
    io.Fatal("io.bad-device", std::string(service) + " of something that is no device object");
  }
  return BlockOf(device);
}

// A request some device of which `device` is one still has to finish,
// other than one the calling thread is dispatching on it right now.
const IrpRecord* HeldBy(const IoManager& io, PDEVICE_OBJECT device) {
  const ke::Context* self = ke::CurrentContextOrNull();
  for (const auto& [number, record] : io.records()) {
    if (record.completed) continue;
    for (int location = record.irp->CurrentLocation; location <= record.irp->StackCount;
         ++location) {
      if (StackLocation(record.irp, location)->DeviceObject != device) continue;
      bool dispatching_here = false;
      for (const DispatchFrame* frame : record.frames) {
        dispatching_here |=
            frame->device == device && frame->location == location && frame->context == self;
      }
      if (!dispatching_here) return &record;
    }
  }
  return nullptr;
}

}  // namespace

const ke::ObjectType kDeviceObjectType{"Device", DestroyDevice};

}  // namespace plat::io

using namespace plat::io;

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                        ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT* DeviceObject) {
  plat::ke::RequirePassiveLevel("IoCreateDevice");
  IoManager& io = CurrentManager();
  *DeviceObject = nullptr;
  const std::u16string name = FromCounted(DeviceName);
  if (const NTSTATUS fault = io.faults().create_device.Check(name); fault != STATUS_SUCCESS) {
    return fault;
  }
  if (!name.empty()) {
    if (IoManager::Canonical(name).empty()) return STATUS_OBJECT_NAME_INVALID;
    if (io.FindName(name) != nullptr) return STATUS_OBJECT_NAME_COLLISION;
  }
  const std::size_t head = RoundUp16(sizeof(DeviceBlock));
  auto* block = static_cast<DeviceBlock*>(
      plat::ke::CreateObject(io.kernel(), kDeviceObjectType, head + DeviceExtensionSize));
  block->number = io.NextDevice();
  PDEVICE_OBJECT device = &block->object;
  device->Type = kIoTypeDevice;
  device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + DeviceExtensionSize);
  device->DriverObject = DriverObject;
  device->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
  device->Characteristics = DeviceCharacteristics;
  device->DeviceExtension =
      DeviceExtensionSize != 0 ? reinterpret_cast<std::byte*>(block) + head : nullptr;
  device->DeviceType = DeviceType;
  device->StackSize = 1;
  if (!name.empty()) {
    io.InsertName(name, NameEntry{{}, device, {}});
    io.SetDeviceName(block->number, name);
  }
  device->NextDevice = DriverObject->DeviceObject;
  DriverObject->DeviceObject = device;
  io.Trace(DeviceText(device) + " created, type " + Hex(DeviceType) +
           (Exclusive ? ", exclusive" : ""));
  *DeviceObject = device;
  return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
  plat::ke::RequirePassiveLevel("IoDeleteDevice");
  IoManager& io = CurrentManager();
  DeviceBlock& block = CheckedDevice(io, DeviceObject, "IoDeleteDevice");
  if (block.delete_pending) {
    io.Fatal("io.deleted-twice", "IoDeleteDevice of " + DeviceText(DeviceObject) + " again");
  }
  if (block.lower != nullptr) {
    io.Fatal("io.delete-attached-device", "IoDeleteDevice of " + DeviceText(DeviceObject) +
                                              ", still attached to " + DeviceText(block.lower) +
                                              ": detach it first");
  }
  if (const IrpRecord* held = HeldBy(io, DeviceObject)) {
    io.Fatal("io.outstanding-on-deleted-device",
             "IoDeleteDevice of " + DeviceText(DeviceObject) + " while request " +
                 std::to_string(held->number) + " is outstanding on it");
  }
  const std::u16string name = io.DeviceName(block.number);
  if (const NameEntry* entry = io.FindName(name);
      entry != nullptr && entry->device == DeviceObject) {
    io.RemoveName(name);
  }
  for (PDEVICE_OBJECT* link = &DeviceObject->DriverObject->DeviceObject; *link != nullptr;
       link = &(*link)->NextDevice) {
    if (*link == DeviceObject) {
      *link = DeviceObject->NextDevice;
      break;
    }
  }
  DeviceObject->NextDevice = nullptr;
  block.delete_pending = true;
  io.Trace(DeviceText(DeviceObject) + " deleted");
  ObDereferenceObject(DeviceObject);
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
  plat::ke::RequirePassiveLevel("IoCreateSymbolicLink");
  IoManager& io = CurrentManager();
  const std::u16string link = FromCounted(SymbolicLinkName);
  if (const NTSTATUS fault = io.faults().create_link.Check(link); fault != STATUS_SUCCESS) {
    return fault;
  }
  const NTSTATUS status = io.InsertName(link, NameEntry{{}, nullptr, FromCounted(DeviceName)});
  if (NT_SUCCESS(status)) {
    io.Trace("link " + Narrow(link) + " -> " + Narrow(FromCounted(DeviceName)));
  }
  return status;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
  plat::ke::RequirePassiveLevel("IoDeleteSymbolicLink");
  IoManager& io = CurrentManager();
  const std::u16string link = FromCounted(SymbolicLinkName);
  const NameEntry* entry = io.FindName(link);
  if (entry == nullptr || entry->device != nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  io.RemoveName(link);
  io.Trace("link " + Narrow(link) + " deleted");
  return STATUS_SUCCESS;
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject) {
  while (DeviceObject->AttachedDevice != nullptr) DeviceObject = DeviceObject->AttachedDevice;
  return DeviceObject;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                           PDEVICE_OBJECT TargetDevice) {
  plat::ke::RequirePassiveLevel("IoAttachDeviceToDeviceStack");
  IoManager& io = CurrentManager();
  DeviceBlock& source = CheckedDevice(io, SourceDevice, "IoAttachDeviceToDeviceStack");
  CheckedDevice(io, TargetDevice, "IoAttachDeviceToDeviceStack");
  if (source.lower != nullptr) {
    io.Fatal("io.attached-twice",
             DeviceText(SourceDevice) + " is already attached to " + DeviceText(source.lower));
  }
  PDEVICE_OBJECT top = IoGetAttachedDevice(TargetDevice);
  if (BlockOf(top).delete_pending) return nullptr;
  top->AttachedDevice = SourceDevice;
  source.lower = top;
  SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
  ObReferenceObject(top);  // a deleted device lives on while a device is attached above it
  io.Trace(DeviceText(SourceDevice) + " attached to " + DeviceText(top));
  return top;
}

void IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
  IoManager& io = CurrentManager();
  RequireAtMost(io, DISPATCH_LEVEL, "IoDetachDevice");
  CheckedDevice(io, TargetDevice, "IoDetachDevice");
  PDEVICE_OBJECT upper = TargetDevice->AttachedDevice;
  if (upper == nullptr) {
    io.Fatal("io.detach-nothing",
             "IoDetachDevice of " + DeviceText(TargetDevice) + ", which has no device attached");
  }
  TargetDevice->AttachedDevice = nullptr;
  BlockOf(upper).lower = nullptr;
  io.Trace(DeviceText(upper) + " detached from " + DeviceText(TargetDevice));
  ObDereferenceObject(TargetDevice);
}

NTSTATUS IoAttachDevice(PDEVICE_OBJECT SourceDevice, PUNICODE_STRING TargetDevice,
                        PDEVICE_OBJECT* AttachedDevice) {
  plat::ke::RequirePassiveLevel("IoAttachDevice");
  IoManager& io = CurrentManager();
  *AttachedDevice = nullptr;
  const std::u16string name = FromCounted(TargetDevice);
  if (const NTSTATUS fault = io.faults().attach_device.Check(name); fault != STATUS_SUCCESS) {
    return fault;
  }
  PFILE_OBJECT file = nullptr;
  const NTSTATUS status = OpenDevice(name, KernelMode, &file);
  if (!NT_SUCCESS(status)) return status;
  *AttachedDevice = IoAttachDeviceToDeviceStack(SourceDevice, file->DeviceObject);
  CloseFile(file, KernelMode);
  return *AttachedDevice != nullptr ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
}

namespace {

void RunDeviceDpc(PKDPC dpc, PVOID context, PVOID irp, PVOID argument) {
  auto* device = static_cast<PDEVICE_OBJECT>(context);
  BlockOf(device).dpc_routine(dpc, device, static_cast<PIRP>(irp), argument);
}

}  // namespace

void IoInitializeDpcRequest(PDEVICE_OBJECT DeviceObject, PIO_DPC_ROUTINE DpcRoutine) {
  CheckedDevice(CurrentManager(), DeviceObject, "IoInitializeDpcRequest").dpc_routine = DpcRoutine;
  KeInitializeDpc(&DeviceObject->Dpc, RunDeviceDpc, DeviceObject);
}

void IoRequestDpc(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
  KeInsertQueueDpc(&DeviceObject->Dpc, Irp, Context);
}
