#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ex/expool.h"
#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"
#include "platform/ke/tests/test_device.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;
using testing::WaitForever;

// What a test DPC saw when it ran.
struct DpcRun {
  std::string name;
  std::uint64_t time;
  KIRQL level;
  std::string context;
  ULONG_PTR argument;
};

struct Recorder {
  std::vector<DpcRun> runs;
  KDPC dpcs[3];
  const char* names[3] = {"d0", "d1", "d2"};

  static void Routine(PKDPC dpc, PVOID context, PVOID argument1, PVOID) {
    auto& self = *static_cast<Recorder*>(context);
    const auto index = static_cast<std::size_t>(dpc - self.dpcs);
    PKTHREAD thread = KeGetCurrentThread();
    self.runs.push_back({self.names[index], CurrentKernel().Now(), KeGetCurrentIrql(),
                         thread->context != nullptr ? thread->context->label() : "?",
                         reinterpret_cast<ULONG_PTR>(argument1)});
  }
  void Initialize() {
    for (KDPC& dpc : dpcs) KeInitializeDpc(&dpc, Routine, this);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const DpcRun& run : runs) names.push_back(run.name);
    return names;
  }
};

// A DPC queues once; queued DPCs run in FIFO order when the level drops
// below DISPATCH_LEVEL, on the running thread, at DISPATCH_LEVEL; a removed
// DPC does not run.
TEST(KeDpc, QueuedOnceFifoAndRemoved) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  Recorder recorder;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    recorder.Initialize();
    const KIRQL old = KeRaiseIrqlToDpcLevel();
    EXPECT_TRUE(KeInsertQueueDpc(&recorder.dpcs[1], reinterpret_cast<PVOID>(11), nullptr));
    EXPECT_FALSE(KeInsertQueueDpc(&recorder.dpcs[1], reinterpret_cast<PVOID>(99), nullptr));
    EXPECT_TRUE(KeInsertQueueDpc(&recorder.dpcs[0], nullptr, nullptr));
    EXPECT_TRUE(KeInsertQueueDpc(&recorder.dpcs[2], nullptr, nullptr));
    EXPECT_TRUE(KeRemoveQueueDpc(&recorder.dpcs[2]));
    EXPECT_FALSE(KeRemoveQueueDpc(&recorder.dpcs[2]));
    EXPECT_TRUE(recorder.runs.empty()) << "nothing runs at DISPATCH_LEVEL";
    KeLowerIrql(old);
    EXPECT_EQ(recorder.Names(), (std::vector<std::string>{"d1", "d0"}));
    // Queued below DISPATCH_LEVEL, a DPC runs before the insert returns.
    KeInsertQueueDpc(&recorder.dpcs[2], nullptr, nullptr);
    EXPECT_EQ(recorder.runs.size(), 3u);
  }));
  ASSERT_EQ(recorder.runs.size(), 3u);
  EXPECT_EQ(recorder.runs[0].argument, 11u) << "the first insert's arguments";
  for (const DpcRun& run : recorder.runs) {
    EXPECT_EQ(run.level, DISPATCH_LEVEL);
    EXPECT_EQ(run.context, "main#1") << "borrowed the running thread";
  }
}

// With no thread on the CPU a DPC runs on the idle context at once; the
// thread it readies runs right after it.
TEST(KeDpc, IdleRunsDpcsAndTheThreadsTheyReady) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  struct Shared {
    std::vector<std::string> order;
    KEVENT wake;
    KDPC dpc;
  } s;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeInitializeEvent(&s.wake, SynchronizationEvent, FALSE);
    KeInitializeDpc(
        &s.dpc,
        [](PKDPC, PVOID context, PVOID, PVOID) {
          auto& shared = *static_cast<Shared*>(context);
          shared.order.push_back("dpc on " + KeGetCurrentThread()->context->label() + " at " +
                                 std::to_string(CurrentKernel().Now()));
          KeSetEvent(&shared.wake, 0, FALSE);
          shared.order.push_back("dpc after set");
        },
        &s);
    machine.ScheduleAt(5 * kMs, [&] { KeInsertQueueDpc(&s.dpc, nullptr, nullptr); });
    WaitForever(&s.wake);
    s.order.push_back("main woke at " + std::to_string(machine.Now()));
  }));
  EXPECT_EQ(s.order, (std::vector<std::string>{"dpc on idle at 5000000", "dpc after set",
                                               "main woke at 5000000"}));
}

// Timer expiries: one-shot relative and absolute, periodic on its exact
// grid, and the state a waiter sees.
TEST(KeTimer, ExpiriesFallOnTheirInstants) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KTIMER timer;
    KeInitializeTimer(&timer);
    EXPECT_FALSE(KeReadStateTimer(&timer));
    LARGE_INTEGER due{.QuadPart = -30'000};  // 3 ms
    EXPECT_FALSE(KeSetTimer(&timer, due, nullptr));
    EXPECT_EQ(WaitForever(&timer), STATUS_WAIT_0);
    EXPECT_EQ(machine.Now(), 3 * kMs);
    EXPECT_TRUE(KeReadStateTimer(&timer)) << "a notification timer stays signalled";
    EXPECT_FALSE(KeCancelTimer(&timer)) << "an expired one-shot timer is no longer queued";

    LARGE_INTEGER absolute{.QuadPart = kDefaultEpoch + 200'000};  // 20 ms
    KeSetTimer(&timer, absolute, nullptr);
    EXPECT_FALSE(KeReadStateTimer(&timer)) << "setting a timer resets it";
    WaitForever(&timer);
    EXPECT_EQ(machine.Now(), 20 * kMs);
  }));
}

