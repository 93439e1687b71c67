// The controller as a PCI function: its configuration space (identity,
// modem class, command, BARs, interrupt line and pin, power-management
// capability) and its place on the machine's bus.
#pragma once

#include "platform/hal/hal.h"
#include "platform/sim/controller.h"

namespace plat::sim {

inline constexpr hal::PciLocation kControllerLocation{0, 9, 0};
inline constexpr std::uint32_t kPowerCapability = 0x80;
inline constexpr std::uint32_t kPowerControl = 0x84;  // control and status, two bytes of storage

hal::PciFunction ControllerFunction(Controller& controller);

// Puts the controller on the bus (by default bus 0, device 9).
hal::PciFunction& PlaceController(hal::Hal& hal, Controller& controller,
                                  hal::PciLocation at = kControllerLocation);

}  // namespace plat::sim
