#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::Relative;
using testing::SleepNs;
using testing::WaitForever;

// Waits on objects already in a given state: which index satisfies, and
// which objects the satisfied wait consumes.
TEST(KeWaits, ImmediateResultsTable) {
  struct Case {
    const char* name;
    WAIT_TYPE type;
    std::array<bool, 3> synchronization;
    std::array<LONG, 3> signalled;
    NTSTATUS status;
    std::array<LONG, 3> after;
  };
  const Case cases[] = {
      {"any: lowest signalled index",
       WaitAny,
       {false, false, false},
       {0, 1, 1},
       STATUS_WAIT_0 + 1,
       {0, 1, 1}},
      {"any: first of all", WaitAny, {true, true, true}, {1, 1, 1}, STATUS_WAIT_0, {0, 1, 1}},
      {"any: only the satisfying sync event resets",
       WaitAny,
       {true, true, true},
       {0, 0, 1},
       STATUS_WAIT_0 + 2,
       {0, 0, 0}},
      {"any: none", WaitAny, {false, true, false}, {0, 0, 0}, STATUS_TIMEOUT, {0, 0, 0}},
      {"all: every one signalled, sync ones consumed",
       WaitAll,
       {true, false, true},
       {1, 1, 1},
       STATUS_WAIT_0,
       {0, 1, 0}},
      {"all: one missing consumes nothing",
       WaitAll,
       {true, true, true},
       {1, 0, 1},
       STATUS_TIMEOUT,
       {1, 0, 1}},
  };
  for (const Case& c : cases) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    NTSTATUS status = 0;
    std::array<LONG, 3> after{};
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      KEVENT events[3];
      PVOID objects[3];
      for (int i = 0; i < 3; ++i) {
        KeInitializeEvent(&events[i],
                          c.synchronization[i] ? SynchronizationEvent : NotificationEvent,
                          static_cast<BOOLEAN>(c.signalled[i]));
        objects[i] = &events[i];
      }
      LARGE_INTEGER poll{.QuadPart = 0};
      status = KeWaitForMultipleObjects(3, objects, c.type, Executive, KernelMode, FALSE, &poll,
                                        nullptr);
      for (int i = 0; i < 3; ++i) after[i] = KeReadStateEvent(&events[i]);
    }));
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(after, c.after) << c.name;
  }
}

// Every time-out form ends the wait at its exact virtual instant.
TEST(KeWaits, TimeoutForms) {
  struct Case {
    const char* name;
    bool has_timeout;
    LONGLONG value;        // relative (negative) or absolute (positive) 100 ns units
    std::uint64_t set_at;  // when another thread sets the event (0: never)
    NTSTATUS status;
    std::uint64_t ends_at;
  };
  constexpr LONGLONG kEpoch = kDefaultEpoch;
  const Case cases[] = {
      {"null waits until the set", false, 0, 30 * kMs, STATUS_WAIT_0, 30 * kMs},
      {"zero polls", true, 0, 30 * kMs, STATUS_TIMEOUT, 0},
      {"relative times out", true, -50'000, 0, STATUS_TIMEOUT, 5 * kMs},
      {"relative ended by a set", true, -500'000, 30 * kMs, STATUS_WAIT_0, 30 * kMs},
      {"absolute times out", true, kEpoch + 70'000, 0, STATUS_TIMEOUT, 7 * kMs},
      {"absolute in the past", true, kEpoch - 1, 0, STATUS_TIMEOUT, 0},
  };
  for (const Case& c : cases) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    NTSTATUS status = -1;
    std::uint64_t ended = 0;
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      KEVENT event;
      KeInitializeEvent(&event, NotificationEvent, FALSE);
      if (c.set_at != 0) {
        machine.CreateUserThread(
            "setter",
            [&] {
              SleepNs(c.set_at);
              KeSetEvent(&event, 0, FALSE);
            },
            nullptr);
      }
      LARGE_INTEGER timeout{.QuadPart = c.value};
      status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE,
                                     c.has_timeout ? &timeout : nullptr);
      ended = machine.Now();
      SleepNs(40 * kMs);  // let the setter finish
    }));
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(ended, c.ends_at) << c.name;
  }
}

