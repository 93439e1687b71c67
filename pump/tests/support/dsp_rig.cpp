#include "pump/tests/support/dsp_rig.h"

#include <cstdio>
#include <cstring>

#include "afe/windows/afe_device.h"
#include "afe/windows/sound_device.h"
#include "platform/io/io_manager.h"
#include "platform/reg/machine_registry.h"
#include "platform/win32/files.h"
#include "pump/tests/support/pump_harness.h"

namespace pump::testing {

std::string ProfileOverride(ULONG profile_flags) {
  std::string bytes;
  for (int i = 0; i < 8; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", i < 4 ? (profile_flags >> (8 * i)) & 0xFF : 0u);
    bytes += (i == 0 ? "" : " ") + std::string(byte);
  }
  return "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp]\n"
         "\"Profile\"=binary:" +
         bytes + "\n";
}

std::unique_ptr<plat::Machine> DspRig::Built(std::vector<plat::io::DriverImage> drivers,
                                             Controller controller, plat::MachineConfig config) {
  if (controller != Controller::kNone) drivers.push_back({u"vxtestctl", TestControllerEntry});
  config.drivers = std::move(drivers);
  auto machine = std::make_unique<plat::Machine>(sim, std::move(config));
  TestControllerOf(machine->kernel()).start_at_load = controller == Controller::kStarted;
  EXPECT_EQ(machine->Boot(), STATUS_SUCCESS) << machine->kernel().LogText();
  return machine;
}

plat::Machine& DspRig::BootWith(std::vector<plat::io::DriverImage> drivers, Controller controller,
                                plat::MachineConfig config) {
  machine_ = Built(std::move(drivers), controller, std::move(config));
  return *machine_;
}

plat::Machine& DspRig::BootPeerOnVxafe(plat::MachineConfig config) {
  far_machine_ = Built({{u"vxafe", afe::DriverEntry}, {u"vxdsp", DriverEntry}}, Controller::kStarted,
                std::move(config));
  return *far_machine_;
}

plat::line::Line& DspRig::MakeLine(const plat::line::LineConfig& config) {
  line_ = std::make_unique<plat::line::Line>(config);
  return *line_;
}

plat::Machine& DspRig::BootOnLineSideA() {
  plat::MachineConfig config;
  config.name = "A";
  config.line = line_.get();
  config.side = plat::line::Side::kA;
  return BootOnVxafe(Controller::kStarted, std::move(config));
}

plat::Machine& DspRig::BootPeerOnLineSideB() {
  plat::MachineConfig config;
  config.name = "B";
  config.line = line_.get();
  config.side = plat::line::Side::kB;
  return BootPeerOnVxafe(std::move(config));
}

void DspRig::TearDown() {
  if (far_machine_ && !far_machine_->shut_down()) far_machine_->Shutdown();
  MachineTest::TearDown();
  far_machine_.reset();
  // The line outlives every machine on it.
  if (line_) {
    machine_.reset();
    line_.reset();
  }
}

plat::line::LineDirectionConfig ImpairedDirection(int transmit_dbm0, double snr_db) {
  plat::line::LineDirectionConfig config;
  config.gain_db = -kImpairedLossDb;
  config.delay_samples = 97;
  config.echo_erl_db = 20;
  config.echo_delay_samples = 9;
  if (snr_db < 100) config.noise_dbm0 = transmit_dbm0 - kImpairedLossDb - snr_db;
  return config;
}

plat::Machine& DspRig::BootOnFake(Controller controller, plat::MachineConfig config) {
  return BootWith({{u"fakeafe", FakeFrontEndEntry}, {u"vxdsp", DriverEntry}}, controller,
                  std::move(config));
}

plat::Machine& DspRig::BootOnVxafe(Controller controller, plat::MachineConfig config) {
  return BootWith({{u"vxafe", afe::DriverEntry}, {u"vxdsp", DriverEntry}}, controller,
                  std::move(config));
}

void DspRig::OnKernelThread(const std::function<void()>& body, KPRIORITY priority) {
  OnKernelThread(kernel(), body, priority);
}

void DspRig::OnKernelThread(plat::ke::Kernel& machine, const std::function<void()>& body,
                            KPRIORITY priority) {
  struct Start {
    const std::function<void()>* body;
    KPRIORITY priority;
  } start{&body, priority};
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    PKTHREAD thread = nullptr;
    ASSERT_EQ(machine.CreateSystemThread(
                  "kernel-test",
                  [](PVOID context) {
                    const auto& s = *static_cast<const Start*>(context);
                    KeSetPriorityThread(KeGetCurrentThread(), s.priority);
                    (*s.body)();
                  },
                  &start, &thread),
              STATUS_SUCCESS);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
  }));
}

