#include <gtest/gtest.h>

#include <chrono>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;

TEST(KeClock, DefaultEpochIsTheFirstOf2004) {
  using namespace std::chrono;
  const auto days = sys_days{year{2004} / January / 1} - sys_days{year{1601} / January / 1};
  using Units = duration<LONGLONG, std::ratio<1, 10'000'000>>;  // 100 ns
  EXPECT_EQ(kDefaultEpoch, duration_cast<Units>(days).count());
}

// System time is the epoch plus virtual time; each read costs the clock charge.
TEST(KeClock, SystemTimeFollowsVirtualTimeFromTheEpoch) {
  struct Case {
    LONGLONG epoch;
    std::uint64_t charge_ns;
  };
  for (const Case c : {Case{kDefaultEpoch, 1'000}, Case{125'000'000'000'000'000, 5'000}}) {
    Simulation sim;
    KernelConfig config;
    config.epoch = c.epoch;
    config.clock_charge_ns = c.charge_ns;
    Kernel& machine = sim.AddMachine("A", config);
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      LARGE_INTEGER first, second;
      KeQuerySystemTime(&first);
      EXPECT_EQ(first.QuadPart, c.epoch + static_cast<LONGLONG>(c.charge_ns / 100));
      SleepNs(7 * kMs);
      KeQuerySystemTime(&second);
      EXPECT_EQ(second.QuadPart - first.QuadPart,
                static_cast<LONGLONG>((7 * kMs + c.charge_ns) / 100));
    }));
  }
}

// With the tick offset just below 2^32 the 64-bit tick count carries into
// its high part; the tick count, interrupt time and increment agree.
TEST(KeClock, TickCountAcrossTwoToThe32) {
  for (const ULONG increment : {100'000u, 156'250u}) {
    Simulation sim;
    KernelConfig config;
    config.time_increment = increment;
    config.tick_offset = (1ull << 32) - 2;
    Kernel& machine = sim.AddMachine("A", config);
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      EXPECT_EQ(KeQueryTimeIncrement(), increment);
      LARGE_INTEGER ticks;
      KeQueryTickCount(&ticks);
      EXPECT_EQ(ticks.u.HighPart, 0);
      EXPECT_EQ(ticks.u.LowPart, 0xFFFFFFFEu);
      SleepNs(2 * increment * 100ull);
      KeQueryTickCount(&ticks);
      EXPECT_EQ(ticks.u.HighPart, 1);
      EXPECT_EQ(ticks.u.LowPart, 0u);
      const ULONGLONG interrupt_time = KeQueryInterruptTime();
      EXPECT_EQ(interrupt_time / increment, static_cast<ULONGLONG>(ticks.QuadPart));
      // A millisecond clock from the tick count needs the 64-bit product.
      const ULONGLONG ms = static_cast<ULONGLONG>(ticks.QuadPart) * increment / 10'000;
      EXPECT_EQ(ms, ((1ull << 32) * increment) / 10'000);
    }));
  }
}

// A loop that spins on a clock until 20 ms have passed ends, after exactly
// 20 ms / charge reads, with the performance counter at 10 MHz agreeing.
TEST(KeClock, ClockSpinLoopEnds) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "spinner", [&] {
    LARGE_INTEGER frequency;
    const LONGLONG counter_start = KeQueryPerformanceCounter(&frequency).QuadPart;
    EXPECT_EQ(frequency.QuadPart, 10'000'000);
    LARGE_INTEGER start, now;
    KeQuerySystemTime(&start);
    int reads = 0;
    do {
      KeQuerySystemTime(&now);
      ++reads;
    } while (now.QuadPart - start.QuadPart < 200'000);
    EXPECT_EQ(reads, 20'000);
    EXPECT_EQ(KeQueryPerformanceCounter(nullptr).QuadPart - counter_start, 200'020);
  }));
  EXPECT_EQ(sim.Now(), 20 * kMs + 3'000);
}

}  // namespace
}  // namespace plat::ke
