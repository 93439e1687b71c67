// A machine booted with the real vxdsp over vxafe and the test controller,
// the controller's link pointed at that data pump's register page and
// context while it lives: what the benchmarks on the real data pump share.
#pragma once

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/ke/simulation.h"
#include "platform/machine/machine.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace vxctl::bench {

class VxdspBenchMachine {
 public:
  explicit VxdspBenchMachine(plat::Simulation& sim)
      : sim_(sim),
        machine_(sim, {.drivers = {{u"vxafe", afe::DriverEntry},
                                   {u"vxdsp", pump::DriverEntry},
                                   {u"vxtestctl", pump::testing::TestControllerEntry}}}) {}
  VxdspBenchMachine(const VxdspBenchMachine&) = delete;
  VxdspBenchMachine& operator=(const VxdspBenchMachine&) = delete;

  ~VxdspBenchMachine() {
    if (!bound_) return;
    sim_.RunUserThread(machine_.kernel(), "unbind", [] {
      dsp_set_dsp_context(nullptr);
      dsp_set_comram(nullptr);
    });
    machine_.Shutdown();
  }

  // Boots and binds the link; false when the data pump did not start.
  bool Boot() {
    pump::testing::TestController& controller = pump::testing::TestControllerOf(machine_.kernel());
    controller.callback = testing::RigCallback;
    if (machine_.Boot() != STATUS_SUCCESS || !controller.started()) return false;
    sim_.RunUserThread(machine_.kernel(), "bind", [&] {
      dsp_set_comram(&controller.Host().comram);
      dsp_set_dsp_context(controller.Context());
    });
    bound_ = true;
    return true;
  }

  plat::ke::Kernel& kernel() { return machine_.kernel(); }

 private:
  plat::Simulation& sim_;
  plat::Machine machine_;
  bool bound_ = false;
};

}  // namespace vxctl::bench
