#include <gtest/gtest.h>

#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;

// While machine A spins on its clock, machine B's time-outs fire at their
// exact instants: the spin's clock charges let B run meanwhile.
TEST(KeMachines, OtherMachinesRunWhileOneSpins) {
  Simulation sim;
  Kernel& a = sim.AddMachine("A");
  Kernel& b = sim.AddMachine("B");
  std::uint64_t spin_ended = 0;
  std::vector<std::uint64_t> b_woke;
  std::vector<std::uint64_t> a_seen_at_b_wake;
  std::uint64_t a_clock = 0;
  a.CreateUserThread(
      "spinner",
      [&] {
        while ((a_clock = KeQueryInterruptTime() * 100) < 10 * kMs) {
        }
        spin_ended = a.Now();
      },
      nullptr);
  b.CreateUserThread(
      "sleeper",
      [&] {
        for (int i = 0; i < 10; ++i) {
          SleepNs(kMs);
          b_woke.push_back(b.Now());
          a_seen_at_b_wake.push_back(a_clock);
        }
      },
      nullptr);
  ASSERT_TRUE(sim.RunUntil([&] { return spin_ended != 0 && b_woke.size() == 10; }));
  for (std::size_t i = 0; i < b_woke.size(); ++i) {
    EXPECT_EQ(b_woke[i], (i + 1) * kMs);
    // A's last clock read happened just before B's wake: A spun until then.
    EXPECT_EQ(a_seen_at_b_wake[i] + 1'000, b_woke[i]) << i;
  }
  EXPECT_EQ(spin_ended, 10 * kMs);
}

struct Counter {
  int value = 0;
};

// Per-machine state: slots found through CurrentKernel() and pools are the
// running machine's own; code outside any machine uses the default pool.
TEST(KeMachines, SlotsAndPoolsStayApart) {
  Simulation sim;
  Kernel& a = sim.AddMachine("A");
  Kernel& b = sim.AddMachine("B");
  constexpr ULONG kTag = ex::PoolTag("Test");
  auto work = [](int increments, int blocks) {
    return [=] {
      auto& counter = CurrentKernel().slots().Get<Counter>();
      for (int i = 0; i < increments; ++i) ++counter.value;
      for (int i = 0; i < blocks; ++i) ExAllocatePoolWithTag(NonPagedPool, 16, kTag);
    };
  };
  const auto default_blocks = ex::DefaultPool().LiveByTag(kTag).blocks;
  ASSERT_TRUE(sim.RunUserThread(a, "a", work(3, 1)));
  ASSERT_TRUE(sim.RunUserThread(b, "b", work(5, 2)));
  ASSERT_TRUE(sim.RunUserThread(a, "a2", work(1, 0)));
  EXPECT_EQ(a.slots().Get<Counter>().value, 4);
  EXPECT_EQ(b.slots().Get<Counter>().value, 5);
  EXPECT_EQ(a.pool().LiveByTag(kTag).blocks, 1u);
  EXPECT_EQ(b.pool().LiveByTag(kTag).blocks, 2u);
  EXPECT_EQ(ex::DefaultPool().LiveByTag(kTag).blocks, default_blocks);
  EXPECT_EQ(a.pool().name(), "A");

  // Device callbacks run on behalf of their machine too.
  int seen_on_b = 0;
  b.ScheduleAt(sim.Now() + kMs, [&] { seen_on_b = CurrentKernel().slots().Get<Counter>().value; });
  sim.RunFor(2 * kMs);
  EXPECT_EQ(seen_on_b, 5);
}

// Timeline entries of one instant fire in the order they were scheduled,
// across machines; a cancelled entry never fires.
TEST(KeMachines, TimelineOrderAndCancel) {
  Simulation sim;
  Kernel& a = sim.AddMachine("A");
  Kernel& b = sim.AddMachine("B");
  std::vector<std::string> fired;
  b.ScheduleAt(5 * kMs, [&] { fired.push_back("b@5"); });
  a.ScheduleAt(5 * kMs, [&] { fired.push_back("a@5"); });
  const TimelineId dropped = a.ScheduleAt(4 * kMs, [&] { fired.push_back("dropped"); });
  a.ScheduleAt(3 * kMs, [&] { fired.push_back("a@3"); });
  EXPECT_TRUE(a.CancelScheduled(dropped));
  EXPECT_FALSE(a.CancelScheduled(dropped));
  EXPECT_FALSE(sim.RunUntil([] { return false; }, 10 * kMs));
  EXPECT_EQ(fired, (std::vector<std::string>{"a@3", "b@5", "a@5"}));
  EXPECT_EQ(sim.Now(), 10 * kMs);
}

// Destroying a simulation unwinds threads that are blocked, sleeping or never ran.
TEST(KeMachines, DestructionUnwindsRemainingThreads) {
  int unwound = 0;
  struct Count {
    int* n;
    ~Count() { ++*n; }
  };
  {
    Simulation sim;
    Kernel& a = sim.AddMachine("A");
    Kernel& b = sim.AddMachine("B");
    a.CreateUserThread(
        "blocked",
        [&] {
          Count c{&unwound};
          KEVENT never;
          KeInitializeEvent(&never, NotificationEvent, FALSE);
          testing::WaitForever(&never);
        },
        nullptr);
    b.CreateUserThread(
        "sleeping",
        [&] {
          Count c{&unwound};
          SleepNs(1'000'000 * kMs);
        },
        nullptr);
    sim.RunFor(kMs);
    b.CreateUserThread(
        "never ran", [&] { ++unwound; }, nullptr);
  }
  EXPECT_EQ(unwound, 2);
}

}  // namespace
}  // namespace plat::ke
