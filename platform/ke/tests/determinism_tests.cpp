#include <gtest/gtest.h>

#include <string>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;
using testing::WaitNs;

// Two machines with threads of several priorities, events, time-outs,
// clock spins and prints; returns the whole trace.
std::string RunScenario() {
  SimulationOptions options;
  options.trace = true;
  Simulation sim(options);
  for (const char* name : {"A", "B"}) {
    Kernel& machine = sim.AddMachine(name);
    machine.CreateUserThread(
        "main",
        [&machine] {
          KEVENT ping, pong;
          KeInitializeEvent(&ping, SynchronizationEvent, FALSE);
          KeInitializeEvent(&pong, NotificationEvent, FALSE);
          PKTHREAD worker;
          machine.CreateUserThread(
              "worker",
              [&] {
                KeSetPriorityThread(KeGetCurrentThread(), 12);
                for (int i = 0; i < 3; ++i) {
                  WaitNs(&ping, 1'500'000);  // times out while main sleeps 2 ms
                  DbgPrint("worker round %d", i);
                  KeSetEvent(&pong, 0, FALSE);
                }
              },
              &worker);
          for (int i = 0; i < 3; ++i) {
            LARGE_INTEGER t;
            do KeQuerySystemTime(&t);
            while (t.QuadPart % 7 != 0);
            KeSetEvent(&ping, 0, FALSE);
            SleepNs((i + 1) * kMs);
            KeResetEvent(&pong);
          }
          testing::WaitForever(worker);
          ObDereferenceObject(worker);
        },
        nullptr);
  }
  sim.RunFor(100 * kMs);
  return sim.TraceText();
}

TEST(KeDeterminism, SameScenarioSameTrace) {
  const std::string first = RunScenario();
  const std::string second = RunScenario();
  EXPECT_EQ(first, second);
  for (const char* expected :
       {"switch -> ", "wait any [#", "wake 0x00000000", "wake 0x00000102", "set #", "start worker#",
        "exit #", "fire wait time-out", "print \"worker round 2\"", " A ", " B "}) {
    EXPECT_NE(first.find(expected), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace plat::ke
