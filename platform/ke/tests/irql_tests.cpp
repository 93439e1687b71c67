#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ke/interlocked.h"
#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;

// Raise and lower sequences: each step's old level and the level after.
TEST(KeIrql, RaiseLowerTable) {
  enum class Op { Raise, Lower, RaiseToDpc, Disable, Enable };
  struct Step {
    Op op;
    KIRQL level;
    KIRQL old;  // what a raise reports
    KIRQL after;
  };
  const std::vector<std::vector<Step>> sequences = {
      {{Op::Raise, APC_LEVEL, 0, 1},
       {Op::Raise, DISPATCH_LEVEL, 1, 2},
       {Op::Lower, APC_LEVEL, 0, 1},
       {Op::Lower, PASSIVE_LEVEL, 0, 0}},
      {{Op::RaiseToDpc, 0, 0, 2},
       {Op::Raise, 12, 2, 12},
       {Op::Raise, 12, 12, 12},
       {Op::Lower, 2, 0, 2},
       {Op::Lower, 0, 0, 0}},
      {{Op::Raise, 5, 0, 5},
       {Op::Disable, 0, 0, HIGH_LEVEL},
       {Op::Enable, 0, 0, 5},
       {Op::Lower, 0, 0, 0}},
  };
  for (const auto& sequence : sequences) {
    Simulation sim;
    Kernel& machine = sim.AddMachine("A");
    ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
      EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
      for (std::size_t i = 0; i < sequence.size(); ++i) {
        const Step& step = sequence[i];
        KIRQL old = 99;
        switch (step.op) {
          case Op::Raise:
            KeRaiseIrql(step.level, &old);
            break;
          case Op::Lower:
            KeLowerIrql(step.level);
            break;
          case Op::RaiseToDpc:
            old = KeRaiseIrqlToDpcLevel();
            break;
          case Op::Disable:
            _disable();
            break;
          case Op::Enable:
            _enable();
            break;
        }
        if (step.op == Op::Raise || step.op == Op::RaiseToDpc) {
          EXPECT_EQ(old, step.old) << i;
        }
        EXPECT_EQ(KeGetCurrentIrql(), step.after) << i;
      }
    }));
  }
}

// At DISPATCH_LEVEL nothing pre-empts the running code; lowering lets the
// higher-priority thread it readied run at once.
TEST(KeIrql, NoPreemptionAtDispatch) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  std::vector<std::string> order;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KEVENT wake;
    KeInitializeEvent(&wake, SynchronizationEvent, FALSE);
    testing::StartWaiter(machine, "high", 20, wake, order);
    SleepNs(kMs);
    const KIRQL old = KeRaiseIrqlToDpcLevel();
    KeSetEvent(&wake, 0, FALSE);
    LARGE_INTEGER time;
    KeQuerySystemTime(&time);  // a switch point, but at DISPATCH_LEVEL
    order.push_back("still main");
    KeLowerIrql(old);
    order.push_back("main after lowering");
  }));
  EXPECT_EQ(order, (std::vector<std::string>{"still main", "high at 1", "main after lowering"}));
}

// A spin lock raises to DISPATCH_LEVEL and holds its owner while taken; the
// DPC-level pair leaves the level alone.
TEST(KeSpinLock, AcquireReleaseAndLevels) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    KSPIN_LOCK a, b;
    KeInitializeSpinLock(&a);
    KeInitializeSpinLock(&b);
    EXPECT_EQ(a, 0u);
    KIRQL old;
    KeAcquireSpinLock(&a, &old);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_NE(a, 0u);
    KeAcquireSpinLockAtDpcLevel(&b);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeReleaseSpinLockFromDpcLevel(&b);
    EXPECT_EQ(b, 0u);
    KeReleaseSpinLock(&a, old);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    // Taken again at APC_LEVEL, it gives that level back.
    KIRQL apc;
    KeRaiseIrql(APC_LEVEL, &apc);
    KeAcquireSpinLock(&a, &old);
    EXPECT_EQ(old, APC_LEVEL);
    KeReleaseSpinLock(&a, old);
    EXPECT_EQ(KeGetCurrentIrql(), APC_LEVEL);
    KeLowerIrql(apc);
  }));
}

// Interlocked operations return what the kernel's do, on every width.
TEST(KeSpinLock, InterlockedTable) {
  volatile LONG value = 5;
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&value, 10), 5);
  EXPECT_EQ(InterlockedExchange(&value, -1), 15);
  EXPECT_EQ(InterlockedCompareExchange(&value, 7, 3), -1) << "no match: unchanged";
  EXPECT_EQ(value, -1);
  EXPECT_EQ(InterlockedCompareExchange(&value, 7, -1), -1);
  EXPECT_EQ(value, 7);

  volatile CHAR guard = 1;  // a one-byte guard: 1 free, taken by exchanging 0 in
  EXPECT_EQ(InterlockedExchange8(&guard, 0), 1);
  EXPECT_EQ(InterlockedExchange8(&guard, 0), 0) << "already taken";
  EXPECT_EQ(InterlockedCompareExchange8(&guard, 1, 0), 0);
  EXPECT_EQ(guard, 1);
  volatile CHAR wrap = 127;
  EXPECT_EQ(InterlockedIncrement8(&wrap), -128);
  EXPECT_EQ(InterlockedDecrement8(&wrap), 127);
  EXPECT_EQ(InterlockedExchangeAdd8(&wrap, 1), 127);

  int x = 0, y = 0;
  PVOID volatile pointer = &x;
  EXPECT_EQ(InterlockedExchangePointer(&pointer, &y), &x);
  EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &x, &x), &y) << "no match";
  EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &x, &y), &y);
  EXPECT_EQ(pointer, &x);
  volatile LONG_PTR count = 0;
  EXPECT_EQ(InterlockedIncrementPtr(&count), 1);
  EXPECT_EQ(InterlockedExchangeAddPtr(&count, 41), 1);
  EXPECT_EQ(InterlockedDecrementPtr(&count), 41);
}

}  // namespace
}  // namespace plat::ke
