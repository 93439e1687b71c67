// GoogleTest fixtures for tests that run drivers on simulated machines.
//
//   class MyDriver : public plat::testing::MachineTest {};
//   TEST_F(MyDriver, Loads) {
//     plat::MachineConfig config{.drivers = {{u"vxafe", DriverEntry}}};
//     config.hive_overrides = "[\\Registry\\Machine\\...]\n\"Value\"=dword:0x00000001\n";
//     config.controller.busy_stuck = true;          // a controller knob
//     plat::Machine& m = Boot(std::move(config));   // fails the test if a driver fails
//     sim.RunFor(100 * plat::hal::kMillisecond);
//   }                                               // teardown shuts down: a leak is fatal
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/machine/machine.h"

namespace plat::testing {

class MachineTest : public ::testing::Test {
 protected:
  // Boots a machine with `config`; the test fails when a DriverEntry fails.
  Machine& Boot(MachineConfig config) {
    machine_ = std::make_unique<Machine>(sim, std::move(config));
    EXPECT_EQ(machine_->Boot(), STATUS_SUCCESS) << machine_->kernel().LogText();
    return *machine_;
  }
  void TearDown() override {
    if (machine_ && !machine_->shut_down()) machine_->Shutdown();
  }

  Simulation sim;
  std::unique_ptr<Machine> machine_;
};

}  // namespace plat::testing
