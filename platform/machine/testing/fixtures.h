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
//
// TwoMachinesTest puts machines A and B on the two ends of one line.
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

class TwoMachinesTest : public ::testing::Test {
 protected:
  // Boots A at the line's end A and B at its end B.
  void Boot(MachineConfig a, MachineConfig b, const line::LineConfig& line_config = {}) {
    line_ = std::make_unique<line::Line>(line_config);
    a.line = b.line = line_.get();
    a.side = line::Side::kA;
    b.side = line::Side::kB;
    a_ = std::make_unique<Machine>(sim, std::move(a));
    b_ = std::make_unique<Machine>(sim, std::move(b));
    EXPECT_EQ(a_->Boot(), STATUS_SUCCESS) << a_->kernel().LogText();
    EXPECT_EQ(b_->Boot(), STATUS_SUCCESS) << b_->kernel().LogText();
  }
  void TearDown() override {
    for (Machine* m : {a_.get(), b_.get()}) {
      if (m != nullptr && !m->shut_down()) m->Shutdown();
    }
  }
  Machine& A() { return *a_; }
  Machine& B() { return *b_; }
  line::Line& line() { return *line_; }

  Simulation sim;
  std::unique_ptr<line::Line> line_;
  std::unique_ptr<Machine> a_;
  std::unique_ptr<Machine> b_;
};

}  // namespace plat::testing
