// The V.8 procedures' listening states, per 10 ms block (96 samples at
// 9600 Hz), beside spandsp's V.8 (v8_tx feeding the line, v8_rx hearing
// it) over the same line time at 8000 Hz (80-sample blocks). Reported,
// never asserted:
//   BM_V8Caller    V8Call0 hearing ANSam: the AGC, the ANSam high-pass and
//                  detector, the call-progress filter bank, the 2100 Hz and
//                  2225 Hz detectors (kept in V8Call0);
//   BM_V8Answerer  V8Ans0 sending ANSam and hearing V.21 channel 1: the
//                  rejection filter and AGC, the AA and 520 Hz detectors,
//                  the FSK receiver, and the ANSam transmitter;
//   vs_spandsp = our CPU time per block / spandsp's v8_tx + v8_rx in the
//   same role on the same seconds of line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/handshake/tests/handshake_rig.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on
#include "pump/v8/v8.h"

namespace {

using pump::DspContext;
using pump::testing::PumpHarness;

constexpr std::size_t kBlock = 96;
constexpr int kLineBlock = 80;

// Two seconds of a far end: ANSam (for the caller) or V.21 channel 1 marks
// (for the answerer), at 9600 Hz through the line port, and at 8000 Hz.
std::vector<std::int16_t> FarLine(bool caller, bool at_9600) {
  pump::testing::LineGenerator far =
      caller ? pump::handshake_test::AnswerTone(MODEM_CONNECT_TONES_ANSAM_PR)
             : pump::handshake_test::FskMarks(FSK_V21CH1);
  if (!at_9600) {
    std::vector<std::int16_t> line(16000);
    far(line);
    return line;
  }
  pump::testing::SpandspSource source(far);
  return source.Take(19200);
}

void NoResult(void*, v8_parms_t*) {}

void V8Block(benchmark::State& state, bool caller) {
  PumpHarness harness;
  harness.Run([&] {
    pump::handshake_test::BeginCall(
        harness, {.mode = 17, .direction = caller ? 1 : 0, .selector = 2});
    DspContext& context = harness.Context();
    context.call.options |= pump::kV8OptionHoldAnswer;
    const auto line = FarLine(caller, true);
    std::size_t at = 0;
    const auto table = caller ? pump::V8CallTable() : pump::V8AnswerTable();
    const auto ours = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), kBlock, context.input_block);
      at = (at + kBlock) % (line.size() - kBlock);
      pump::RunStateMachine(context, context.tx);
      pump::RunStateMachine(context, context.rx);
      if (context.rx.table.data() != table.data() || context.rx.position != 0) {
        pump::SetStateMachine(context.rx, pump::StateOp::kGo, table);
      }
    };
    v8_parms_t parms{};
    parms.modem_connect_tone = MODEM_CONNECT_TONES_ANSAM_PR;
    parms.v92 = -1;
    parms.call_function = V8_CALL_V_SERIES;
    parms.modulations = V8_MOD_V21 | V8_MOD_V34;
    parms.protocol = V8_PROTOCOL_LAPM_V42;
    parms.nsf = -1;
    parms.t66 = -1;
    v8_state_t* v8 = v8_init(nullptr, caller, &parms, NoResult, nullptr);
    const auto line8 = FarLine(caller, false);
    std::size_t at8 = 0;
    std::int16_t out[kLineBlock];
    const auto theirs = [&] {
      v8_tx(v8, out, kLineBlock);
      v8_rx(v8, line8.data() + at8, kLineBlock);
      at8 = (at8 + kLineBlock) % (line8.size() - kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    v8_free(v8);
  });
}

void BM_V8Caller(benchmark::State& state) { V8Block(state, true); }
BENCHMARK(BM_V8Caller);

void BM_V8Answerer(benchmark::State& state) { V8Block(state, false); }
BENCHMARK(BM_V8Answerer);

}  // namespace

BENCHMARK_MAIN();
