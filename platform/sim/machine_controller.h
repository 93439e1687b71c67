// The audio/modem controller installed in a simulated machine: the
// machine's HAL with the controller on its PCI bus, the controller's
// interrupt line driving the kernel's, and the instants at which the
// controller may move its line scheduled on the machine's timeline (one
// entry at a time, replaced whenever the controller announces another).
//
//   auto& installed = plat::sim::InstallController(kernel, {.line = &line});
//   installed.controller().Knobs().busy_stuck = true;     // fault knobs
//   installed.machine().hal().Faults().map_io_space.Arm(1);
//
// Drivers then reach the controller only through the HAL calls.
#pragma once

#include <optional>

#include "platform/hal/machine_hal.h"
#include "platform/ke/kernel.h"
#include "platform/sim/controller.h"
#include "platform/sim/controller_function.h"

namespace plat::sim {

struct ControllerSetup {
  LineSide* line = nullptr;  // or attach one later with controller().AttachLine
  hal::PciLocation location = kControllerLocation;
  hal::HalConfig hal{};
};

class MachineController final : public InterruptWiring {
 public:
  MachineController(hal::MachineHal& machine, const ControllerSetup& setup);
  ~MachineController() override;
  MachineController(const MachineController&) = delete;
  MachineController& operator=(const MachineController&) = delete;

  Controller& controller() { return controller_; }
  hal::MachineHal& machine() { return machine_; }

  void LevelChanged(Instant at, bool asserted) override;
  void NextChangeMoved(std::optional<Instant> at) override;

 private:
  hal::MachineHal& machine_;
  Controller controller_;
  ke::TimelineId wake_;
};

// Gives `kernel` its HAL with the controller (the machine host calls it at
// boot, before any driver loads). The controller powers on at the present.
MachineController& InstallController(ke::Kernel& kernel, const ControllerSetup& setup = {});

}  // namespace plat::sim
