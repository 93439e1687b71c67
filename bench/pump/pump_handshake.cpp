// The handshakes' listening states, per 10 ms block (96 samples at
// 9600 Hz), beside spandsp's connect-tone receiver on the same signal at
// 8000 Hz (80-sample blocks). Reported, never asserted:
//   BM_ModeSelectionCallerBlock  FM_CALL_V25_S0 of a V.32 call: the front
//                                end (rejection filter and AGC), the
//                                call-progress filter bank, the answer-tone,
//                                Bell-tone and AC notch detectors;
//   BM_AutomodeCallerBlock       Pn2330Call0: the front end, the filter bank
//                                and the six energy detectors;
//   vs_spandsp = our CPU time per block / modem_connect_tones_rx's (ANS_PR
//   detection) on the same seconds of line.
// The line is a weak 1800 Hz tone in noise, which starts nothing, so each
// block runs the whole listening state.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/detect/tests/signals.h"
#include "pump/handshake/tests/handshake_rig.h"
#include "pump/tests/support/spandsp_headers.h"

namespace {

using pump::DspContext;
using pump::handshake_test::Call;
using pump::testing::PumpHarness;

constexpr std::size_t kBlock = 96;
constexpr int kLineBlock = 80;

// Two seconds of line at `rate`.
std::vector<std::int16_t> Line(double rate) {
  const auto n = static_cast<std::size_t>(2 * rate);
  return pump::detect_test::Mix(pump::detect_test::Tone({1800}, 300, n, rate),
                                pump::detect_test::Noise(5, 600, n));
}

void NoReport(void*, int, int, int) {}

void ListeningBlock(benchmark::State& state, const Call& call) {
  PumpHarness harness;
  harness.Run([&] {
    pump::handshake_test::BeginCall(harness, call);
    DspContext& context = harness.Context();
    const auto line = Line(9600);
    std::size_t at = 0;
    const auto ours = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), kBlock, context.input_block);
      at = (at + kBlock) % (line.size() - kBlock);
      pump::RunStateMachine(context, context.rx);
    };
    modem_connect_tones_rx_state_t* rx =
        modem_connect_tones_rx_init(nullptr, MODEM_CONNECT_TONES_ANS_PR, NoReport, nullptr);
    const auto line8 = Line(8000);
    std::size_t at8 = 0;
    const auto theirs = [&] {
      modem_connect_tones_rx(rx, line8.data() + at8, kLineBlock);
      at8 = (at8 + kLineBlock) % (line8.size() - kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    modem_connect_tones_rx_free(rx);
  });
}

void BM_ModeSelectionCallerBlock(benchmark::State& state) {
  ListeningBlock(state, {.mode = 12, .direction = 1});
}
BENCHMARK(BM_ModeSelectionCallerBlock);

void BM_AutomodeCallerBlock(benchmark::State& state) {
  ListeningBlock(state, {.mode = 12, .direction = 1, .selector = 1});
}
BENCHMARK(BM_AutomodeCallerBlock);

}  // namespace

BENCHMARK_MAIN();
