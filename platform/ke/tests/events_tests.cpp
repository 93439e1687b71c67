#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ke/ke.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

// One step of an event's life, applied by a user thread; `expect` is what
// the call returns (previous state, wait status or read state).
enum class Op { Set, Reset, Clear, Read, Poll };
struct Step {
  Op op;
  LONG expect;
};
struct EventCase {
  const char* name;
  EVENT_TYPE type;
  BOOLEAN initial;
  std::vector<Step> steps;
};

constexpr LONG kIgnored = -99;

using testing::kMs;
using testing::SleepNs;

// Starts a thread that waits on `event` and then notes its name.
void StartWaiter(Kernel& machine, KEVENT& event, std::vector<std::string>& woken,
                 const char* name) {
  machine.CreateUserThread(
      name,
      [&woken, &event, name] {
        testing::WaitForever(&event);
        woken.push_back(name);
      },
      nullptr);
}

const EventCase kEventCases[] = {
    {"notification stays set through waits",
     NotificationEvent,
     FALSE,
     {{Op::Poll, STATUS_TIMEOUT},
      {Op::Set, 0},
      {Op::Poll, STATUS_WAIT_0},
      {Op::Poll, STATUS_WAIT_0},
      {Op::Read, 1},
      {Op::Set, 1},
      {Op::Reset, 1},
      {Op::Read, 0}}},
    {"synchronization resets on the satisfied wait",
     SynchronizationEvent,
     FALSE,
     {{Op::Set, 0},
      {Op::Read, 1},
      {Op::Poll, STATUS_WAIT_0},
      {Op::Read, 0},
      {Op::Poll, STATUS_TIMEOUT}}},
    {"initially signalled synchronization event",
     SynchronizationEvent,
     TRUE,
     {{Op::Read, 1}, {Op::Poll, STATUS_WAIT_0}, {Op::Poll, STATUS_TIMEOUT}}},
    {"initially signalled notification event, cleared",
     NotificationEvent,
     TRUE,
     {{Op::Clear, kIgnored}, {Op::Read, 0}, {Op::Poll, STATUS_TIMEOUT}, {Op::Reset, 0}}},
    {"set of a set event reports 1",
     SynchronizationEvent,
     FALSE,
     {{Op::Set, 0}, {Op::Set, 1}, {Op::Poll, STATUS_WAIT_0}, {Op::Set, 0}}},
};

TEST(KeEvents, StateTable) {
  for (const EventCase& c : kEventCases) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    std::vector<LONG> got;
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      KEVENT event;
      KeInitializeEvent(&event, c.type, c.initial);
      LARGE_INTEGER zero{.QuadPart = 0};
      for (const Step& step : c.steps) {
        switch (step.op) {
          case Op::Set:
            got.push_back(KeSetEvent(&event, 0, FALSE));
            break;
          case Op::Reset:
            got.push_back(KeResetEvent(&event));
            break;
          case Op::Clear:
            KeClearEvent(&event);
            got.push_back(kIgnored);
            break;
          case Op::Read:
            got.push_back(KeReadStateEvent(&event));
            break;
          case Op::Poll:
            got.push_back(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero));
            break;
        }
      }
    }));
    std::vector<LONG> expected;
    for (const Step& step : c.steps) expected.push_back(step.expect);
    EXPECT_EQ(got, expected) << c.name;
  }
}

// A set releases blocked waiters: a notification event all of them, a
// synchronization event only the oldest, and its state is consumed.
TEST(KeEvents, SetReleasesWaitersByType) {
  struct Case {
    EVENT_TYPE type;
    std::vector<std::string> woken_after_one_set;
    LONG state_after;
  };
  const Case cases[] = {
      {NotificationEvent, {"w1", "w2", "w3"}, 1},
      {SynchronizationEvent, {"w1"}, 0},
  };
  for (const Case& c : cases) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    std::vector<std::string> woken;
    KEVENT event;
    LONG state_after = -1;
    ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
      KeInitializeEvent(&event, c.type, FALSE);
      for (const char* name : {"w1", "w2", "w3"}) StartWaiter(machine, event, woken, name);
      SleepNs(kMs);  // all three now wait
      EXPECT_TRUE(woken.empty());
      EXPECT_EQ(KeSetEvent(&event, 0, FALSE), 0);
      SleepNs(kMs);
      state_after = KeReadStateEvent(&event);
    }));
    EXPECT_EQ(woken, c.woken_after_one_set) << c.type;
    EXPECT_EQ(state_after, c.state_after) << c.type;
  }
}

// Each set of a synchronization event releases exactly one waiter, oldest first.
TEST(KeEvents, SynchronizationEventReleasesWaitersOldestFirst) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> woken;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, FALSE);
    for (const char* name : {"first", "second", "third"}) {
      StartWaiter(machine, event, woken, name);
      SleepNs(kMs);  // fixes the order they wait in
    }
    for (int i = 0; i < 3; ++i) {
      KeSetEvent(&event, 0, FALSE);
      SleepNs(kMs);
      EXPECT_EQ(woken.size(), static_cast<std::size_t>(i + 1));
    }
    EXPECT_EQ(KeReadStateEvent(&event), 0);
  }));
  EXPECT_EQ(woken, (std::vector<std::string>{"first", "second", "third"}));
}

}  // namespace
}  // namespace plat::ke
