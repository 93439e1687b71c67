// DspLoad: the version check, and the device, its link and its attachment
// to the front end's AFE device.
#include "afe/windows/afe_device.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {
namespace {

class DspLoad : public DspRig {};

std::string VersionOverride(const std::string& version) {
  std::string text = "[\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n";
  text.append("\"CurrentVersion\"=sz:\"").append(version).append("\"\n");
  return text;
}

TEST_F(DspLoad, OnlyAVersionBeginningWithFourLoads) {
  struct Row {
    const char* version;
    NTSTATUS status;
  };
  for (const Row row : {Row{"4.0", STATUS_SUCCESS}, Row{"4.00.1381", STATUS_SUCCESS},
                        Row{"5.0", STATUS_UNSUCCESSFUL}, Row{"3.51", STATUS_UNSUCCESSFUL},
                        Row{"", STATUS_UNSUCCESSFUL}}) {
    SCOPED_TRACE(row.version);
    plat::Simulation simulation;
    // vxdsp alone: the front end's own check must not answer for it.
    plat::Machine machine(simulation, {.hive_overrides = VersionOverride(row.version),
                                       .drivers = {{u"vxdsp", DriverEntry}}});
    EXPECT_EQ(machine.Boot(), row.status);
    EXPECT_EQ(machine.drivers().size(), row.status == STATUS_SUCCESS ? 1u : 0u);
    machine.Shutdown();
  }
}

TEST_F(DspLoad, TheDeviceAndItsLinkSitAboveTheFrontEndsDevice) {
  BootOnVxafe(Controller::kNone);
  PDEVICE_OBJECT dsp = DspDevice();
  ASSERT_NE(dsp, nullptr);
  EXPECT_EQ(Named(u"\\DosDevices\\VexorTolvasaDsp"), dsp);
  EXPECT_EQ(Named(u"\\\\.\\VexorTolvasaDsp"), nullptr) << "only the DOS name is linked";
  EXPECT_EQ(dsp->DeviceType, 0x22u);
  EXPECT_NE(dsp->Flags & DO_BUFFERED_IO, 0u);
  EXPECT_EQ(dsp->Flags & DO_DEVICE_INITIALIZING, 0u);
  PDEVICE_OBJECT afe = Named(afe::kAfeDeviceName);
  ASSERT_NE(afe, nullptr);
  EXPECT_EQ(Extension().lower, afe);
  EXPECT_EQ(afe->AttachedDevice, dsp);
  EXPECT_EQ(dsp->StackSize, afe->StackSize + 1);
  EXPECT_EQ(Extension().start_state, kDspNotStarted);
  // The extension keeps its own copy of the service key's path.
  const std::u16string_view path(Extension().registry_path.Buffer,
                                 Extension().registry_path.Length / sizeof(WCHAR));
  EXPECT_EQ(path, u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp");
}

TEST_F(DspLoad, WithoutTheFrontEndsDeviceItLoadsButCannotStart) {
  machine_ = std::make_unique<plat::Machine>(
      sim, plat::MachineConfig{.drivers = {{u"vxdsp", DriverEntry}}});
  ASSERT_EQ(machine_->Boot(), STATUS_SUCCESS);
  ASSERT_NE(DspDevice(), nullptr);
  EXPECT_EQ(Extension().lower, nullptr);
  OnKernelThread([&] {
    const StartReply reply = Start();
    EXPECT_EQ(reply.status, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(reply.answer, &Extension().context);
    EXPECT_EQ(Extension().started, 0);
  });
}

}  // namespace
}  // namespace pump::testing
