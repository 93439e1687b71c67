#include <gtest/gtest.h>

#include <string>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"
#include "platform/ke/tests/test_device.h"

namespace plat::ke {
namespace {

using testing::kMs;

// One machine's work: a 10 ms periodic timer whose DPC wakes a thread, and
// a device raising its line every 1.25 ms whose ISR queues a second DPC.
struct MachineWork {
  explicit MachineWork(Kernel& m) : machine(m), device(m, 0x3B, 16) {}
  Kernel& machine;
  testing::TestDevice device;
  KTIMER timer;
  KDPC timer_dpc, device_dpc;
  KEVENT tick;
  PKINTERRUPT interrupt = nullptr;
  int blocks = 0;

  void Start() {
    machine.CreateUserThread(
        "driver",
        [this] {
          KeInitializeEvent(&tick, SynchronizationEvent, FALSE);
          KeInitializeDpc(
              &timer_dpc,
              [](PKDPC, PVOID context, PVOID, PVOID) {
                KeSetEvent(&static_cast<MachineWork*>(context)->tick, 0, FALSE);
              },
              this);
          KeInitializeDpc(
              &device_dpc,
              [](PKDPC, PVOID context, PVOID, PVOID) {
                ++static_cast<MachineWork*>(context)->blocks;
              },
              this);
          interrupt = testing::Connect(
              device,
              [](PKINTERRUPT, PVOID context) -> BOOLEAN {
                auto& self = *static_cast<MachineWork*>(context);
                self.device.Clear();
                KeInsertQueueDpc(&self.device_dpc, nullptr, nullptr);
                return TRUE;
              },
              this);
          KeInitializeTimer(&timer);
          LARGE_INTEGER due{.QuadPart = -100'000};
          KeSetTimerEx(&timer, due, 10, &timer_dpc);
          for (int i = 0; i < 15; ++i) {
            testing::WaitForever(&tick);
            DbgPrint("tick %d with %d blocks", i, blocks);
          }
          KeCancelTimer(&timer);
        },
        nullptr);
    device.Start(625'000, 1'250'000);
  }
};

std::string RunScenario() {
  SimulationOptions options;
  options.trace = true;
  Simulation sim(options);
  MachineWork a(sim.AddMachine("A"));
  MachineWork b(sim.AddMachine("B"));
  a.Start();
  b.Start();
  sim.RunFor(200 * kMs);
  a.device.Stop();
  b.device.Stop();
  return sim.TraceText();
}

TEST(KeIrqlDeterminism, TimersDpcsInterruptsTwoMachines) {
  const std::string first = RunScenario();
  EXPECT_EQ(first, RunScenario());
  for (const char* expected : {"interrupt vector 59 level 16", "DPC", "fire timer expiry",
                               "print \"tick 14 with 120 blocks\"", " A ", " B "}) {
    EXPECT_NE(first.find(expected), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace plat::ke
