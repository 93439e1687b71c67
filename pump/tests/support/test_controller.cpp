#include "pump/tests/support/test_controller.h"

namespace pump::testing {
namespace {

constexpr ULONG kModemStart = 0x222040;
constexpr ULONG kModemStop = 0x222044;
constexpr PCWSTR kDspDevice = u"\\Device\\VexorTolvasaDsp";
constexpr PCWSTR kOwnDevice = u"\\Device\\VexorTolvasaTestController";

}  // namespace

ControlReply SendDeviceControl(PDEVICE_OBJECT device, ULONG code, void* in, ULONG in_length,
                               void* out, ULONG out_length) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status{};
  PIRP irp = IoBuildDeviceIoControlRequest(code, device, in, in_length, out, out_length, FALSE,
                                           &done, &status);
  if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, 0};
  if (IoCallDriver(device, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return {status.Status, status.Information};
}

TestController& TestControllerOf(plat::ke::Kernel& machine) {
  return machine.slots().Get<TestController>();
}

NTSTATUS TestController::Start() {
  ControllerCallback handed = callback != nullptr ? callback : &ControllerDouble::Callback;
  DspContext* answer = nullptr;
  const ControlReply reply =
      SendDeviceControl(lower_, kModemStart, &handed, sizeof handed, &answer, sizeof answer);
  start_status_ = reply.status;
  start_information_ = reply.information;
  if (NT_SUCCESS(reply.status) && answer != nullptr) {
    context_ = answer;
    if (callback == nullptr)
      double_ = std::make_unique<ControllerDouble>(*context_->host, *context_);
  }
  return reply.status;
}

NTSTATUS TestController::Stop() {
  double_.reset();
  const NTSTATUS status = SendDeviceControl(lower_, kModemStop, nullptr, 0, nullptr, 0).status;
  if (status != STATUS_TIMEOUT) {
    stopped_ = true;
    context_ = nullptr;
  }
  return status;
}

void TestControllerUnload(PDRIVER_OBJECT) {
  TestController& controller = TestControllerOf(plat::ke::CurrentKernel());
  if (!controller.stopped_) controller.Stop();
  IoDetachDevice(controller.lower_);
  IoDeleteDevice(controller.device_);
  controller.device_ = controller.lower_ = nullptr;
}

NTSTATUS TestControllerEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  TestController& controller = TestControllerOf(plat::ke::CurrentKernel());
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kOwnDevice);
  NTSTATUS status =
      IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &controller.device_);
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING dsp;
  RtlInitUnicodeString(&dsp, kDspDevice);
  status = IoAttachDevice(controller.device_, &dsp, &controller.lower_);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(controller.device_);
    controller.device_ = nullptr;
    return status;
  }
  driver->DriverUnload = TestControllerUnload;
  if (controller.start_at_load) controller.Start();
  return STATUS_SUCCESS;
}

}  // namespace pump::testing
