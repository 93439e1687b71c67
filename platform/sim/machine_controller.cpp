#include "platform/sim/machine_controller.h"

namespace plat::sim {

MachineController::MachineController(hal::MachineHal& machine, const ControllerSetup& setup)
    : machine_(machine), controller_(machine.hal().Dma(), machine.kernel().Now()) {
  PlaceController(machine_.hal(), controller_, setup.location);
  if (setup.line != nullptr) controller_.AttachLine(setup.line);
  controller_.SetWiring(this);
}

MachineController::~MachineController() {
  if (wake_) machine_.kernel().CancelScheduled(wake_);
}

void MachineController::LevelChanged(Instant, bool asserted) {
  machine_.DriveInterruptLine(Controller::kInterruptLine, asserted);
}

void MachineController::NextChangeMoved(std::optional<Instant> at) {
  ke::Kernel& kernel = machine_.kernel();
  if (wake_) kernel.CancelScheduled(wake_);
  wake_ = {};
  if (!at) return;
  wake_ = kernel.ScheduleAt(
      *at,
      [this, &kernel] {
        wake_ = {};
        controller_.AdvanceTo(kernel.Now());
      },
      "audio controller");
}

MachineController& InstallController(ke::Kernel& kernel, const ControllerSetup& setup) {
  hal::MachineHal& machine = hal::InstallHal(kernel, setup.hal);
  return kernel.slots().Emplace<MachineController>(machine, setup);
}

}  // namespace plat::sim
