// The start packets of a data call on the real vxdsp over vxafe: the rate
// masks (0x64), the V.8 options (0x90) and the connect parameters (0x68)
// of a V.34 call after the controller's V.8 exchange, through
// ModemTask_StartHandshake. Reported, never asserted:
//   BM_StartHandshake  host time of one handshake start, its three packets
//                      answered by the data pump.
#include <benchmark/benchmark.h>

#include "bench/controller/vxdsp_bench_machine.h"
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "platform/ke/simulation.h"

namespace {

constexpr int kStartsPerRun = 20;
constexpr std::uint8_t kV34 = 18;

// A V.34 call whose V.8 exchange negotiated what was asked, S119 1.
void NegotiatedV34Call() {
  vxctl::ModemTaskState& task = vxctl::MachineState<vxctl::ModemTaskState>();
  task.requested_modulation = kV34;
  task.modulation = kV34;
  task.v8_mode = 1;
  task.v8_result = 1;
  task.v8_frame_received = 1;
  task.v8_substate = 4;
  vxctl::AcuCallSettings& settings = vxctl::acu_call_settings();
  settings.min_tx_rate = settings.min_rx_rate = 2400;
  settings.max_tx_rate = settings.max_rx_rate = 33600;
  vxctl::acu_settings().s[119] = 1;
}

void BM_StartHandshake(benchmark::State& state) {
  plat::Simulation sim;
  vxctl::bench::VxdspBenchMachine machine(sim);
  if (!machine.Boot()) {
    state.SkipWithError("the data pump did not start");
    return;
  }
  sim.RunUserThread(machine.kernel(), "call", [] {
    vxctl::dsp_power_control(0xD0);
    NegotiatedV34Call();
  });
  for (auto _ : state) {
    sim.RunUserThread(machine.kernel(), "starter", [] {
      for (int i = 0; i < kStartsPerRun; ++i) vxctl::ModemTask_StartHandshake();
    });
  }
  bool delivered = true;
  sim.RunUserThread(machine.kernel(), "check", [&] {
    delivered = vxctl::MachineState<vxctl::DspTransportState>().failed.code == 0;
  });
  if (!delivered) state.SkipWithError("a start packet was not delivered");
  state.SetItemsProcessed(state.iterations() * kStartsPerRun);
}
BENCHMARK(BM_StartHandshake);

}  // namespace

BENCHMARK_MAIN();
