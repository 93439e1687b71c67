#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/object.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;
using testing::WaitForever;
using testing::WaitNs;

// A priority-28 thread woken by a set runs at once, ahead of the setter and
// of the priority-16 threads that were ready before it.
TEST(KeThreads, HigherPriorityReadiedBySetRunsFirst) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> order;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeSetPriorityThread(KeGetCurrentThread(), 16);
    KEVENT block_event;
    KeInitializeEvent(&block_event, SynchronizationEvent, FALSE);
    machine.CreateUserThread(
        "block",
        [&] {
          KeSetPriorityThread(KeGetCurrentThread(), 28);
          WaitForever(&block_event);
          order.push_back("block");
        },
        nullptr);
    SleepNs(kMs);  // "block" now waits
    for (const char* name : {"ctl1", "ctl2"}) {
      machine.CreateUserThread(
          name,
          [&order, name] {
            KeSetPriorityThread(KeGetCurrentThread(), 16);
            order.push_back(name);
          },
          nullptr);
    }
    KeSetEvent(&block_event, 0, FALSE);
    order.push_back("main after set");
    SleepNs(kMs);
  }));
  EXPECT_EQ(order, (std::vector<std::string>{"block", "main after set", "ctl1", "ctl2"}));
}

// Ready threads of one priority run in the order they became ready; a
// thread of higher priority starts at once.
TEST(KeThreads, FifoWithinAPriorityAndStartPreempts) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> order;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    for (const char* name : {"t1", "t2", "t3"}) {
      machine.CreateUserThread(
          name, [&order, name] { order.push_back(name); }, nullptr);
    }
    order.push_back("main");
    PKTHREAD urgent = nullptr;
    machine.CreateSystemThread(
        "urgent",
        [](PVOID context) { static_cast<std::vector<std::string>*>(context)->push_back("urgent"); },
        &order, &urgent);
    // Same priority (8): "urgent" queued behind t1..t3, nothing has run yet.
    order.push_back("main again");
    KeSetPriorityThread(urgent, 9);  // now ahead of main: runs at this switch point
    order.push_back("main last");
    ObDereferenceObject(urgent);
  }));
  EXPECT_EQ(order, (std::vector<std::string>{"main", "main again", "urgent", "main last", "t1",
                                             "t2", "t3"}));
}