void DspRig::OnUserThread(const std::function<void()>& body) {
  ASSERT_TRUE(sim.RunUserThread(kernel(), "user-test", body));
}

PDEVICE_OBJECT DspRig::Named(std::u16string_view name) {
  PDEVICE_OBJECT device = nullptr;
  return NT_SUCCESS(plat::io::ManagerOf(kernel()).Resolve(name, &device)) ? device : nullptr;
}

PDEVICE_OBJECT DspRig::DspDevice() { return Named(kDspDeviceName); }

Reply DspRig::Control(ULONG code, void* in, ULONG in_length, void* out, ULONG out_length) {
  return SendDeviceControl(DspDevice(), code, in, in_length, out, out_length);
}

StartReply DspRig::Start(ControllerCallback callback, const std::function<void()>& just_before) {
  PDEVICE_OBJECT dsp = DspDevice();
  PIRP irp = IoAllocateIrp(dsp->StackSize, FALSE);
  if (irp == nullptr) return {STATUS_INSUFFICIENT_RESOURCES, 0, nullptr};
  void* buffer[1];
  std::memcpy(buffer, &callback, sizeof callback);
  irp->AssociatedIrp.SystemBuffer = buffer;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
  next->Parameters.DeviceIoControl.IoControlCode = IOCTL_MODEM_START;
  next->Parameters.DeviceIoControl.InputBufferLength = sizeof buffer;
  next->Parameters.DeviceIoControl.OutputBufferLength = sizeof buffer;
  if (just_before) just_before();
  IoCallDriver(dsp, irp);
  StartReply reply{irp->IoStatus.Status, irp->IoStatus.Information, nullptr};
  std::memcpy(&reply.answer, buffer, sizeof reply.answer);
  IoFreeIrp(irp);
  return reply;
}

int DspRig::SeenByFake(ULONG code) {
  int n = 0;
  for (const SeenRequest& r : Fake().Seen())
    n += r.major == IRP_MJ_DEVICE_CONTROL && r.code == code;
  return n;
}

int DspRig::SeenMajorByFake(UCHAR major) {
  int n = 0;
  for (const SeenRequest& r : Fake().Seen()) n += r.major == major;
  return n;
}

void DspRig::OpenAndClose() {
  OnUserThread([] {
    const HANDLE dsp = CreateFile(u"\\\\.\\VexorTolvasaDsp", GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, 0);
    ASSERT_NE(dsp, INVALID_HANDLE_VALUE);
    CloseHandle(dsp);
  });
}

void DspRig::BridgeTransfer(ULONG code, std::vector<SHORT>& samples) {
  samples.resize(afe::kSoundTransferSamples);
  const bool read = code == afe::IOCTL_SOUND_READDATA;
  OnUserThread([&] {
    const HANDLE sound = CreateFile(u"\\\\.\\VexorTolvasaSound", GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, 0);
    ASSERT_NE(sound, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(sound, code, read ? nullptr : samples.data(),
                                read ? 0 : afe::kSoundTransferBytes, read ? samples.data() : nullptr,
                                read ? afe::kSoundTransferBytes : 0, &returned, nullptr));
    EXPECT_EQ(returned, read ? afe::kSoundTransferBytes : 0);
    CloseHandle(sound);
  });
}

std::optional<ULONG> DspRig::ServiceValueBytes(std::u16string_view name) {
  const plat::reg::Registry& registry = plat::reg::RegistryOf(kernel()).registry;
  std::shared_ptr<plat::reg::Key> key;
  if (!NT_SUCCESS(registry.OpenKey(nullptr, PumpHarness::kServiceKey, &key))) return std::nullopt;
  ULONG length = 0;
  const NTSTATUS status =
      registry.QueryValue(*key, name, KeyValuePartialInformation, nullptr, 0, &length);
  if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) return std::nullopt;
  return length - offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
}

}  // namespace pump::testing