// A periodic timer with a DPC over one virtual hour: expiry k falls at
// due + k x period exactly, with no drift.
TEST(KeTimer, PeriodicExactOverAnHour) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  struct Shared {
    KTIMER timer;
    KDPC dpc;
    std::uint64_t count = 0;
    std::uint64_t off_grid = 0;
    std::uint64_t last = 0;
  } s;
  constexpr std::uint64_t kDue = 7 * kMs + 300;  // 7.0003 ms, not a multiple of the period
  constexpr LONG kPeriodMs = 1'234;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeInitializeTimerEx(&s.timer, SynchronizationTimer);
    KeInitializeDpc(
        &s.dpc,
        [](PKDPC, PVOID context, PVOID, PVOID) {
          auto& shared = *static_cast<Shared*>(context);
          const std::uint64_t now = CurrentKernel().Now();
          if (now != kDue + shared.count * kPeriodMs * kMs) ++shared.off_grid;
          ++shared.count;
          shared.last = now;
        },
        &s);
    LARGE_INTEGER due{.QuadPart = -static_cast<LONGLONG>(kDue / 100)};
    KeSetTimerEx(&s.timer, due, kPeriodMs, &s.dpc);
  }));
  sim.RunFor(3'600'000 * kMs);
  EXPECT_EQ(s.count, (3'600'000 * kMs - kDue) / (kPeriodMs * kMs) + 1);
  EXPECT_EQ(s.off_grid, 0u);
  EXPECT_EQ(s.last, kDue + (s.count - 1) * kPeriodMs * kMs);
  ASSERT_TRUE(sim.RunUserThread(machine, "stop", [&] { EXPECT_TRUE(KeCancelTimer(&s.timer)); }));
}

// Setting a queued timer reports TRUE and replaces the old setting;
// a synchronization timer releases one waiter, a notification timer all.
TEST(KeTimer, ResetCancelAndWaiters) {
  struct Case {
    TIMER_TYPE type;
    std::size_t woken;
  };
  for (const Case c : {Case{NotificationTimer, 3}, Case{SynchronizationTimer, 1}}) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    std::vector<std::uint64_t> woken;
    ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
      KTIMER timer;
      KeInitializeTimerEx(&timer, c.type);
      for (int i = 0; i < 3; ++i) {
        machine.CreateUserThread(
            "waiter",
            [&] {
              WaitForever(&timer);
              woken.push_back(machine.Now());
            },
            nullptr);
      }
      LARGE_INTEGER first{.QuadPart = -10'000}, second{.QuadPart = -50'000};
      EXPECT_FALSE(KeSetTimer(&timer, first, nullptr));
      EXPECT_TRUE(KeSetTimer(&timer, second, nullptr)) << "it was queued";
      SleepNs(10 * kMs);
      EXPECT_EQ(woken.size(), c.woken);
      EXPECT_EQ(KeReadStateTimer(&timer), c.type == NotificationTimer);
      // Release the rest so the machine ends clean.
      for (std::size_t i = woken.size(); i < 3; ++i) {
        KeSetTimer(&timer, first, nullptr);
        SleepNs(2 * kMs);
      }
      KeSetTimer(&timer, first, nullptr);
      EXPECT_TRUE(KeCancelTimer(&timer));
      EXPECT_FALSE(KeCancelTimer(&timer));
    }));
    ASSERT_GE(woken.size(), c.woken);
    for (std::size_t i = 0; i < c.woken; ++i)
      EXPECT_EQ(woken[i], 5 * kMs) << "only the second setting fires";
  }
}

// The lateness knobs: every expiry late by a fixed delay, or one expiry of
// one timer late, which gives a periodic timer's user the 35 ms and 45 ms
// gaps between events; overtaken expiries are dropped.
TEST(KeTimer, LatenessKnobs) {
  struct Case {
    const char* name;
    std::uint64_t all_late;
    std::uint64_t late_expiry;
    std::uint64_t delay;
    std::vector<std::uint64_t> gaps_ms;
  };
  const Case cases[] = {
      {"all late", 3 * kMs, 0, 0, {10, 10, 10, 10, 10}},
      {"third expiry 25 ms late", 0, 3, 25 * kMs, {10, 35, 5, 10, 10}},
      {"third expiry 35 ms late", 0, 3, 35 * kMs, {10, 45, 5, 10, 10}},
  };
  for (const Case& c : cases) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    std::vector<std::uint64_t> times;
    machine.faults().timer_lateness_ns = c.all_late;
    ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
      KTIMER timer;
      KeInitializeTimerEx(&timer, SynchronizationTimer);
      if (c.late_expiry != 0)
        machine.faults().late_expiries.push_back({&timer, c.late_expiry, c.delay});
      LARGE_INTEGER due{.QuadPart = -100'000};
      KeSetTimerEx(&timer, due, 10, nullptr);
      while (times.size() < 6) {
        WaitForever(&timer);
        times.push_back(machine.Now());
      }
      KeCancelTimer(&timer);
    }));
    EXPECT_EQ(times.front(), 10 * kMs + c.all_late) << c.name;
    std::vector<std::uint64_t> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back((times[i] - times[i - 1]) / kMs);
    EXPECT_EQ(gaps, c.gaps_ms) << c.name;
  }
}

}  // namespace
}  // namespace plat::ke
