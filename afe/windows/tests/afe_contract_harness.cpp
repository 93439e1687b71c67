#include "afe/windows/tests/afe_contract_harness.h"

#include <gtest/gtest.h>

#include "afe/windows/tests/afe_rig.h"

namespace afe::testing {

void VxafeHarness::Run(const std::function<void()>& body) {
  plat::Simulation sim;
  plat::MachineConfig config;
  config.drivers = {{u"vxafe", DriverEntry}};
  plat::Machine machine(sim, std::move(config));
  ASSERT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
  RunOnKernelThread(sim, machine.kernel(), [&] {
    PDEVICE_OBJECT afe = FindDevice(machine, kAfeDeviceType);
    events_ = {};
    profile_flags_ = 0;
    ASSERT_EQ(StartFrontEnd(afe, events_, profile_flags_, &interface_).status, STATUS_SUCCESS);
    body();
    EXPECT_EQ(ControlDevice(afe, IOCTL_MODEM_STOP, nullptr, 0, nullptr, 0).status, STATUS_SUCCESS);
  });
  machine.Shutdown();
}

}  // namespace afe::testing
