// A simulated machine with its whole platform: kernel, pool, object manager,
// registry, I/O manager, HAL and PCI bus with the audio/modem controller on a
// line port, and the driver images it boots.
//
//   plat::Simulation sim;
//   plat::Machine m(sim, {.name = "A", .drivers = {{u"vxafe", AfeEntry}}});
//   ASSERT_EQ(m.Boot(), STATUS_SUCCESS);
//   sim.RunFor(2 * plat::hal::kSecond);
//   m.Shutdown();  // unloads, then every layer's leak check
//
// Boot loads the drivers in order and stops at the first DriverEntry that
// fails (its status is the result). Shutdown unloads the loaded drivers in
// reverse order, runs the machine until nothing is ready, and checks every
// layer for what was left: threads, timers and DPCs (kernel), open handles
// (object manager), outstanding requests (I/O manager), devices and links
// (by driver), mappings, common buffers and interrupts (HAL), and pool
// blocks by tag. Anything left is fatal and names its owner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/hal/machine_hal.h"
#include "platform/io/io_host.h"
#include "platform/ke/simulation.h"
#include "platform/line/front_end_port.h"
#include "platform/line/line.h"
#include "platform/machine/default_hive.h"
#include "platform/sim/controller_knobs.h"
#include "platform/sim/machine_controller.h"

namespace plat {

struct MachineConfig {
  std::string name = "M";
  // The registry seed: the hive with the overrides merged in (the same text
  // form; their keys and values replace or join the hive's). A seed that
  // does not parse is fatal.
  std::string hive = std::string(machine::DefaultHive());
  std::string hive_overrides{};
  std::filesystem::path state_file{};      // empty: changes stay in memory
  std::vector<io::DriverImage> drivers{};  // in load order
  ke::KernelConfig kernel{};
  hal::HalConfig hal{};
  sim::ControllerKnobs controller{};
  // The line the front end hangs on, at `side`; none: a line of the
  // machine's own, seeded with `seed`, whose far end is silent.
  line::Line* line = nullptr;
  line::Side side = line::Side::kA;
  std::uint64_t seed = 1;
};

class Machine {
 public:
  // Adds the machine to `simulation` and installs its platform.
  Machine(Simulation& simulation, MachineConfig config);
  // The controller, which lives as long as the simulation, lets go of the port.
  ~Machine() { installed_->controller().AttachLine(nullptr); }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  NTSTATUS Boot();
  void Shutdown();

  Simulation& simulation() { return simulation_; }
  ke::Kernel& kernel() { return kernel_; }
  sim::Controller& controller() { return installed_->controller(); }
  hal::MachineHal& hal() { return installed_->machine(); }
  line::Line& line() { return *line_; }
  line::FrontEndPort& port() { return *port_; }
  const MachineConfig& config() const { return config_; }
  // The loaded drivers, in load order.
  const std::vector<PDRIVER_OBJECT>& drivers() const { return drivers_; }
  bool shut_down() const { return shut_down_; }

 private:
  void CheckDevicesAndLinks();
  void CheckPool();

  Simulation& simulation_;
  MachineConfig config_;
  ke::Kernel& kernel_;
  std::unique_ptr<line::Line> own_line_;
  line::Line* line_;
  std::unique_ptr<line::FrontEndPort> port_;
  sim::MachineController* installed_ = nullptr;
  std::vector<PDRIVER_OBJECT> drivers_;
  bool shut_down_ = false;
};

}  // namespace plat
