#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "platform/ex/expool.h"
#include "platform/ke/kernel.h"
#include "platform/ke/runmode.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"
#include "platform/ke/tests/test_device.h"

namespace plat::ke {
namespace {

using testing::kMs;
using testing::OnMachine;
using testing::SleepNs;

// Runs `routine` as a DPC queued from a thread (so at DISPATCH_LEVEL on it).
void InDpc(PKDEFERRED_ROUTINE routine) {
  OnMachine([routine](Kernel&) {
    KDPC dpc;
    KeInitializeDpc(&dpc, routine, nullptr);
    KeInsertQueueDpc(&dpc, nullptr, nullptr);
  });
}

KSPIN_LOCK held_lock;

struct DeathCase {
  const char* rule;
  std::function<void()> scenario;
  const char* pattern;
};

TEST(KeIrqlDiagnostics, EachRuleIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const DeathCase cases[] = {
      {"timed wait at DISPATCH_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KEVENT event;
           KeInitializeEvent(&event, NotificationEvent, FALSE);
           KeRaiseIrqlToDpcLevel();
           testing::WaitNs(&event, kMs);
         });
       },
       "FATAL \\[irql.wait-at-dispatch\\]: a wait with a time-out other than zero at IRQL 2"},
      {"sleep at DISPATCH_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KeRaiseIrqlToDpcLevel();
           SleepNs(kMs);
         });
       },
       "FATAL \\[irql.wait-at-dispatch\\]: a sleep at IRQL 2"},
      {"raise to a lower level",
       [] {
         OnMachine([](Kernel&) {
           KIRQL old;
           KeRaiseIrql(5, &old);
           KeRaiseIrql(DISPATCH_LEVEL, &old);
         });
       },
       "FATAL \\[irql.raise-to-lower\\]: KeRaiseIrql to IRQL 2 from the higher IRQL 5"},
      {"lower to a higher level", [] { OnMachine([](Kernel&) { KeLowerIrql(APC_LEVEL); }); },
       "FATAL \\[irql.lower-to-higher\\]"},
      {"acquire a held spin lock",
       [] {
         OnMachine([](Kernel&) {
           KIRQL old;
           KeInitializeSpinLock(&held_lock);
           KeAcquireSpinLock(&held_lock, &old);
           KeAcquireSpinLockAtDpcLevel(&held_lock);
         });
       },
       "FATAL \\[irql.spin-lock-deadlock\\]: acquiring a spin lock this context already holds"},
      {"release a lock not owned",
       [] {
         OnMachine([](Kernel&) {
           KSPIN_LOCK lock;
           KeInitializeSpinLock(&lock);
           KeReleaseSpinLock(&lock, PASSIVE_LEVEL);
         });
       },
       "FATAL \\[irql.spin-lock-not-owned\\]: releasing a spin lock that is not held"},
      {"wait holding a spin lock",
       [] {
         OnMachine([](Kernel&) {
           KSPIN_LOCK lock;
           KIRQL old;
           KeInitializeSpinLock(&lock);
           KeAcquireSpinLock(&lock, &old);
           SleepNs(kMs);
         });
       },
       "FATAL \\[irql.holding-spin-lock\\]: a sleep while holding 1 spin lock"},
      {"thread ends holding a spin lock",
       [] {
         OnMachine([](Kernel& machine) {
           PKTHREAD thread;
           machine.CreateSystemThread(
               "holder",
               [](PVOID) {
                 KIRQL old;
                 KeInitializeSpinLock(&held_lock);
                 KeAcquireSpinLock(&held_lock, &old);
               },
               nullptr, &thread);
           testing::WaitForever(thread);
         });
       },
       "FATAL \\[irql.holding-spin-lock\\]: ending a thread while holding 1"},
      {"DPC returns at another level",
       [] {
         InDpc([](PKDPC, PVOID, PVOID, PVOID) {
           KIRQL old;
           KeRaiseIrql(7, &old);
         });
       },
       "FATAL \\[irql.level-changed\\]: a DPC returned at IRQL 7"},
      {"DPC returns holding a spin lock",
       [] {
         InDpc([](PKDPC, PVOID, PVOID, PVOID) {
           KeInitializeSpinLock(&held_lock);
           KeAcquireSpinLockAtDpcLevel(&held_lock);
         });
       },
       "FATAL \\[irql.holding-spin-lock\\]: returning from a DPC"},
      {"system thread ended from a DPC that borrowed it",
       [] {
         OnMachine([](Kernel& machine) {
           PKTHREAD thread;
           machine.CreateSystemThread(
               "victim",
               [](PVOID) {
                 KDPC dpc;
                 KeInitializeDpc(
                     &dpc, [](PKDPC, PVOID, PVOID, PVOID) { PsTerminateSystemThread(0); }, nullptr);
                 KeInsertQueueDpc(&dpc, nullptr, nullptr);
               },
               nullptr, &thread);
           testing::WaitForever(thread);
         });
       },
       "FATAL \\[ke.terminate-other-thread\\]: .* inside a DPC or ISR that borrowed it"},
      {"ISR returns at another level",
       [] {
         OnMachine([](Kernel& machine) {
           testing::TestDevice device(machine, 0x33, 20);
           testing::Connect(
               device,
               [](PKINTERRUPT, PVOID) -> BOOLEAN {
                 KIRQL old;
                 KeRaiseIrql(25, &old);
                 return TRUE;
               },
               nullptr);
           device.Raise();
           KeQueryInterruptTime();
         });
       },
       "FATAL \\[irql.level-changed\\]: an ISR returned at IRQL 25, not 20"},
      {"paged pool at DISPATCH_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KeRaiseIrqlToDpcLevel();
           ExAllocatePoolWithTag(PagedPool, 16, ex::PoolTag("Ddk "));
         });
       },
       "FATAL \\[irql.paged-pool\\]: paged pool used at IRQL 2"},
      {"non-paged pool above DISPATCH_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KIRQL old;
           KeRaiseIrql(9, &old);
           ExAllocatePoolWithTag(NonPagedPool, 16, ex::PoolTag("Ddk "));
         });
       },
       "FATAL \\[irql.pool-above-dispatch\\]"},
      {"uninitialised timer",
       [] {
         OnMachine([](Kernel&) {
           KTIMER timer;
           std::memset(&timer, 0, sizeof timer);
           LARGE_INTEGER due{.QuadPart = -1};
           KeSetTimer(&timer, due, nullptr);
         });
       },
       "FATAL \\[ke.uninitialised-object\\]: KeSetTimerEx"},
      {"uninitialised DPC",
       [] {
         OnMachine([](Kernel&) {
           KDPC dpc;
           std::memset(&dpc, 0, sizeof dpc);
           KeInsertQueueDpc(&dpc, nullptr, nullptr);
         });
       },
       "FATAL \\[ke.uninitialised-dpc\\]"},
      {"pool freed holding a queued timer",
       [] {
         OnMachine([](Kernel&) {
           auto* timer = static_cast<KTIMER*>(
               ExAllocatePoolWithTag(NonPagedPool, sizeof(KTIMER), ex::PoolTag("Ddk ")));
           KeInitializeTimer(timer);
           LARGE_INTEGER due{.QuadPart = -10'000};
           KeSetTimer(timer, due, nullptr);
           ExFreePool(timer);
         });
       },
       "FATAL \\[ke.free-queued-timer\\]"},
      {"pool freed holding a queued DPC",
       [] {
         OnMachine([](Kernel&) {
           auto* dpc = static_cast<KDPC*>(
               ExAllocatePoolWithTag(NonPagedPool, sizeof(KDPC), ex::PoolTag("Ddk ")));
           KeInitializeDpc(
               dpc, [](PKDPC, PVOID, PVOID, PVOID) {}, nullptr);
           const KIRQL old = KeRaiseIrqlToDpcLevel();
           KeInsertQueueDpc(dpc, nullptr, nullptr);
           ExFreePool(dpc);
           KeLowerIrql(old);
         });
       },
       "FATAL \\[ke.free-queued-dpc\\]"},
      {"timer queued at shutdown",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         static KTIMER timer;
         sim.RunUserThread(machine, "t", [] {
           KeInitializeTimer(&timer);
           LARGE_INTEGER due{.QuadPart = -10'000'000};
           KeSetTimer(&timer, due, nullptr);
         });
         machine.Shutdown();
       },
       "FATAL \\[ke.timer-queued-at-shutdown\\]"},
      {"DPC queued at shutdown",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         machine.faults().dpc_latency_ns = 1'000 * kMs;
         static KDPC dpc;
         sim.RunUserThread(machine, "t", [] {
           KeInitializeDpc(
               &dpc, [](PKDPC, PVOID, PVOID, PVOID) {}, nullptr);
           KeInsertQueueDpc(&dpc, nullptr, nullptr);
         });
         machine.Shutdown();
       },
       "FATAL \\[ke.dpc-queued-at-shutdown\\]"},
      {"interrupt storm",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         testing::TestDevice device(machine, 0x3B, 16);
         sim.RunUserThread(machine, "t", [&] {
           testing::Connect(
               device, [](PKINTERRUPT, PVOID) -> BOOLEAN { return FALSE; }, nullptr);
         });
         device.Start(kMs);
         sim.RunFor(2 * kMs);
       },
       "FATAL \\[irql.interrupt-storm\\]: level line of vector 59 stayed asserted after every ISR "
       "returned FALSE, 1000 times running"},
      {"inject from a host thread in virtual mode",
       [] {
         Simulation sim;
         Kernel& machine = sim.AddMachine("M");
         std::thread([&] { sim.Inject(machine, [] {}); }).join();
       },
       "FATAL \\[ke.inject-virtual\\]"},
      {"external call in virtual mode", [] { OnMachine([](Kernel&) { ExternalCall([] {}); }); },
       "FATAL \\[ke.external-call-virtual\\]"},
      {"nested _disable",
       [] {
         OnMachine([](Kernel&) {
           _disable();
           _disable();
         });
       },
       "FATAL \\[irql.nested-disable\\]"},
      {"PASSIVE-only service at APC_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KIRQL old;
           KeRaiseIrql(APC_LEVEL, &old);
           RequirePassiveLevel("ZwOpenKey");
         });
       },
       "FATAL \\[irql.not-passive\\]: ZwOpenKey called at IRQL 1"},
      {"floating-point save above DISPATCH_LEVEL",
       [] {
         OnMachine([](Kernel&) {
           KIRQL old;
           KeRaiseIrql(5, &old);
           KFLOATING_SAVE save;
           KeSaveFloatingPointState(&save);
         });
       },
       "FATAL \\[irql.float-save-above-dispatch\\]"},
  };
  for (const DeathCase& c : cases) {
    EXPECT_DEATH(c.scenario(), c.pattern) << c.rule;
  }
}

}  // namespace
}  // namespace plat::ke
