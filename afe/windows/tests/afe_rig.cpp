#include "afe/windows/tests/afe_rig.h"

#include <ostream>

#include "platform/hal/machine_hal.h"
#include "platform/io/io_manager.h"
#include "platform/ke/kernel.h"

namespace afe::testing {

std::ostream& operator<<(std::ostream& out, const Holdings& h) {
  return out << "{pool " << h.pool_blocks << ", mappings " << h.mappings << ", buffers "
             << h.common_buffers << ", interrupts " << h.interrupts << ", devices " << h.devices
             << ", names " << h.names << "}";
}

plat::Machine& AfeRig::BootAfe(plat::MachineConfig config) {
  config.drivers = {{u"vxafe", DriverEntry}};
  return Boot(std::move(config));
}

void AfeRig::OnKernelThread(const std::function<void()>& body) {
  ASSERT_TRUE(sim.RunUserThread(kernel(), "test", [&] {
    PKTHREAD thread = nullptr;
    ASSERT_EQ(kernel().CreateSystemThread(
                  "kernel-test",
                  [](PVOID routine) { (*static_cast<const std::function<void()>*>(routine))(); },
                  const_cast<std::function<void()>*>(&body), &thread),
              STATUS_SUCCESS);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
  }));
}

void AfeRig::OnUserThread(const std::function<void()>& body) {
  ASSERT_TRUE(sim.RunUserThread(kernel(), "user-test", body));
}

PDEVICE_OBJECT AfeRig::Device(DEVICE_TYPE type) {
  for (PDRIVER_OBJECT driver : machine_->drivers()) {
    for (PDEVICE_OBJECT d = driver->DeviceObject; d != nullptr; d = d->NextDevice) {
      if (d->DeviceType == type) return d;
    }
  }
  return nullptr;
}

Reply AfeRig::Control(ULONG code, void* in, ULONG in_length, void* out, ULONG out_length) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status{};
  PIRP irp = IoBuildDeviceIoControlRequest(code, Device(kAfeDeviceType), in, in_length, out,
                                           out_length, FALSE, &done, &status);
  EXPECT_NE(irp, nullptr);
  if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, 0};
  if (IoCallDriver(Device(kAfeDeviceType), irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return {status.Status, status.Information};
}

Reply AfeRig::Start(AfeInterface** answer) {
  KeInitializeEvent(&events_.PerBlockEvent, SynchronizationEvent, FALSE);
  events_.ProfileFlags = &profile_flags_;
  AfeEventBlock* lent = &events_;
  *answer = nullptr;
  return Control(IOCTL_MODEM_START, &lent, sizeof lent, answer, sizeof *answer);
}

AfeInterface* AfeRig::StartOrFail() {
  AfeInterface* answer = nullptr;
  const Reply reply = Start(&answer);
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, sizeof(void*));
  EXPECT_NE(answer, nullptr);
  return answer;
}

Reply AfeRig::Stop() { return Control(IOCTL_MODEM_STOP, nullptr, 0, nullptr, 0); }

Holdings AfeRig::Held() {
  plat::hal::Hal& hal = machine_->hal().hal();
  Holdings held{};
  held.pool_blocks = kernel().pool().LiveByTag(kAfeTag).blocks;
  held.mappings = hal.Io().LiveCount();
  held.common_buffers = hal.Dma().LiveCount();
  held.interrupts = kernel().ConnectedInterrupts().size();
  for (PDRIVER_OBJECT driver : machine_->drivers()) {
    for (PDEVICE_OBJECT d = driver->DeviceObject; d != nullptr; d = d->NextDevice) ++held.devices;
  }
  for (const auto& [name, entry] : plat::io::ManagerOf(kernel()).names()) {
    if (name.find(u"VEXORTOLVASA") != std::u16string::npos) ++held.names;
  }
  return held;
}

bool AwaitBlock(AfeEventBlock& events) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = -10'000'000;
  return KeWaitForSingleObject(&events.PerBlockEvent, Executive, KernelMode, FALSE, &timeout) ==
         STATUS_SUCCESS;
}

}  // namespace afe::testing
