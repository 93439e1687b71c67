// An idle modem with the real controller: the simulator, vxafe, vxdsp and
// vxctl booted, the port opened through the open wrapper (the controller
// started on its task thread, the data pump powered up), the line on hook.
// Reported, never asserted:
//   BM_IdleControllerRealTimeFactor  virtual seconds per CPU second of the
//                                    whole process;
//   BM_ControllerTick                host time per 10 ms of the machine
//                                    (timer, timing thread, task thread's
//                                    pass, and the data pump's block work).
#include <benchmark/benchmark.h>

#include "app/builtin_drivers.h"
#include "bench/support/paired_ratio.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "controller/acu/acu_controller.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/hal/instant.h"
#include "platform/machine/machine.h"

namespace {

class IdleController {
 public:
  IdleController()
      : machine_(sim_, {.drivers = {vxmodem::kBuiltinDrivers.begin(),
                                    vxmodem::kBuiltinDrivers.end()}}) {}
  ~IdleController() {
    if (!machine_.shut_down()) machine_.Shutdown();
  }

  // Boots and opens the port; false when either failed.
  bool OpenPort() {
    if (machine_.Boot() != STATUS_SUCCESS) return false;
    NTSTATUS status = STATUS_PENDING;
    sim_.RunUserThread(machine_.kernel(), "application", [&] {
      vxctl::testing::RunThreads(
          {{16, [&] { status = vxctl::port_call_open(&vxctl::port_block()); }}});
    });
    return status == STATUS_SUCCESS;
  }
  void RunFor(std::uint64_t ns) { sim_.RunFor(ns); }
  std::uint32_t Ticks() {
    return machine_.kernel().slots().Get<vxctl::AcuControllerState>().tick_counts.ticks_10ms;
  }

 private:
  plat::Simulation sim_;
  plat::Machine machine_;
};

void BM_IdleControllerRealTimeFactor(benchmark::State& state) {
  IdleController modem;
  if (!modem.OpenPort()) {
    state.SkipWithError("the port did not open");
    return;
  }
  const double cpu_start = vx_bench::CpuSeconds();
  for (auto _ : state) modem.RunFor(plat::hal::kSecond);
  state.counters["virtual_s_per_cpu_s"] =
      static_cast<double>(state.iterations()) / (vx_bench::CpuSeconds() - cpu_start);
}
BENCHMARK(BM_IdleControllerRealTimeFactor)->Unit(benchmark::kMillisecond);

void BM_ControllerTick(benchmark::State& state) {
  IdleController modem;
  if (!modem.OpenPort()) {
    state.SkipWithError("the port did not open");
    return;
  }
  const std::uint32_t before = modem.Ticks();
  for (auto _ : state) modem.RunFor(10 * plat::hal::kMillisecond);
  state.counters["controller_ticks_per_iteration"] =
      static_cast<double>(modem.Ticks() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ControllerTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
