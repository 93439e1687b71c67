// Kernel core costs in host time: passing the CPU between contexts, an
// event round trip between two threads, and a timed wait through the
// timeline. Each benchmark iteration is one batch run by the simulation.
#include <benchmark/benchmark.h>

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

// ns per hand-over: two threads of one priority yield to each other.
void BM_KeContextSwitch(benchmark::State& state) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("A");
  long handovers = 0;
  for (int t = 0; t < 2; ++t) {
    machine.CreateUserThread(
        "yielder",
        [&] {
          for (;;) {
            for (int i = 0; i < kBatch / 2; ++i) {
              ++handovers;
              Yield();
            }
            Breathe();
          }
        },
        nullptr);
  }
  long target = 0;
  for (auto _ : state) {
    target += kBatch;
    sim.RunUntil([&] { return handovers >= target; });
  }
  state.SetItemsProcessed(handovers);
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

}  // namespace

BENCHMARK_MAIN();
