// Dialling, the tone generator and call progress, per 10 ms block (96
// samples at 9600 Hz), beside spandsp on 80-sample blocks at 8000 Hz.
// Reported, never asserted:
//   BM_CallProgressBlock/<classifier>  CallProgressHandler in mode 0 with
//                              three filter records over a dial tone in
//                              noise, the band classifier off (0) or on (1);
//                              vs_spandsp = our CPU time per block /
//                              super_tone_rx's with one dial-tone descriptor.
//   BM_DtmfDialAndDetect       one tick of the dial machine on a DTMF pair
//                              and our DtmfDetector over its block; vs
//                              dtmf_tx into dtmf_rx.
//   BM_ToneTx                  one tick of the 980 Hz tone generator; vs
//                              tone_gen.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/callprogress/call_progress.h"
#include "pump/callprogress/dialling.h"
#include "pump/callprogress/tone_tx.h"
#include "pump/core/comram.h"
#include "pump/detect/band_classifier.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/tests/signals.h"
#include "pump/tests/support/key_packets.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_headers.h"

namespace {

using pump::DspContext;
using pump::testing::PumpHarness;

constexpr std::size_t kBlock = 96;
constexpr int kLineBlock = 80;

// The voice path's record: sections with poles near 340 and 600 Hz.
constexpr std::array<std::uint16_t, 15> kRecord = {0x0666, 0xF339, 0x0666, 0xC329, 0x79AE,
                                                   0x3FFF, 0xE65E, 0x3FFF, 0xC55B, 0x7129,
                                                   0x00FF, 0x7F00, 0x0100, 0x3000, 0x2000};

void Program(PumpHarness& harness, int filter) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : kRecord) {
    bytes.push_back(static_cast<std::uint8_t>(w));
    bytes.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  const std::uint32_t base = 0x101D8 + static_cast<std::uint32_t>(filter) * 15;
  const std::span<const std::uint8_t> all(bytes);
  pump::testing::WriteParam(harness.Controller(), base, all.first(14));
  pump::testing::WriteParam(harness.Controller(), base + 7, all.subspan(14, 14));
  pump::testing::WriteParam(harness.Controller(), base + 14, all.subspan(28, 2));
}

// A second of US dial tone (350 + 440 Hz) in noise, at both rates.
std::vector<std::int16_t> DialTone(double rate) {
  const auto n = static_cast<std::size_t>(rate);
  return pump::detect_test::Mix(pump::detect_test::Tone({350, 440}, 4000, n, rate),
                                pump::detect_test::Noise(9, 300, n));
}

void NoReport(void*, int, int, int) {}

void BM_CallProgressBlock(benchmark::State& state) {
  const bool classifier = state.range(0) != 0;
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    for (int f = 0; f < 3; ++f) Program(harness, f);
    harness.Controller().Exchange(0x65, {0, 0});
    DspContext& context = harness.Context();
    if (classifier) {
      pump::StartBandClassifier(context);
    } else {
      pump::StopBandClassifier(context);
    }
    const auto line = DialTone(9600);
    std::size_t at = 0;
    const auto ours = [&] {
      std::copy_n(line.begin() + static_cast<std::ptrdiff_t>(at), kBlock, context.input_block);
      at = (at + kBlock) % (line.size() - kBlock);
      pump::CallProgressHandler(context);
    };
    super_tone_rx_descriptor_t* desc = super_tone_rx_make_descriptor(nullptr);
    super_tone_rx_add_tone(desc);
    super_tone_rx_add_element(desc, 0, 350, 440, 1000, 0);
    super_tone_rx_state_t* rx = super_tone_rx_init(nullptr, desc, NoReport, nullptr);
    const auto line8 = DialTone(8000);
    std::size_t at8 = 0;
    const auto theirs = [&] {
      super_tone_rx(rx, line8.data() + at8, kLineBlock);
      at8 = (at8 + kLineBlock) % (line8.size() - kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    super_tone_rx_free(rx);
    super_tone_rx_free_descriptor(desc);
  });
}
BENCHMARK(BM_CallProgressBlock)->Arg(0)->Arg(1);

void BM_DtmfDialAndDetect(benchmark::State& state) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    harness.Controller().Exchange(0x88, {60, 40});
    DspContext& context = harness.Context();
    pump::StartTonePair(context, static_cast<std::int32_t>(pump::DialIncrement(1336)),
                        static_cast<std::int32_t>(pump::DialIncrement(770)));
    pump::DtmfDetector detector{};
    pump::ResetDtmfDetector(detector);
    const auto ours = [&] {
      pump::RunStateMachine(context, context.tx);
      const int code = pump::RunDtmfDetector(detector, context.output_block);
      benchmark::DoNotOptimize(pump::DebounceDtmf(detector, code));
    };
    dtmf_tx_state_t* tx = dtmf_tx_init(nullptr);
    dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
    std::array<std::int16_t, kLineBlock> block{};
    const auto theirs = [&] {
      if (dtmf_tx(tx, block.data(), kLineBlock) < kLineBlock) dtmf_tx_put(tx, "5", 1);
      dtmf_rx(rx, block.data(), kLineBlock);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    dtmf_tx_free(tx);
    dtmf_rx_free(rx);
  });
}
BENCHMARK(BM_DtmfDialAndDetect);

void BM_ToneTx(benchmark::State& state) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Exchange(0x60, {0});
    DspContext& context = harness.Context();
    pump::StartToneTx(context, pump::kTone980);
    const auto ours = [&] {
      pump::RunStateMachine(context, context.tx);
      benchmark::DoNotOptimize(context.output_block[0]);
    };
    tone_gen_descriptor_t* desc = tone_gen_descriptor_init(nullptr, 980, -10, 0, 0, 1, 0, 0, 0, 1);
    tone_gen_state_t* gen = tone_gen_init(nullptr, desc);
    std::array<std::int16_t, kLineBlock> block{};
    const auto theirs = [&] {
      tone_gen(gen, block.data(), kLineBlock);
      benchmark::DoNotOptimize(block[0]);
    };
    for (auto _ : state) ours();
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
    tone_gen_free(gen);
    tone_gen_descriptor_free(desc);
  });
}
BENCHMARK(BM_ToneTx);

}  // namespace
BENCHMARK_MAIN();