// Two threads of one priority that only read the clock share the CPU in
// quanta of 20 ms of virtual time; a zero sleep hands over at once.
TEST(KeThreads, QuantumAndZeroSleep) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::pair<std::string, std::uint64_t>> turns;
  std::string last;
  auto spinner = [&](const std::string name, std::uint64_t until) {
    return [&, name, until] {
      while (true) {
        const ULONGLONG t = KeQueryInterruptTime() * 100;
        if (last != name) {
          turns.emplace_back(name, t);
          last = name;
        }
        if (t >= until) break;
      }
    };
  };
  machine.CreateUserThread("a", spinner("a", 50 * kMs), nullptr);
  machine.CreateUserThread("b", spinner("b", 50 * kMs), nullptr);
  sim.RunFor(200 * kMs);
  ASSERT_GE(turns.size(), 3u);
  EXPECT_EQ(turns[0], (std::pair<std::string, std::uint64_t>{"a", 1'000}));
  EXPECT_EQ(turns[1], (std::pair<std::string, std::uint64_t>{"b", 20 * kMs + 1'000}));
  // a's read that its quantum's end interrupted returns when a runs again.
  EXPECT_EQ(turns[2], (std::pair<std::string, std::uint64_t>{"a", 40 * kMs}));

  std::vector<std::string> order;
  ASSERT_TRUE(sim.RunUserThread(machine, "yielder", [&] {
    machine.CreateUserThread(
        "peer", [&] { order.push_back("peer"); }, nullptr);
    order.push_back("before");
    LARGE_INTEGER zero{.QuadPart = 0};
    KeDelayExecutionThread(KernelMode, FALSE, &zero);
    order.push_back("after");
  }));
  EXPECT_EQ(order, (std::vector<std::string>{"before", "peer", "after"}));
}

struct SetOnDestroy {
  bool* flag;
  ~SetOnDestroy() { *flag = true; }
};

void EndFromDeepInside(NTSTATUS status) { PsTerminateSystemThread(status); }

// PsTerminateSystemThread unwinds the thread's stack (destructors run, the
// rest of the routine does not); the thread object is then signalled and
// keeps the exit status; returning from the routine ends a thread too.
TEST(KeThreads, TerminationUnwindsAndSignals) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  bool destroyed = false;
  bool ran_past = false;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    struct Shared {
      bool* destroyed;
      bool* ran_past;
    } shared{&destroyed, &ran_past};
    PKTHREAD worker = nullptr;
    ASSERT_EQ(machine.CreateSystemThread(
                  "worker",
                  [](PVOID context) {
                    auto& s = *static_cast<Shared*>(context);
                    SetOnDestroy guard{s.destroyed};
                    SleepNs(kMs);
                    EndFromDeepInside(0x1234);
                    *s.ran_past = true;
                  },
                  &shared, &worker),
              STATUS_SUCCESS);
    EXPECT_EQ(ReferencesOf(worker), 2);  // ours and its own
    EXPECT_EQ(WaitForever(worker), STATUS_WAIT_0);
    EXPECT_EQ(machine.Now(), kMs);
    EXPECT_EQ(worker->ExitStatus, 0x1234);
    EXPECT_EQ(ReferencesOf(worker), 1);
    EXPECT_EQ(WaitForever(worker), STATUS_WAIT_0) << "an ended thread stays signalled";
    ObDereferenceObject(worker);

    PKTHREAD returner = nullptr;
    machine.CreateSystemThread(
        "returner", [](PVOID) {}, nullptr, &returner);
    EXPECT_EQ(WaitForever(returner), STATUS_WAIT_0);
    EXPECT_EQ(returner->ExitStatus, STATUS_SUCCESS);
    ObDereferenceObject(returner);
  }));
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(ran_past);
  EXPECT_TRUE(machine.LiveObjects().empty());
}

// A 5 s wait on a thread that does not end times out at exactly 5 s.
TEST(KeThreads, FiveSecondWaitOnALiveThreadTimesOut) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "stopper", [&] {
    KEVENT never;
    KeInitializeEvent(&never, NotificationEvent, FALSE);
    PKTHREAD stuck = nullptr;
    machine.CreateSystemThread(
        "stuck", [](PVOID event) { WaitForever(event); }, &never, &stuck);
    SleepNs(kMs);
    EXPECT_EQ(WaitNs(stuck, 5'000 * kMs), STATUS_TIMEOUT);
    EXPECT_EQ(machine.Now(), 5'001 * kMs);
    KeSetEvent(&never, 0, FALSE);
    EXPECT_EQ(WaitNs(stuck, kMs), STATUS_WAIT_0);
    ObDereferenceObject(stuck);
  }));
}

TEST(KeThreads, PriorityCallsAndCreationFaults) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    PKTHREAD self = KeGetCurrentThread();
    EXPECT_EQ(KeQueryPriorityThread(self), 8);
    EXPECT_EQ(KeSetPriorityThread(self, 28), 8);
    EXPECT_EQ(KeSetPriorityThread(self, 16), 28);
    EXPECT_EQ(KeQueryPriorityThread(self), 16);
    EXPECT_EQ(ExGetPreviousMode(), UserMode);

    machine.faults().thread_creation.FailNth(2);
    PKTHREAD threads[3] = {};
    const NTSTATUS expected[3] = {STATUS_SUCCESS, STATUS_INSUFFICIENT_RESOURCES, STATUS_SUCCESS};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(
          machine.CreateSystemThread(
              "t", [](PVOID) { EXPECT_EQ(ExGetPreviousMode(), KernelMode); }, nullptr, &threads[i]),
          expected[i]);
    }
    EXPECT_EQ(threads[1], nullptr);
    machine.faults().thread_creation.FailEvery();
    EXPECT_EQ(machine.CreateUserThread(
                  "u", [] {}, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    machine.faults().thread_creation.Clear();
    for (PKTHREAD t : {threads[0], threads[2]}) {
      WaitForever(t);
      ObDereferenceObject(t);
    }
  }));
}

}  // namespace
}  // namespace plat::ke
