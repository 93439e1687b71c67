// Kernel core costs in host time: passing the CPU between contexts, an
// event round trip between two threads, and a timed wait through the
// timeline. Each benchmark iteration is one batch run by the simulation.
#include <benchmark/benchmark.h>

#include <chrono>

#include "platform/ke/dpc.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/kernel.h"
#include "platform/ke/simulation.h"

namespace {

constexpr int kBatch = 1000;

void Yield() {
  LARGE_INTEGER zero{.QuadPart = 0};
  KeDelayExecutionThread(KernelMode, FALSE, &zero);
}

// Lets the run loop look at its predicate: the machine goes idle for 1 ns.
void Breathe() {
  LARGE_INTEGER tick{.QuadPart = -1};
  KeDelayExecutionThread(KernelMode, FALSE, &tick);
}

// ns per switch: two threads of one priority yield to each other. Only
// yields after which the other thread ran count: after Breathe() one thread
// sleeps and the other yields alone, which switches nothing.
void BM_KeContextSwitch(benchmark::State& state) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("A");
  long switches = 0;
  int last_runner = -1;
  for (int t = 0; t < 2; ++t) {
    machine.CreateUserThread(
        "yielder",
        [&, t] {
          for (;;) {
            for (int i = 0; i < kBatch / 2; ++i) {
              if (last_runner != t && last_runner != -1) ++switches;
              last_runner = t;
              Yield();
            }
            Breathe();
          }
        },
        nullptr);
  }
  long target = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    target += kBatch;
    sim.RunUntil([&] { return switches >= target; });
  }
  const auto spent = std::chrono::steady_clock::now() - start;
  state.SetItemsProcessed(switches);
  state.counters["ns_per_switch"] =
      static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count()) /
      static_cast<double>(switches);
}
BENCHMARK(BM_KeContextSwitch)->UseRealTime();

// Set -> the waiter runs -> it sets back -> the first resumes.
void BM_KeEventRoundTrip(benchmark::State& state) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("A");
  long rounds = 0;
  KEVENT ping, pong;
  bool ready = false;
  machine.CreateUserThread(
      "first",
      [&] {
        KeInitializeEvent(&ping, SynchronizationEvent, FALSE);
        KeInitializeEvent(&pong, SynchronizationEvent, FALSE);
        ready = true;
        machine.CreateUserThread(
            "second",
            [&] {
              for (;;) {
                KeWaitForSingleObject(&ping, Executive, KernelMode, FALSE, nullptr);
                KeSetEvent(&pong, 0, FALSE);
              }
            },
            nullptr);
        for (;;) {
          for (int i = 0; i < kBatch; ++i) {
            KeSetEvent(&ping, 0, FALSE);
            KeWaitForSingleObject(&pong, Executive, KernelMode, FALSE, nullptr);
            ++rounds;
          }
          Breathe();
        }
      },
      nullptr);
  long target = 0;
  for (auto _ : state) {
    target += kBatch;
    sim.RunUntil([&] { return ready && rounds >= target; });
  }
  state.SetItemsProcessed(rounds);
}
BENCHMARK(BM_KeEventRoundTrip)->UseRealTime();

// A wait with a 1 ms time-out that expires through the timeline.
void BM_KeTimedWait(benchmark::State& state) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("A");
  long waits = 0;
  machine.CreateUserThread(
      "waiter",
      [&] {
        KEVENT never;
        KeInitializeEvent(&never, NotificationEvent, FALSE);
        LARGE_INTEGER one_ms{.QuadPart = -10'000};
        for (;;) {
          KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &one_ms);
          ++waits;
        }
      },
      nullptr);
  long target = 0;
  for (auto _ : state) {
    target += kBatch;
    sim.RunUntil([&] { return waits >= target; });
  }
  state.SetItemsProcessed(waits);
}
BENCHMARK(BM_KeTimedWait)->UseRealTime();

// A 10 ms periodic timer whose DPC sets an event that wakes a thread, as a
// controller's timing thread runs; optionally with a 100 Hz device interrupt
// whose ISR clears the line and queues a DPC.
struct IdleMachine {
  explicit IdleMachine(plat::ke::Kernel& m, bool with_device) : machine(m) {
    machine.CreateUserThread(
        "timing",
        [this, with_device] {
          KeInitializeEvent(&tick, SynchronizationEvent, FALSE);
          KeInitializeDpc(
              &timer_dpc,
              [](PKDPC, PVOID context, PVOID, PVOID) {
                KeSetEvent(&static_cast<IdleMachine*>(context)->tick, 0, FALSE);
              },
              this);
          KeInitializeDpc(
              &device_dpc,
              [](PKDPC, PVOID context, PVOID, PVOID) {
                ++static_cast<IdleMachine*>(context)->blocks;
              },
              this);
          if (with_device) {
            IoConnectInterrupt(
                &interrupt,
                [](PKINTERRUPT, PVOID context) -> BOOLEAN {
                  auto& self = *static_cast<IdleMachine*>(context);
                  self.machine.SetInterruptLine(kVector, kLevel, false);
                  KeInsertQueueDpc(&self.device_dpc, nullptr, nullptr);
                  return TRUE;
                },
                this, nullptr, kVector, kLevel, kLevel, LevelSensitive, FALSE, 1, FALSE);
            RaiseEvery10Ms();
          }
          KeInitializeTimer(&timer);
          LARGE_INTEGER due{.QuadPart = -100'000};
          KeSetTimerEx(&timer, due, 10, &timer_dpc);
          for (;;) {
            KeWaitForSingleObject(&tick, Executive, KernelMode, FALSE, nullptr);
            ++ticks;
          }
        },
        nullptr);
  }
  void RaiseEvery10Ms() {
    machine.ScheduleAt(
        machine.Now() + 10'000'000,
        [this] {
          machine.SetInterruptLine(kVector, kLevel, true);
          RaiseEvery10Ms();
        },
        "device");
  }
  static constexpr ULONG kVector = 0x3B;
  static constexpr KIRQL kLevel = 16;
  plat::ke::Kernel& machine;
  KEVENT tick;
  KTIMER timer;
  KDPC timer_dpc, device_dpc;
  PKINTERRUPT interrupt = nullptr;
  long ticks = 0;
  long blocks = 0;
};

// Host time per 10 ms tick: timer -> DPC -> event -> thread.
void BM_KeTimerDpcWake(benchmark::State& state) {
  plat::Simulation sim;
  IdleMachine idle(sim.AddMachine("A"), false);
  long target = 0;
  for (auto _ : state) {
    target += 100;
    sim.RunUntil([&] { return idle.ticks >= target; });
  }
  state.SetItemsProcessed(idle.ticks);
}
BENCHMARK(BM_KeTimerDpcWake)->UseRealTime();

// Virtual seconds per host second of that loop plus a 100 Hz interrupt
// source (items are virtual seconds).
void BM_KeIdleMachineSecond(benchmark::State& state) {
  plat::Simulation sim;
  IdleMachine idle(sim.AddMachine("A"), true);
  for (auto _ : state) sim.RunFor(1'000'000'000);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeIdleMachineSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
