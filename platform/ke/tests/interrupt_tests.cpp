#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"
#include "platform/ke/tests/test_device.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::SleepNs;
using testing::TestDevice;
using testing::WaitForever;

constexpr ULONG kVector = 0x3B;
constexpr KIRQL kLevel = 16;

// An ISR's view: when it ran, at which level, on which context.
struct IsrLog {
  explicit IsrLog(TestDevice* d, BOOLEAN claims = TRUE, bool clears = true)
      : device(d), claim(claims), clear(clears) {}
  TestDevice* device;
  std::vector<std::string> calls;
  BOOLEAN claim;
  bool clear;
  KDPC* dpc = nullptr;
};

BOOLEAN LoggingIsr(PKINTERRUPT, PVOID context) {
  auto& log = *static_cast<IsrLog*>(context);
  log.calls.push_back(std::to_string(CurrentKernel().Now()) + "@" +
                      std::to_string(KeGetCurrentIrql()) + " on " +
                      KeGetCurrentThread()->context->label());
  if (log.clear) log.device->Clear();
  if (log.dpc != nullptr) KeInsertQueueDpc(log.dpc, nullptr, nullptr);
  return log.claim;
}

// A level line's ISR runs at the instant the device raises it, on the idle
// context when no thread runs; an edge line once per pulse.
TEST(KeInterrupt, IsrRunsAtTheDeviceInstant) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  TestDevice device(machine, kVector, kLevel);
  IsrLog log(&device);
  PKINTERRUPT interrupt = nullptr;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    interrupt = testing::Connect(device, LoggingIsr, &log);
    ASSERT_NE(interrupt, nullptr);
  }));
  device.Start(2 * kMs + 125);
  sim.RunFor(3 * kMs);
  machine.ScheduleAt(4 * kMs, [&] {
    machine.PulseInterruptLine(kVector + 1, kLevel);  // nobody listens on this one: dropped
    machine.PulseInterruptLine(kVector, kLevel);
    machine.PulseInterruptLine(kVector, kLevel);
  });
  log.clear = false;
  sim.RunFor(2 * kMs);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"2000125@16 on idle", "4000000@16 on idle",
                                                 "4000000@16 on idle"}));
  ASSERT_TRUE(sim.RunUserThread(machine, "end", [&] { IoDisconnectInterrupt(interrupt); }));
}

// ISRs sharing a vector run in connection order until one claims the interrupt.
TEST(KeInterrupt, SharedChainStopsAtTheClaimingIsr) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  TestDevice device(machine, kVector, kLevel);
  IsrLog first(&device, FALSE, false), second(&device, TRUE, true), third(&device);
  PKINTERRUPT objects[3] = {};
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    objects[0] = testing::Connect(device, LoggingIsr, &first, TRUE);
    objects[1] = testing::Connect(device, LoggingIsr, &second, TRUE);
    objects[2] = testing::Connect(device, LoggingIsr, &third, TRUE);
    PKINTERRUPT exclusive = nullptr;
    EXPECT_EQ(IoConnectInterrupt(&exclusive, LoggingIsr, &third, nullptr, kVector, kLevel, kLevel,
                                 LevelSensitive, FALSE, 1, FALSE),
              STATUS_INVALID_PARAMETER)
        << "an unshared connection to a vector in use";
  }));
  device.Start(kMs);
  sim.RunFor(2 * kMs);
  EXPECT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(second.calls.size(), 1u);
  EXPECT_TRUE(third.calls.empty());
  ASSERT_TRUE(sim.RunUserThread(machine, "end", [&] {
    for (PKINTERRUPT object : objects) IoDisconnectInterrupt(object);
  }));
}

// A thread's clock read that advances time past the device's instant takes
// the interrupt at that instant; the ISR's DPC runs at the read's switch
// point, before the thread goes on.
TEST(KeInterrupt, ThreadTakesTheInterruptAtItsSwitchPoint) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  TestDevice device(machine, kVector, kLevel);
  std::vector<std::string> order;
  KDPC dpc;
  IsrLog log(&device);
  log.dpc = &dpc;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeInitializeDpc(
        &dpc,
        [](PKDPC, PVOID context, PVOID, PVOID) {
          static_cast<std::vector<std::string>*>(context)->push_back("dpc");
        },
        &order);
    PKINTERRUPT interrupt = testing::Connect(device, LoggingIsr, &log);
    device.Start(machine.Now() + 10'500);
    for (int i = 0; i < 20; ++i) KeQueryInterruptTime();  // a 20 us clock spin
    order.push_back("spin done");
    IoDisconnectInterrupt(interrupt);
  }));
  EXPECT_EQ(log.calls, std::vector<std::string>{"10500@16 on main#1"});
  EXPECT_EQ(order, (std::vector<std::string>{"dpc", "spin done"}));
}

// KeSynchronizeExecution keeps the ISR out until its routine returns.
TEST(KeInterrupt, SynchronizeExecutionKeepsTheIsrOut) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  TestDevice device(machine, kVector, kLevel);
  IsrLog log(&device);
  struct Shared {
    TestDevice* device;
    IsrLog* log;
    std::size_t calls_inside;
    KIRQL level_inside;
  } s{&device, &log, 99, 0};
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    PKINTERRUPT interrupt = testing::Connect(device, LoggingIsr, &log);
    const BOOLEAN result = KeSynchronizeExecution(
        interrupt,
        [](PVOID context) -> BOOLEAN {
          auto& shared = *static_cast<Shared*>(context);
          shared.device->Raise();  // the device interrupts right now
          KeQueryInterruptTime();  // a switch point: still no ISR at the synchronize level
          shared.calls_inside = shared.log->calls.size();
          shared.level_inside = KeGetCurrentIrql();
          return TRUE;
        },
        &s);
    EXPECT_TRUE(result);
    EXPECT_EQ(log.calls.size(), 1u) << "taken once the level dropped";
    IoDisconnectInterrupt(interrupt);
  }));
  EXPECT_EQ(s.calls_inside, 0u);
  EXPECT_EQ(s.level_inside, kLevel);
}

