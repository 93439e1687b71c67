#include "pump/tests/support/fake_front_end.h"

#include <algorithm>
#include <cstring>

#include "pump/driver/dsp_device.h"

namespace pump::testing {
namespace {

constexpr PCWSTR kAfeLink = u"\\DosDevices\\VexorTolvasaAfe";

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

}  // namespace

FakeFrontEnd& FakeFrontEndOf(plat::ke::Kernel& machine) {
  return machine.slots().Get<FakeFrontEnd>();
}

NTSTATUS FakeDispatch(PDEVICE_OBJECT, PIRP irp) {
  return FakeFrontEndOf(plat::ke::CurrentKernel()).Dispatch(irp);
}

NTSTATUS FakeFrontEnd::Dispatch(PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  SeenRequest seen{stack->MajorFunction, 0, irp->RequestorMode, 0, 0, {}};
  if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
    const auto& control = stack->Parameters.DeviceIoControl;
    seen.code = control.IoControlCode;
    seen.input_length = control.InputBufferLength;
    seen.output_length = control.OutputBufferLength;
    const auto* buffer = static_cast<const UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    if (buffer != nullptr) seen.input.assign(buffer, buffer + control.InputBufferLength);
  }
  seen_.push_back(seen);
  if (stack->MajorFunction != IRP_MJ_DEVICE_CONTROL) return Complete(irp, STATUS_SUCCESS, 0);
  if (seen.code == IOCTL_MODEM_START) return Start(irp);
  if (seen.code == IOCTL_MODEM_STOP) return Stop(irp);
  std::memset(irp->AssociatedIrp.SystemBuffer, kReplyByte, seen.output_length);
  return Complete(irp, other_status, seen.output_length);
}

NTSTATUS FakeFrontEnd::Start(PIRP irp) {
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  std::memcpy(&events_, buffer, sizeof events_);
  if (NT_SUCCESS(start_status) && answer_interface) {
    front_ = std::make_unique<TestAfe>(events_);
    afe::AfeInterface* answer = &front_->Interface();
    std::memcpy(buffer, &answer, sizeof answer);
  }
  return Complete(irp, start_status, start_information);
}

NTSTATUS FakeFrontEnd::Stop(PIRP irp) {
  Remove();
  return Complete(irp, STATUS_SUCCESS, 0);
}

void FakeFrontEnd::Remove() {
  front_.reset();
  if (device_ == nullptr) return;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kAfeLink);
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(device_);
  device_ = nullptr;
}

void FakeUnload(PDRIVER_OBJECT) { FakeFrontEndOf(plat::ke::CurrentKernel()).Remove(); }

NTSTATUS FakeFrontEndEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  FakeFrontEnd& fake = FakeFrontEndOf(plat::ke::CurrentKernel());
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kAfeDeviceName);
  NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &fake.device_);
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, kAfeLink);
  IoCreateSymbolicLink(&link, &name);
  fake.device_->Flags |= DO_BUFFERED_IO;
  driver->DriverUnload = FakeUnload;
  driver->MajorFunction[IRP_MJ_CREATE] = FakeDispatch;
  driver->MajorFunction[IRP_MJ_CLOSE] = FakeDispatch;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = FakeDispatch;
  return STATUS_SUCCESS;
}

}  // namespace pump::testing
