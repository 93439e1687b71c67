// The V.22bis modem at 2400 bit/s in data. Reported, never asserted:
//   BM_V22bisTx        host time of one 10 ms block (96 samples at 9600 Hz)
//                      from framer bits to line samples;
//   BM_V22bisRx        host time of one 10 ms block of our data signal
//                      through the trained receiver into the framer;
//   BM_SpandspV22bis   spandsp's v22bis_tx of a caller feeding the
//                      answerer's v22bis_rx for 10 ms (80 samples at
//                      8000 Hz), both in data after a full-duplex handshake;
// ours with vs_spandsp, its time over spandsp's in the same run.
// The modem is brought to data by command 0x6E's analog loop on a started
// data pump, as the loopback test does.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/core/comram.h"
#include "pump/framer/framer.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v22/v22_modulator.h"
#include "pump/v22/v22_receiver.h"

#include <spandsp.h>

namespace {

using pump::DspContext;

constexpr int kBlocksToData = 150;
constexpr int kRecordedBlocks = 100;

// Runs `body` with a data pump whose V.22bis loopback reached data, and
// `kRecordedBlocks` blocks of its line signal in data.
template <class Body>
void InData(Body body) {
  pump::testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    harness.Controller().Exchange(0x6E, {4, 7, 0x00, 0x00});
    std::size_t looped = 0;
    std::vector<std::vector<std::int16_t>> blocks;
    for (int b = 0; b < kBlocksToData + kRecordedBlocks; ++b) {
      harness.RunBlocks(1);
      const auto& out = harness.Afe().LineOutput();
      const auto played = std::span(out).subspan(looped);
      looped = out.size();
      harness.Afe().FeedLine(played);
      if (b >= kBlocksToData) blocks.emplace_back(played.begin(), played.end());
    }
    body(harness.Context(), blocks);
  });
}

struct SpandspV22bis {
  // `tx` is the caller, `rx` the answerer; each also runs the other way.
  v22bis_state_t* tx = v22bis_init(nullptr, 2400, V22BIS_GUARD_TONE_NONE, true, &GetBit, this, &PutBit, this);
  v22bis_state_t* rx = v22bis_init(nullptr, 2400, V22BIS_GUARD_TONE_NONE, false, &GetBit, this, &PutBit, this);
  std::uint32_t bits = 0x2B;
  std::array<std::int16_t, 80> samples{};

  SpandspV22bis(const SpandspV22bis&) = delete;
  SpandspV22bis& operator=(const SpandspV22bis&) = delete;
  // Both ends run full duplex through the handshake into data (6 s).
  SpandspV22bis() {
    std::array<std::int16_t, 80> back{};
    for (int b = 0; b < 600; ++b) {
      v22bis_tx(tx, samples.data(), static_cast<int>(samples.size()));
      v22bis_tx(rx, back.data(), static_cast<int>(back.size()));
      v22bis_rx(rx, samples.data(), static_cast<int>(samples.size()));
      v22bis_rx(tx, back.data(), static_cast<int>(back.size()));
    }
  }
  ~SpandspV22bis() {
    v22bis_free(tx);
    v22bis_free(rx);
  }
  static int GetBit(void* user) {
    auto* self = static_cast<SpandspV22bis*>(user);
    self->bits = self->bits * 1103515245u + 12345u;
    return static_cast<int>((self->bits >> 16) & 1);
  }
  static void PutBit(void*, int bit) { benchmark::DoNotOptimize(bit); }
  void Block() {
    v22bis_tx(tx, samples.data(), static_cast<int>(samples.size()));
    v22bis_rx(rx, samples.data(), static_cast<int>(samples.size()));
  }
};

void BM_V22bisTx(benchmark::State& state) {
  InData([&](DspContext& context, const auto&) {
    context.v22.tx.mode = pump::kV22Data2400;
    auto block = [&] {
      pump::V22Modulate(context, context.v22.tx);
      benchmark::DoNotOptimize(context.output_block);
    };
    for (auto _ : state) block();
    SpandspV22bis peer;
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(block, [&] { peer.Block(); });
  });
}
BENCHMARK(BM_V22bisTx);

void BM_V22bisRx(benchmark::State& state) {
  InData([&](DspContext& context, const std::vector<std::vector<std::int16_t>>& blocks) {
    std::size_t next = 0;
    auto block = [&] {
      pump::V22ReceiveSamples(context, blocks[next]);
      next = (next + 1) % blocks.size();
      pump::FramerFlushRx(context);
    };
    for (auto _ : state) block();
    SpandspV22bis peer;
    state.counters["vs_spandsp"] = vx_bench::PairedRatio(block, [&] { peer.Block(); });
  });
}
BENCHMARK(BM_V22bisRx);

void BM_SpandspV22bis(benchmark::State& state) {
  SpandspV22bis peer;
  for (auto _ : state) peer.Block();
}
BENCHMARK(BM_SpandspV22bis);

}  // namespace

BENCHMARK_MAIN();
