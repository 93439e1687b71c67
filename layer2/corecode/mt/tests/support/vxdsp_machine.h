// Runs a test body on a controller thread of a machine booted with the real
// vxdsp (over vxafe and the simulated front end) and the test controller,
// with the link pointed at that data pump's register page and context.
// Header only: the tests that include it link the drivers themselves.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/machine/machine.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace vxctl::testing {

inline void RunOnVxdsp(const std::function<void()>& body, plat::line::Line* line = nullptr) {
  plat::Simulation sim;
  plat::Machine machine(sim, {.drivers = {{u"vxafe", afe::DriverEntry},
                                          {u"vxdsp", pump::DriverEntry},
                                          {u"vxtestctl", pump::testing::TestControllerEntry}},
                              .line = line});
  pump::testing::TestController& controller = pump::testing::TestControllerOf(machine.kernel());
  controller.callback = RigCallback;
  ASSERT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
  ASSERT_TRUE(controller.started());
  ASSERT_TRUE(sim.RunUserThread(machine.kernel(), "test", [&] {
    RunThreads({{16, [&] {
                   dsp_set_comram(&controller.Host().comram);
                   dsp_set_dsp_context(controller.Context());
                   body();
                   dsp_set_dsp_context(nullptr);
                   dsp_set_comram(nullptr);
                 }}});
  }));
  machine.Shutdown();
}

}  // namespace vxctl::testing
