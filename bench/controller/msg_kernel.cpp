// The message kernel's two hot paths, as the line services' poll runs
// them every 10 ms. Reported, never asserted; the whole process's CPU.
//
// BM_TimerAdvance: 24 running timers 10 ms apart; each tick advances the
// clock 10 ms and turns it into a timer advance (post and dispatch), which
// fires the head timer; the tick then starts that timer again 240 ms on,
// behind the other 23. (Its callback cannot: all 24 records are in use
// until it returns.)
// BM_PostDispatch: five messages posted (urgent and not, in turn) and
// dispatched to a handler.
#include "layer2/corecode/mt/kernel/msg_kernel.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "platform/ke/simulation.h"

namespace {

using namespace vxctl;

// A kernel set up on a machine (its start-up touches the machine's
// state); the kernel's own operations then run on the benchmark's thread.
std::unique_ptr<MsgKernel> MakeKernel() {
  auto kernel = std::make_unique<MsgKernel>();
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("controller");
  sim.RunUserThread(machine, "init", [&] { MK_init(kernel.get()); });
  return kernel;
}

constexpr std::uint32_t kTickMs = 10;

struct Periodic {
  TimerRequest request;
  std::uint8_t id = 0;

  static void Expired(TimerArg self, TimerArg last_fired) {
    *reinterpret_cast<Periodic**>(last_fired) = reinterpret_cast<Periodic*>(self);
  }
};

void BM_TimerAdvance(benchmark::State& state) {
  std::unique_ptr<MsgKernel> kernel = MakeKernel();
  std::array<Periodic, kKernelTimers> timers;
  Periodic* last_fired = nullptr;
  for (std::size_t n = 0; n < kKernelTimers; ++n) {
    Periodic& p = timers[n];
    p.request.kernel = kernel.get();
    p.request.owner = &p.id;
    p.request.ms = kTickMs * static_cast<std::uint32_t>(n + 1);
    p.request.SetCallback(Periodic::Expired, reinterpret_cast<TimerArg>(&p),
                          reinterpret_cast<TimerArg>(&last_fired));
    if (MK_timer_start(&p.request) != kMkOk) {
      state.SkipWithError("a timer did not start");
      return;
    }
  }
  for (auto _ : state) {
    MK_clock_advance(kernel.get(), kTickMs);
    MK_post_elapsed(kernel.get());
    MK_dispatch(kernel.get());
    if (last_fired == nullptr) {
      state.SkipWithError("a tick fired nothing");
      break;
    }
    last_fired->request.ms = kTickMs * kKernelTimers;
    MK_timer_start(&last_fired->request);
    last_fired = nullptr;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerAdvance)->MeasureProcessCPUTime()->Unit(benchmark::kNanosecond);

void Count(KernelMessage*, void* context) { ++*static_cast<std::uint64_t*>(context); }

void BM_PostDispatch(benchmark::State& state) {
  std::unique_ptr<MsgKernel> kernel = MakeKernel();
  std::uint64_t handled = 0;
  if (MK_register(kernel.get(), kMsgTone, Count, &handled) != kMkOk) {
    state.SkipWithError("no handler");
    return;
  }
  for (auto _ : state) {
    for (std::size_t n = 0; n < kKernelMessages; ++n) {
      MK_msg_send(kernel.get(), n % 2 == 1, kMsgTone, 3);
    }
    MK_dispatch(kernel.get());
  }
  if (handled != static_cast<std::uint64_t>(state.iterations()) * kKernelMessages) {
    state.SkipWithError("a message was lost");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(handled));
}
BENCHMARK(BM_PostDispatch)->MeasureProcessCPUTime()->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
