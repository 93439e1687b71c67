// A powered-up idle modem on one simulated machine: the simulator, vxafe,
// vxdsp and the test controller driver, the port open (power state 0xD0)
// and the data pump reset, the line on hook. Reported, never asserted:
//   BM_IdleModemRealTimeFactor  virtual seconds per CPU second of the whole
//                               process (every host thread of the machine);
//   BM_IdleMachineHostCores     the process's CPU seconds per wall second
//                               while the machine runs in run mode (paced to
//                               the wall clock): the host cores it keeps busy;
//   BM_DefaultBlock             host time per idle block of the whole machine
//                               (interrupt, deferred routine, block thread,
//                               BlockTick), and of BlockTick alone.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

#include "afe/windows/afe_device.h"
#include "bench/support/paired_ratio.h"
#include "platform/hal/instant.h"
#include "platform/ke/kernel.h"
#include "platform/ke/runmode.h"
#include "platform/machine/machine.h"
#include "pump/context/block_tick.h"
#include "pump/driver/dsp_device.h"
#include "pump/tests/support/test_controller.h"

namespace {

// The host time BlockTick takes, by a wrapper around the context's entry.
struct TickTiming {
  std::chrono::nanoseconds spent{0};
  std::uint64_t blocks = 0;
};

void TimedBlockTick(pump::DspContext& context) {
  TickTiming& timing = plat::ke::CurrentKernel().slots().Get<TickTiming>();
  const auto start = std::chrono::steady_clock::now();
  pump::BlockTick(context);
  timing.spent += std::chrono::steady_clock::now() - start;
  ++timing.blocks;
}

class IdleModem {
 public:
  explicit IdleModem(plat::SimulationOptions options = {})
      : sim_(options),
        machine_(sim_, {.drivers = {{u"vxafe", afe::DriverEntry},
                                    {u"vxdsp", pump::DriverEntry},
                                    {u"vxtestctl", pump::testing::TestControllerEntry}}}) {}
  ~IdleModem() {
    if (machine_.drivers().size() == 3) machine_.Shutdown();
  }

  // Boots, opens the port and resets the data pump; false when any of it failed.
  bool PowerUp() {
    if (machine_.Boot() != STATUS_SUCCESS) return false;
    pump::testing::TestController& controller = pump::testing::TestControllerOf(machine_.kernel());
    if (!controller.started()) return false;
    bool acked = false;
    sim_.RunUserThread(machine_.kernel(), "port", [&] {
      controller.Context()->block_entry = TimedBlockTick;
      controller.Double().WritePowerState(0xD0);
      acked = controller.Double().Exchange(0x60, {0}).size() == 1;
    });
    return acked;
  }
  void RunFor(std::uint64_t ns) { sim_.RunFor(ns); }
  TickTiming& timing() { return machine_.kernel().slots().Get<TickTiming>(); }

 private:
  plat::Simulation sim_;
  plat::Machine machine_;
};

void BM_IdleModemRealTimeFactor(benchmark::State& state) {
  IdleModem modem;
  if (!modem.PowerUp()) {
    state.SkipWithError("the modem did not power up");
    return;
  }
  const double cpu_start = vx_bench::CpuSeconds();
  for (auto _ : state) modem.RunFor(plat::hal::kSecond);
  // One virtual second per iteration, over the CPU time of every thread.
  state.counters["virtual_s_per_cpu_s"] =
      static_cast<double>(state.iterations()) / (vx_bench::CpuSeconds() - cpu_start);
}
BENCHMARK(BM_IdleModemRealTimeFactor)->Unit(benchmark::kMillisecond);

void BM_IdleMachineHostCores(benchmark::State& state) {
  plat::SteadyWallClock wall;
  IdleModem modem({.wall_clock = &wall});
  if (!modem.PowerUp()) {
    state.SkipWithError("the modem did not power up");
    return;
  }
  const double cpu_start = vx_bench::CpuSeconds();
  const auto wall_start = std::chrono::steady_clock::now();
  // A tenth of a wall second per iteration.
  for (auto _ : state) modem.RunFor(100 * plat::hal::kMillisecond);
  const std::chrono::duration<double> wall_spent = std::chrono::steady_clock::now() - wall_start;
  state.counters["host_cores"] = (vx_bench::CpuSeconds() - cpu_start) / wall_spent.count();
}
BENCHMARK(BM_IdleMachineHostCores)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

void BM_DefaultBlock(benchmark::State& state) {
  IdleModem modem;
  if (!modem.PowerUp()) {
    state.SkipWithError("the modem did not power up");
    return;
  }
  TickTiming& timing = modem.timing();
  const TickTiming before = timing;
  // One block period per iteration.
  for (auto _ : state) modem.RunFor(10 * plat::hal::kMillisecond);
  const auto blocks = static_cast<double>(timing.blocks - before.blocks);
  state.counters["block_tick_ns"] =
      blocks == 0 ? 0 : static_cast<double>((timing.spent - before.spent).count()) / blocks;
  state.counters["blocks_per_iteration"] = blocks / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DefaultBlock)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
