// Voice mode's cost: the codecs per 80 samples (encode and decode) beside
// spandsp's G.711 and IMA ADPCM, and a whole voice block (play or record,
// through the test front end) per 10 ms, the speakerphone's full path per
// block (steady and training), each on the signal library's
// generic (px) variant and on the best the processor takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/voice/speakerphone.h"
#include "pump/voice/voice_codec.h"
#include "siglib/frame/frame.h"
#include "siglib/tests/support/scoped_slots.h"

// clang-format off
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/ima_adpcm.h>
// clang-format on

namespace {

constexpr std::size_t kBlock = 80;

// The slots for one run: the generic variant (0) or the best (1).
struct Slots {
  explicit Slots(std::int64_t best) {
    if (best != 0) {
      qvlsInit();
    } else {
      qvlsFillSlots(qvls_process_frame, qvls_variant_table, QVLS_VARIANT_PX);
    }
  }
  qvls_test::ScopedSlots saved;
};

std::vector<std::int16_t> Speechlike(std::size_t n) {
  std::vector<std::int16_t> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / 8000;
    x[i] = static_cast<std::int16_t>(6000 * std::sin(2 * std::numbers::pi * 310 * t) +
                                     3000 * std::sin(2 * std::numbers::pi * 1130 * t));
  }
  return x;
}

// Arguments: codec type, variant (0 px, 1 best). The ratio is ours over
// spandsp's coder of the same law (G.711 for 7 and 8, IMA ADPCM for 6).
void BM_VoiceCodec(benchmark::State& state) {
  const auto type = static_cast<std::int32_t>(state.range(0));
  Slots slots(state.range(1));
  const pump::VoiceCodecRoutines codec = pump::SelectVoiceCodec(type);
  pump::VoiceCodec s = pump::kVoiceCodecStart;
  const auto x = Speechlike(kBlock);
  std::vector<std::int16_t> codes(kBlock), y(kBlock);
  const auto ours = [&] {
    codec.encode(s, x, codes);
    for (auto& c : codes) c = static_cast<std::int16_t>(c & 0xFF);
    codec.decode(s, codes, y);
    benchmark::DoNotOptimize(y.data());
  };
  ima_adpcm_state_t* ima = ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 0);
  std::vector<std::uint8_t> bytes(kBlock + 4);
  const auto theirs = [&] {
    if (type == 6) {
      const int n = ima_adpcm_encode(ima, bytes.data(), x.data(), static_cast<int>(kBlock));
      ima_adpcm_decode(ima, y.data(), bytes.data(), n);
    } else {
      for (std::size_t i = 0; i < kBlock; ++i) {
        bytes[i] = type == 8 ? linear_to_ulaw(x[i]) : linear_to_alaw(x[i]);
        y[i] = type == 8 ? ulaw_to_linear(bytes[i]) : alaw_to_linear(bytes[i]);
      }
    }
    benchmark::DoNotOptimize(y.data());
  };
  for (auto _ : state) ours();
  if (type == 6 || type == 7 || type == 8) {
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(ours, theirs);
  }
  ima_adpcm_free(ima);
}
BENCHMARK(BM_VoiceCodec)
    ->ArgNames({"codec", "best"})
    ->ArgsProduct({{7, 8, 2, 5, 6}, {0, 1}});

// Arguments: codec type, rate code, sequence (0 play, 1 record), variant.
void BM_VoiceBlock(benchmark::State& state) {
  const auto codec = static_cast<std::uint8_t>(state.range(0));
  const auto rate = static_cast<std::uint8_t>(state.range(1));
  const auto sequence = static_cast<std::uint8_t>(state.range(2));
  pump::testing::PumpHarness harness(
      {.service_values = "\"Profile\"=binary:06 00 02 00 00 00 00 00\n"});
  harness.Run([&] {
    Slots slots(state.range(3));
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    harness.Host().comram.reg[242] &= 0xFB;  // off hook
    harness.RunBlocks(3);
    controller.Exchange(0x65, {2, 0});
    controller.Exchange(0x97, {rate, codec, sequence, 0});
    const auto line = Speechlike(8000);
    const std::vector<std::uint8_t> bytes(4096, 0x55);
    for (auto _ : state) {
      state.PauseTiming();
      if (controller.TxStreamLeft() < 256) controller.StreamTx(0, bytes);
      harness.Afe().FeedLine(std::span(line).first(kBlock));
      state.ResumeTiming();
      harness.RunBlocks(1);
    }
  });
}
BENCHMARK(BM_VoiceBlock)
    ->ArgNames({"codec", "rate", "record", "best"})
    ->ArgsProduct({{8, 6}, {2, 4}, {0, 1}, {0, 1}});

// The speakerphone's full path on one context: a microphone spurt starts a
// search now and then; the counters give the mean and maximum host time
// per 10 ms block of the blocks that train (nine passes) with `search`, of
// all the others without.
void SpeakerphoneBlocks(benchmark::State& state, bool search) {
  Slots slots(state.range(0));
  auto context = std::make_unique<pump::DspContext>();
  context->profile.flags = 1u << 11;
  context->voice.line_count = kBlock;
  pump::SpeakerphoneReset(*context);
  const std::vector<std::int16_t> speech = Speechlike(kBlock * 64);
  std::size_t block = 0;
  double most = 0;
  double total = 0;
  std::size_t counted = 0;
  for (auto _ : state) {
    pump::VoiceArea& voice = context->voice;
    // 400 quiet blocks for the detectors, then spurts of 8 blocks every 32.
    const bool talking = block >= 400 && block % 32 < 8;
    // The line echoes the last block a block late, so a spurt starts on a
    // quiet line and probes.
    for (std::size_t i = 0; i < kBlock; ++i) {
      voice.line_in[i] = static_cast<std::int16_t>(voice.sound_in[i] / 8);
      voice.sound_in[i] = talking ? speech[(block * kBlock + i) % speech.size()] : 0;
    }
    voice.sound_in_count = kBlock;
    const bool trains = voice.speakerphone.echo.countdown == 1 && voice.speakerphone.echo.searches_left > 0;
    const auto start = std::chrono::steady_clock::now();
    pump::SpeakerphoneBlock(*context);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (trains == search) {
      most = std::max(most, took);
      total += took;
      ++counted;
    }
    if (++block % 1200 == 0) pump::SpeakerphoneReset(*context);
  }
  // Only the counters tell the kind of block asked for; the time column
  // mixes both.
  state.counters["mean_us"] = counted != 0 ? total / double(counted) * 1e6 : 0;
  state.counters["max_us"] = most * 1e6;
  state.counters["blocks"] = double(counted);
}

void BM_SpeakerphoneBlock(benchmark::State& state) { SpeakerphoneBlocks(state, false); }
void BM_SpeakerphoneSearchBlock(benchmark::State& state) { SpeakerphoneBlocks(state, true); }
BENCHMARK(BM_SpeakerphoneBlock)->ArgNames({"best"})->Args({0})->Args({1});
BENCHMARK(BM_SpeakerphoneSearchBlock)->ArgNames({"best"})->Args({0})->Args({1});

}  // namespace
BENCHMARK_MAIN();