// More than THREAD_WAIT_OBJECTS objects through a caller's wait-block array.
TEST(KeWaits, FourObjectsWithWaitBlocks) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    KEVENT events[4];
    PVOID objects[4];
    for (int i = 0; i < 4; ++i) {
      KeInitializeEvent(&events[i], SynchronizationEvent, FALSE);
      objects[i] = &events[i];
    }
    machine.CreateUserThread(
        "setter",
        [&] {
          SleepNs(kMs);
          KeSetEvent(&events[3], 0, FALSE);
          SleepNs(kMs);
          for (int i = 0; i < 4; ++i) KeSetEvent(&events[i], 0, FALSE);
        },
        nullptr);
    KWAIT_BLOCK blocks[4];
    EXPECT_EQ(KeWaitForMultipleObjects(4, objects, WaitAny, Executive, KernelMode, FALSE, nullptr,
                                       blocks),
              STATUS_WAIT_0 + 3);
    EXPECT_EQ(machine.Now(), kMs);
    EXPECT_EQ(KeWaitForMultipleObjects(4, objects, WaitAll, Executive, KernelMode, FALSE, nullptr,
                                       blocks),
              STATUS_WAIT_0);
    EXPECT_EQ(machine.Now(), 2 * kMs);
    for (auto& event : events) EXPECT_EQ(KeReadStateEvent(&event), 0);
  }));
}

// A WaitAll takes its objects together or not at all: a WaitAny waiter on
// one of them is not starved of it, and the all-waiter wakes only once all
// are signalled at the same time.
TEST(KeWaits, WaitAllIsAtomic) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> order;
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    KEVENT a, b;
    KeInitializeEvent(&a, SynchronizationEvent, FALSE);
    KeInitializeEvent(&b, SynchronizationEvent, FALSE);
    machine.CreateUserThread(
        "all",
        [&] {
          PVOID both[2] = {&a, &b};
          KeWaitForMultipleObjects(2, both, WaitAll, Executive, KernelMode, FALSE, nullptr,
                                   nullptr);
          order.push_back("all");
        },
        nullptr);
    machine.CreateUserThread(
        "any",
        [&] {
          WaitForever(&a);
          order.push_back("any");
        },
        nullptr);
    SleepNs(kMs);
    KeSetEvent(&a, 0, FALSE);  // only "any" can take it
    SleepNs(kMs);
    EXPECT_EQ(order, std::vector<std::string>{"any"});
    KeSetEvent(&b, 0, FALSE);  // a was consumed: "all" still waits, b stays set
    SleepNs(kMs);
    EXPECT_EQ(KeReadStateEvent(&b), 1);
    EXPECT_EQ(order, std::vector<std::string>{"any"});
    KeSetEvent(&a, 0, FALSE);
    SleepNs(kMs);
    EXPECT_EQ(order, (std::vector<std::string>{"any", "all"}));
    EXPECT_EQ(KeReadStateEvent(&a) + KeReadStateEvent(&b), 0);
  }));
}

// Sleeps end at their instant; an absolute sleep is in system time.
TEST(KeWaits, SleepsEndExactly) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::uint64_t> woke;
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    SleepNs(3 * kMs);
    woke.push_back(machine.Now());
    LARGE_INTEGER absolute{.QuadPart = kDefaultEpoch + 100'000};  // 10 ms
    KeDelayExecutionThread(KernelMode, FALSE, &absolute);
    woke.push_back(machine.Now());
    LARGE_INTEGER small = Relative(100);
    KeDelayExecutionThread(KernelMode, FALSE, &small);
    woke.push_back(machine.Now());
  }));
  EXPECT_EQ(woke, (std::vector<std::uint64_t>{3 * kMs, 10 * kMs, 10 * kMs + 100}));
}

}  // namespace
}  // namespace plat::ke
