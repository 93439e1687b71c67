// The modem task's step on the fake data pump. Reported, never asserted:
//   BM_ModemTaskStep   host time of one step of an idle task;
//   BM_ControllerPass  host time of one controller pass (acu_run) with the
//                      task stepping in it.
#include <benchmark/benchmark.h>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace {

using vxctl::testing::FakeDataPump;

void BM_ModemTaskStep(benchmark::State& state) {
  vxctl::testing::DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    std::uint8_t level = 0;
    vxctl::ModemTask_Reset(level);
    pump.ClearTraces();
    for (auto _ : state) vxctl::ModemTask_Process();
    // Nothing was sent: an idle task only reads the status register.
    if (!pump.Commands().empty()) state.SkipWithError("an idle step sent a command");
  });
}
BENCHMARK(BM_ModemTaskStep);

void BM_ControllerPass(benchmark::State& state) {
  vxctl::testing::DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    vxctl::acu_init();
    pump.ClearTraces();
    for (auto _ : state) vxctl::acu_run();
    vxctl::MachineState<vxctl::PendingLog>().Clear();
  });
}
BENCHMARK(BM_ControllerPass);

}  // namespace

BENCHMARK_MAIN();
