// The controller's packet round trip to the data pump: a version query
// (0x94, answered by 0xCB at the doorbell) through dsp_send_packet, on the
// fake data pump and on the real vxdsp over vxafe. Reported, never
// asserted: the host time of one round trip, the whole process's CPU.
#include "layer2/corecode/mt/dsp/dsp_link.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "bench/controller/vxdsp_bench_machine.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "platform/ke/simulation.h"

namespace {

using vxctl::DspCommand;

constexpr int kRoundTripsPerRun = 100;

// Round trips on a thread of the machine; false when one failed.
bool RoundTrips() {
  for (int i = 0; i < kRoundTripsPerRun; ++i) {
    if (vxctl::dsp_send_packet(DspCommand::Query(0x94, 0xCB)) != vxctl::kDspSent) return false;
  }
  return true;
}

// `after_batch` runs on the machine after each batch of round trips.
void Measure(benchmark::State& state, plat::Simulation& sim, plat::ke::Kernel& machine,
             const std::function<void()>& after_batch = {}) {
  bool ok = true;
  for (auto _ : state) {
    sim.RunUserThread(machine, "sender", [&] {
      ok = ok && RoundTrips();
      if (after_batch) after_batch();
    });
  }
  if (!ok) state.SkipWithError("a round trip failed");
  state.SetItemsProcessed(state.iterations() * kRoundTripsPerRun);
}

void OnFake(benchmark::State& state) {
  plat::Simulation sim;
  plat::ke::Kernel& machine = sim.AddMachine("controller");
  std::unique_ptr<vxctl::testing::FakeDataPump> pump;
  sim.RunUserThread(machine, "bind", [&] {
    pump = std::make_unique<vxctl::testing::FakeDataPump>(vxctl::testing::RigCallback);
    pump->Bind();
  });
  // The fake's traces would grow with every round trip.
  Measure(state, sim, machine, [&] { pump->ClearTraces(); });
  sim.RunUserThread(machine, "unbind", [&] { pump.reset(); });
}
void OnVxdsp(benchmark::State& state) {
  plat::Simulation sim;
  vxctl::bench::VxdspBenchMachine machine(sim);
  if (!machine.Boot()) {
    state.SkipWithError("the data pump did not start");
    return;
  }
  Measure(state, sim, machine.kernel());
}

void BM_PacketRoundTrip(benchmark::State& state, void (*side)(benchmark::State&)) { side(state); }
BENCHMARK_CAPTURE(BM_PacketRoundTrip, fake, OnFake)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PacketRoundTrip, vxdsp, OnVxdsp)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
