// Driver objects: loading an image (DriverEntry on a system thread) and
// unloading it.
#include <string>

#include "platform/ex/expool.h"
#include "platform/io/io_host.h"
#include "platform/io/io_manager.h"
#include "platform/ke/object.h"

namespace plat::io {
namespace {

constexpr CSHORT kIoTypeDriver = 4;
constexpr std::u16string_view kDriverDirectory = u"\\Driver\\";
constexpr ULONG kNameTag = ex::PoolTag("IoNm");

const ke::ObjectType kDriverObjectType{"Driver", nullptr};

// A counted copy of `text` in the paged pool; empty on exhaustion.
UNICODE_STRING PoolString(std::u16string_view text) {
  UNICODE_STRING string{};
  const std::size_t bytes = text.size() * sizeof(WCHAR);
  auto* buffer =
      static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), kNameTag));
  if (buffer == nullptr) return string;
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  string.Buffer = buffer;
  string.Length = static_cast<USHORT>(bytes);
  string.MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
  return string;
}

void FreePoolString(UNICODE_STRING& string) {
  if (string.Buffer != nullptr) ExFreePool(string.Buffer);
  string = {};
}

struct EntryCall {
  PDRIVER_OBJECT driver;
  PDRIVER_INITIALIZE entry;
  UNICODE_STRING path;
  NTSTATUS status;
};

void RunEntry(PVOID context) {
  auto& call = *static_cast<EntryCall*>(context);
  const ke::OwnerScope owner(DriverText(call.driver));
  call.status = call.entry(call.driver, &call.path);
}

void RunUnload(PVOID context) {
  auto* driver = static_cast<PDRIVER_OBJECT>(context);
  const ke::OwnerScope owner(DriverText(driver));
  driver->DriverUnload(driver);
}

// Runs `routine` on a new system thread of the machine and waits for its end.
NTSTATUS RunOnSystemThread(IoManager& io, std::string name, PKSTART_ROUTINE routine,
                           PVOID context) {
  PKTHREAD thread = nullptr;
  const NTSTATUS status =
      io.kernel().CreateSystemThread(std::move(name), routine, context, &thread);
  if (!NT_SUCCESS(status)) return status;
  KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
  ObDereferenceObject(thread);
  return STATUS_SUCCESS;
}

void DeleteDriverObject(IoManager& io, PDRIVER_OBJECT driver) {
  io.RemoveDriver(driver);
  FreePoolString(driver->DriverName);
  ObDereferenceObject(driver);
}

}  // namespace

NTSTATUS LoadDriver(const DriverImage& image, PDRIVER_OBJECT* driver) {
  ke::RequirePassiveLevel("LoadDriver");
  IoManager& io = CurrentManager();
  *driver = nullptr;
  auto* object = static_cast<PDRIVER_OBJECT>(
      ke::CreateObject(io.kernel(), kDriverObjectType, sizeof(DRIVER_OBJECT)));
  object->Type = kIoTypeDriver;
  object->Size = sizeof(DRIVER_OBJECT);
  object->DriverName = PoolString(std::u16string(kDriverDirectory) + std::u16string(image.service));
  object->DriverInit = image.entry;
  for (PDRIVER_DISPATCH& dispatch : object->MajorFunction) dispatch = InvalidDeviceRequest;
  io.AddDriver(object);

  EntryCall call{object, image.entry,
                 PoolString(std::u16string(kServicesPath) + std::u16string(image.service)),
                 STATUS_INSUFFICIENT_RESOURCES};
  const std::string service = Narrow(image.service);
  io.Trace("loading driver " + service);
  NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
  if (object->DriverName.Buffer != nullptr && call.path.Buffer != nullptr) {
    status = RunOnSystemThread(io, "DriverEntry " + service, RunEntry, &call);
    if (NT_SUCCESS(status)) status = call.status;
  }
  FreePoolString(call.path);
  if (!NT_SUCCESS(status)) {
    if (object->DeviceObject != nullptr) {
      io.Fatal("io.devices-left-after-failed-load",
               "DriverEntry of " + service + " failed and left " +
                   DeviceText(object->DeviceObject) + " behind");
    }
    DeleteDriverObject(io, object);
    return status;
  }
  for (PDEVICE_OBJECT device = object->DeviceObject; device != nullptr;
       device = device->NextDevice) {
    device->Flags &= ~DO_DEVICE_INITIALIZING;
  }
  io.Trace("driver " + service + " loaded");
  *driver = object;
  return STATUS_SUCCESS;
}

NTSTATUS UnloadDriver(PDRIVER_OBJECT driver) {
  ke::RequirePassiveLevel("UnloadDriver");
  IoManager& io = CurrentManager();
  if (driver->DriverUnload == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  const std::string name = DriverText(driver);
  const NTSTATUS status = RunOnSystemThread(io, "DriverUnload " + name, RunUnload, driver);
  if (!NT_SUCCESS(status)) return status;
  if (driver->DeviceObject != nullptr) {
    io.Fatal("io.devices-left-at-unload",
             name + " unloaded and left " + DeviceText(driver->DeviceObject) + " behind");
  }
  io.Trace(name + " unloaded");
  DeleteDriverObject(io, driver);
  return STATUS_SUCCESS;
}

IoFaults& Faults(ke::Kernel& machine) { return ManagerOf(machine).faults(); }

}  // namespace plat::io