// With the DPC-latency knob a DPC runs only a while after it was queued:
// interrupts every 1 ms meet a DPC already queued (the insert reports
// FALSE), so several interrupts precede one DPC.
TEST(KeDpc, LatencyLetsInterruptsPrecedeOneDpc) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  machine.faults().dpc_latency_ns = 2'500'000;
  TestDevice device(machine, kVector, kLevel);
  std::vector<std::uint64_t> dpc_times;
  KDPC dpc;
  IsrLog log(&device);
  log.dpc = &dpc;
  PKINTERRUPT interrupt = nullptr;
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeInitializeDpc(
        &dpc,
        [](PKDPC, PVOID context, PVOID, PVOID) {
          static_cast<std::vector<std::uint64_t>*>(context)->push_back(CurrentKernel().Now());
        },
        &dpc_times);
    interrupt = testing::Connect(device, LoggingIsr, &log);
  }));
  device.Start(kMs, kMs);
  sim.RunFor(10 * kMs + 1);
  EXPECT_EQ(log.calls.size(), 10u);
  // Queued at 1, 4 and 7 ms (and 10); each runs 2.5 ms later.
  EXPECT_EQ(dpc_times, (std::vector<std::uint64_t>{3'500'000, 6'500'000, 9'500'000}));
  device.Stop();
  sim.RunFor(5 * kMs);
  EXPECT_EQ(dpc_times.size(), 4u);
  ASSERT_TRUE(sim.RunUserThread(machine, "end", [&] { IoDisconnectInterrupt(interrupt); }));
}

// IoConnectInterrupt fails on request with the chosen status.
TEST(KeInterrupt, ConnectFaultKnob) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  TestDevice device(machine, kVector, kLevel);
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    machine.faults().connect_interrupt.FailNth(2);
    machine.faults().connect_interrupt_status = STATUS_INSUFFICIENT_RESOURCES;
    IsrLog log(&device);
    PKINTERRUPT first = testing::Connect(device, LoggingIsr, &log, TRUE);
    PKINTERRUPT failed = reinterpret_cast<PKINTERRUPT>(1);
    EXPECT_EQ(IoConnectInterrupt(&failed, LoggingIsr, &log, nullptr, kVector, kLevel, kLevel,
                                 LevelSensitive, TRUE, 1, FALSE),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(failed, nullptr);
    EXPECT_NE(first, nullptr);
    IoDisconnectInterrupt(first);
  }));
}

// During a stall device events and ISRs above the caller's level run at
// their instants; its threads and DPCs wait for the stall's end; other
// machines run meanwhile. Here: a 0.5 s stall at DISPATCH_LEVEL.
TEST(KeStall, HalfSecondStallAtDispatch) {
  Simulation sim;
  Kernel& machine = sim.AddMachine("A");
  Kernel& other = sim.AddMachine("B");
  TestDevice device(machine, kVector, kLevel);
  std::vector<std::string> order;
  std::vector<std::uint64_t> other_woke;
  KDPC dpc;
  IsrLog log(&device);
  log.dpc = &dpc;
  other.CreateUserThread(
      "ticker",
      [&] {
        for (int i = 0; i < 5; ++i) {
          SleepNs(100 * kMs);
          other_woke.push_back(other.Now());
        }
      },
      nullptr);
  ASSERT_TRUE(sim.RunUserThread(machine, "main", [&] {
    KeInitializeDpc(
        &dpc,
        [](PKDPC, PVOID context, PVOID, PVOID) {
          static_cast<std::vector<std::string>*>(context)->push_back(
              "dpc at " + std::to_string(CurrentKernel().Now() / kMs));
        },
        &order);
    PKINTERRUPT interrupt = testing::Connect(device, LoggingIsr, &log);
    KEVENT wake;
    KeInitializeEvent(&wake, SynchronizationEvent, FALSE);
    testing::StartWaiter(machine, "high", 20, wake, order);
    SleepNs(kMs);
    machine.ScheduleAt(100 * kMs, [&] { order.push_back("device event at 100"); });
    device.Start(200 * kMs);
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    KeSetEvent(&wake, 0, FALSE);
    KeStallExecutionProcessor(500'000);
    order.push_back("stall done at " + std::to_string(machine.Now() / kMs));
    KeReleaseSpinLock(&lock, old);
    IoDisconnectInterrupt(interrupt);
  }));
  EXPECT_EQ(log.calls, std::vector<std::string>{"200000000@16 on main#1"});
  EXPECT_EQ(order, (std::vector<std::string>{"device event at 100", "stall done at 501",
                                             "dpc at 501", "high at 501"}));
  EXPECT_EQ(other_woke,
            (std::vector<std::uint64_t>{100 * kMs, 200 * kMs, 300 * kMs, 400 * kMs, 500 * kMs}));
}

}  // namespace
}  // namespace plat::ke
