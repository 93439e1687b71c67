// A load that fails at any step: the status the driver reports and nothing
// of it left (the machine's shutdown fails on any device, link, request,
// thread or pool block left behind).
#include <gtest/gtest.h>

#include <functional>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/tests/ctl_machine.h"
#include "platform/reg/machine_registry.h"

namespace vxctl::testing {
namespace {

class CtlLoadFailures : public CtlMachineTest {
 protected:
  // Nothing of vxctl is left: devices, links, values, the serial count.
  void ExpectNothingLeft() {
    for (std::u16string_view name :
         {u"\\Device\\SerialTolvasa0", u"\\??\\COM1", u"\\Device\\tolvasaprobe",
          u"\\DosDevices\\tolvasaprobe", u"\\Device\\MdmPerfMon2", u"\\DosDevices\\MdmPerfMon2"}) {
      EXPECT_FALSE(NameExists(kernel(), name)) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(SerialCommValues(kernel()), 0u);
    RunOn([] { EXPECT_EQ(IoGetConfigurationInformation()->SerialCount, 0u); });
  }
};

TEST_F(CtlLoadFailures, VersionFiveFailsBeforeAnyDevice) {
  plat::MachineConfig config;
  config.hive_overrides =
      "[\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
      "\"CurrentVersion\"=sz:\"5.0\"\n";
  config.drivers = {VxctlImage()};
  plat::Machine& machine = Make(std::move(config));
  EXPECT_EQ(machine.Boot(), STATUS_UNSUCCESSFUL);
  ExpectNothingLeft();
  EXPECT_EQ(DwordValue(kernel(), kParametersKey, u"ComPort"), std::nullopt);
}

TEST_F(CtlLoadFailures, EachStepFailsWithItsStatus) {
  using Arm = std::function<void(plat::ke::Kernel&)>;
  struct Row {
    const char* what;
    Arm arm;
    NTSTATUS expected;
  };
  const Row rows[] = {
      {"serial device",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_device.FailName(u"\\Device\\SerialTolvasa0",
                                                    STATUS_ACCESS_DENIED);
       },
       STATUS_ACCESS_DENIED},
      {"COM link other than a collision",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_link.FailName(u"\\??\\COM1", STATUS_ACCESS_DENIED);
       },
       STATUS_ACCESS_DENIED},
      {"ComPort written back",
       [](plat::ke::Kernel& m) {
         plat::reg::RegistryOf(m).faults.FailNth("RtlWriteRegistryValue", 1,
                                                 STATUS_REGISTRY_IO_FAILED);
       },
       STATUS_REGISTRY_IO_FAILED},
      {"SERIALCOMM value",
       [](plat::ke::Kernel& m) {
         plat::reg::RegistryOf(m).faults.FailNth("RtlWriteRegistryValue", 2,
                                                 STATUS_REGISTRY_IO_FAILED);
       },
       STATUS_REGISTRY_IO_FAILED},
      {"probe device",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_device.FailName(u"\\Device\\tolvasaprobe",
                                                    STATUS_ACCESS_DENIED);
       },
       STATUS_UNSUCCESSFUL},
      {"probe link",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_link.FailName(u"\\DosDevices\\tolvasaprobe",
                                                  STATUS_ACCESS_DENIED);
       },
       STATUS_UNSUCCESSFUL},
      {"statistics device",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_device.FailName(u"\\Device\\MdmPerfMon2",
                                                    STATUS_ACCESS_DENIED);
       },
       STATUS_UNSUCCESSFUL},
      {"statistics link",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).create_link.FailName(u"\\DosDevices\\MdmPerfMon2",
                                                  STATUS_ACCESS_DENIED);
       },
       STATUS_UNSUCCESSFUL},
      {"attachment",
       [](plat::ke::Kernel& m) {
         plat::io::Faults(m).attach_device.FailName(u"\\Device\\VexorTolvasaDsp",
                                                    STATUS_ACCESS_DENIED);
       },
       STATUS_UNSUCCESSFUL},
      {"start request not built",
       [](plat::ke::Kernel& m) { plat::io::Faults(m).build_request.FailNth(1); },
       STATUS_UNSUCCESSFUL},
      // The test's user thread and rig thread, then the loader's thread.
      {"task thread", [](plat::ke::Kernel& m) { m.faults().thread_creation.FailNth(4); },
       STATUS_UNSUCCESSFUL},
      {"timing thread", [](plat::ke::Kernel& m) { m.faults().thread_creation.FailNth(5); },
       STATUS_UNSUCCESSFUL},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    plat::MachineConfig config;
    config.drivers = {VxafeImage(), VxdspImage()};
    Make(std::move(config));
    ASSERT_EQ(machine_->Boot(), STATUS_SUCCESS) << kernel().LogText();
    row.arm(kernel());
    EXPECT_EQ(Load(VxctlImage()), row.expected) << kernel().LogText();
    ExpectNothingLeft();
    machine_->Shutdown();
  }
}

// Every pool allocation from vxctl's load on (the data pump's start
// included) fails in turn until the load succeeds.
TEST_F(CtlLoadFailures, EachPoolAllocationFailsCleanly) {
  bool loaded = false;
  for (std::uint64_t n = 1; !loaded && n < 200; ++n) {
    SCOPED_TRACE(n);
    plat::MachineConfig config;
    config.drivers = {VxafeImage(), VxdspImage()};
    Make(std::move(config));
    ASSERT_EQ(machine_->Boot(), STATUS_SUCCESS) << kernel().LogText();
    kernel().pool().FailNthAllocation(n);
    PDRIVER_OBJECT driver = nullptr;
    const NTSTATUS status = Load(VxctlImage(), &driver);
    kernel().pool().ClearFaults();
    if (NT_SUCCESS(status)) {
      loaded = true;
      Unload(driver);
    } else {
      EXPECT_TRUE(status == STATUS_INSUFFICIENT_RESOURCES || status == STATUS_UNSUCCESSFUL)
          << std::hex << status;
      ExpectNothingLeft();
    }
    machine_->Shutdown();
  }
  EXPECT_TRUE(loaded);
}

TEST_F(CtlLoadFailures, ADspDeviceAnsweringTheStartWithAnErrorIsStoppedAndLeft) {
  plat::MachineConfig config;
  config.drivers = {FakeDspImage(), VxctlImage()};
  Make(std::move(config));
  EXPECT_EQ(machine_->Boot(), STATUS_UNSUCCESSFUL);
  const FakeDsp& dsp = kernel().slots().Get<FakeDsp>();
  EXPECT_EQ(dsp.starts, 1);
  EXPECT_EQ(dsp.stops, 1);
  ExpectNothingLeft();
}

TEST_F(CtlLoadFailures, NoDspDeviceFails) {
  plat::MachineConfig config;
  config.drivers = {VxctlImage()};
  Make(std::move(config));
  EXPECT_EQ(machine_->Boot(), STATUS_UNSUCCESSFUL);
  ExpectNothingLeft();
}

}  // namespace
}  // namespace vxctl::testing
