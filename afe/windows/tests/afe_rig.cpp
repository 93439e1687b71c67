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

void RunOnKernelThread(plat::Simulation& sim, plat::ke::Kernel& machine,
                       const std::function<void()>& body) {
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    PKTHREAD thread = nullptr;
    ASSERT_EQ(machine.CreateSystemThread(
                  "kernel-test",
                  [](PVOID routine) { (*static_cast<const std::function<void()>*>(routine))(); },
                  const_cast<std::function<void()>*>(&body), &thread),
              STATUS_SUCCESS);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
  }));
}

PDEVICE_OBJECT FindDevice(plat::Machine& machine, DEVICE_TYPE type) {
  for (PDRIVER_OBJECT driver : machine.drivers()) {
    for (PDEVICE_OBJECT d = driver->DeviceObject; d != nullptr; d = d->NextDevice) {
      if (d->DeviceType == type) return d;
    }
  }
  return nullptr;
}

Reply ControlDevice(PDEVICE_OBJECT device, ULONG code, void* in, ULONG in_length, void* out,
                    ULONG out_length) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK status{};
  PIRP irp = IoBuildDeviceIoControlRequest(code, device, in, in_length, out, out_length, FALSE,
                                           &done, &status);
  EXPECT_NE(irp, nullptr);
  if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, 0};
  if (IoCallDriver(device, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return {status.Status, status.Information};
}

Reply StartFrontEnd(PDEVICE_OBJECT afe, AfeEventBlock& events, ULONG& profile_flags,
                    AfeInterface** answer) {
  KeInitializeEvent(&events.PerBlockEvent, SynchronizationEvent, FALSE);
  events.ProfileFlags = &profile_flags;
  AfeEventBlock* lent = &events;
  *answer = nullptr;
  return ControlDevice(afe, IOCTL_MODEM_START, &lent, sizeof lent, answer, sizeof *answer);
}

void AfeRig::OnKernelThread(const std::function<void()>& body) {
  RunOnKernelThread(sim, kernel(), body);
}

void AfeRig::OnUserThread(const std::function<void()>& body) {
  ASSERT_TRUE(sim.RunUserThread(kernel(), "user-test", body));
}

PDEVICE_OBJECT AfeRig::Device(DEVICE_TYPE type) { return FindDevice(*machine_, type); }

Reply AfeRig::Control(ULONG code, void* in, ULONG in_length, void* out, ULONG out_length) {
  return ControlDevice(Device(kAfeDeviceType), code, in, in_length, out, out_length);
}

Reply AfeRig::Start(AfeInterface** answer) {
  return StartFrontEnd(Device(kAfeDeviceType), events_, profile_flags_, answer);
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

UCHAR AfeRig::SimRegister(ULONG reg) {
  return machine_->controller().ReadRegister(kernel().Now(), reg);
}

std::array<UCHAR, 101> AfeRig::SimRegisters() {
  std::array<UCHAR, 101> all{};
  for (ULONG reg = 0; reg < all.size(); ++reg) all[reg] = SimRegister(reg);
  return all;
}

bool AwaitBlock(AfeEventBlock& events) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = -10'000'000;
  return KeWaitForSingleObject(&events.PerBlockEvent, Executive, KernelMode, FALSE, &timeout) ==
         STATUS_SUCCESS;
}

}  // namespace afe::testing
