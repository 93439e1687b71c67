// Fatal diagnostics of the HAL on real machines: what a driver leaves at
// shutdown, and accesses a driver may not make.
#include <gtest/gtest.h>

#include <functional>

#include "platform/hal/tests/front_end.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::hal {
namespace {

using testing::FrontEnd;
using testing::Leave;
using testing::MachineRig;

// Starts and stops the front end, leaving `leave`, then shuts the machine down.
void StopLeavingAndShutDown(Leave leave) {
  MachineRig rig;
  rig.OnSystemThread([&] {
    FrontEnd fe;
    ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
    testing::StopFrontEnd(fe, leave);
  });
  rig.kernel.Shutdown();
}

// Runs `body` on a driver thread of a machine with the controller.
void OnDriverThread(const std::function<void(FrontEnd&)>& body) {
  MachineRig rig;
  rig.OnSystemThread([&] {
    FrontEnd fe;
    ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
    body(fe);
  });
}

// Two machines: `first` runs on A's driver thread, then `second` on B's.
void OnTwoMachines(const std::function<void(FrontEnd&)>& first,
                   const std::function<void(FrontEnd&)>& second) {
  MachineRig a({}, "A");
  FrontEnd fe;
  a.OnSystemThread([&] {
    ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
    first(fe);
  });
  ke::Kernel& b = a.sim.AddMachine("B");
  sim::InstallController(b);
  std::function<void()> body = [&] { second(fe); };
  testing::StartSystemThread(b, body);
  a.sim.RunFor(kMillisecond);
}

TEST(HalMachineDiagnostics, EachRuleIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Row {
    const char* rule;
    std::function<void()> scenario;
  };
  const Row rows[] = {
      {"hal-mapping-leak", [] { StopLeavingAndShutDown(Leave::kMapping); }},
      {"hal-common-buffer-leak", [] { StopLeavingAndShutDown(Leave::kCommonBuffer); }},
      {"hal-interrupt-leak", [] { StopLeavingAndShutDown(Leave::kInterrupt); }},
      {"hal-register-outside-mapping",
       [] {
         OnDriverThread([](FrontEnd& fe) {
           testing::StopFrontEnd(fe);
           fe.Read(sim::reg::kStatus);
         });
       }},
      {"hal-register-outside-mapping",  // B reaching through A's mapping
       [] {
         OnTwoMachines([](FrontEnd&) {},
                       [](FrontEnd& fe_of_a) { fe_of_a.Read(sim::reg::kStatus); });
       }},
      {"hal-unknown-adapter",
       [] {
         OnTwoMachines([](FrontEnd&) {},
                       [](FrontEnd& fe_of_a) {
                         PHYSICAL_ADDRESS logical{};
                         HalAllocateCommonBuffer(fe_of_a.adapter, 4096, &logical, FALSE);
                       });
       }},
      {"hal-undecoded-port",
       [] { OnDriverThread([](FrontEnd&) { READ_PORT_UCHAR(testing::Port8(0x60)); }); }},
      {"hal-not-installed",
       [] {
         ke::testing::OnMachine(
             [](ke::Kernel&) { READ_PORT_ULONG(testing::Port32(kConfigDataPort)); });
       }},
      {"hal-free-unknown-common-buffer",
       [] {
         OnDriverThread([](FrontEnd& fe) {
           HalFreeCommonBuffer(fe.adapter, testing::kBufferBytes - 4, fe.receive.logical,
                               fe.receive.virtual_address, FALSE);
         });
       }},
      {"hal-unmap-unknown",
       [] {
         OnDriverThread([](FrontEnd& fe) {
           MmUnmapIoSpace(const_cast<UCHAR*>(fe.registers) + 4, fe.window_length - 4);
         });
       }},
      {"sim-master-abort",  // the running engines reach a freed buffer
       [] {
         OnDriverThread([](FrontEnd& fe) {
           HalFreeCommonBuffer(fe.adapter, testing::kBufferBytes, fe.transmit.logical,
                               fe.transmit.virtual_address, FALSE);
           ke::testing::SleepNs(20 * kMillisecond);  // past the next period end
         });
       }},
      {"irql.not-passive",
       [] {
         OnDriverThread([](FrontEnd& fe) {
           KIRQL old = 0;
           KeRaiseIrql(DISPATCH_LEVEL, &old);
           PCM_RESOURCE_LIST list = nullptr;
           HalAssignSlotResources(nullptr, nullptr, nullptr, nullptr, PCIBus, fe.bus, fe.slot,
                                  &list);
         });
       }},
  };
  for (const Row& row : rows) {
    EXPECT_DEATH(row.scenario(), std::string("FATAL \\[") + row.rule + "\\]") << row.rule;
  }
}

TEST(HalMachineDiagnostics, ACleanStopShutsDownQuietly) { StopLeavingAndShutDown(Leave::kNothing); }

}  // namespace
}  // namespace plat::hal
