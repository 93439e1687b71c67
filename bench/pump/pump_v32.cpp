// The V.32bis modem at 14400 bit/s in data. Reported, never asserted:
//   BM_V32Tx    host time of 10 ms of line (24 symbols, 72 samples) from
//               data bits to samples;
//   BM_V32Rx    host time of 10 ms of line through the trained receiver
//               into data bits;
//   BM_V32EchoCanceller/0 and /1  host time of 10 ms of line (24 symbols
//               into the history, 72 samples cancelled) through the echo
//               canceller in training (both tap sets adapting, the far
//               rotator's loop running) and in data (taps frozen);
//   BM_V32Block host time of 10 ms of line through the transmitter, the
//               canceller (in data) and the trained receiver, with its
//               largest block (max_us) beside the mean;
//   BM_SpandspV17_14400  spandsp's v17_tx feeding v17_rx for 10 ms (80
//               samples at 8000 Hz), the nearest equivalent (2400 baud,
//               trellis coded; it has no echo canceller, so the ratio of
//               the canceller and the block to it is of unlike work);
// each of ours with vs_spandsp, its time over spandsp's in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "bench/support/paired_ratio.h"
#include "pump/v32/echo_canceller.h"
#include "pump/v32/receiver.h"
#include "pump/v32/transmitter.h"

#include <spandsp.h>

namespace {

using namespace pump::v32;

constexpr int kSymbolsPer10ms = 24;

struct Transmitter {
  TxSymbolState tx;
  Modulator modulator;
  std::uint32_t bits = 0x2B;

  void Symbols(TxSignal signal, int count, std::vector<std::int16_t>* out) {
    for (int k = 0; k < count; ++k) {
      bits = bits * 1103515245u + 12345u;
      std::array<std::int16_t, 3> s{};
      ModulateSymbol(modulator, NextSymbol(tx, signal, (bits >> 16) & 0x3F), s);
      if (out != nullptr) out->insert(out->end(), s.begin(), s.end());
    }
  }
};

// A receiver trained on our transmitter and in 14400 data, and 10 s of the
// data signal that follows, which the benchmark plays in a loop.
struct TrainedLink {
  Receiver rx;
  std::vector<std::int16_t> data;
  std::size_t position = 0;

  TrainedLink() {
    Transmitter t;
    ResetReceiver(rx, {});
    std::vector<std::int16_t> start;
    t.Symbols(TxSignal::kSilence, 40, &start);
    t.Symbols(TxSignal::kS, 256, &start);
    t.Symbols(TxSignal::kSbar, 16, &start);
    StartTraining(t.tx);
    t.Symbols(TxSignal::kTrn2, 256, &start);
    t.Symbols(TxSignal::kTrn4, 1024, &start);
    StartWord(t.tx, 0x9990);
    t.Symbols(TxSignal::kRateWord, 32, &start);
    StartWord(t.tx, 0x999F);
    t.Symbols(TxSignal::kRateWord, 8, &start);
    StartData(t.tx, DataRate::k14400);
    t.Symbols(TxSignal::kData, 200, &start);
    for (const std::int16_t x : start) ReceiverStep(rx, x);
    t.Symbols(TxSignal::kData, 24000, &data);
  }

  void Block() {
    for (int k = 0; k < 3 * kSymbolsPer10ms; ++k) {
      benchmark::DoNotOptimize(ReceiverStep(rx, data[position]));
      position = (position + 1) % data.size();
    }
  }
};

struct SpandspV17 {
  v17_tx_state_t* tx = v17_tx_init(nullptr, 14400, false, &GetBit, this);
  v17_rx_state_t* rx = v17_rx_init(nullptr, 14400, &PutBit, this);
  std::uint32_t bits = 0x2B;
  std::array<std::int16_t, 80> samples{};

  SpandspV17(const SpandspV17&) = delete;
  SpandspV17& operator=(const SpandspV17&) = delete;
  SpandspV17() = default;
  ~SpandspV17() {
    v17_tx_free(tx);
    v17_rx_free(rx);
  }
  static int GetBit(void* user) {
    auto* self = static_cast<SpandspV17*>(user);
    self->bits = self->bits * 1103515245u + 12345u;
    return static_cast<int>((self->bits >> 16) & 1);
  }
  static void PutBit(void*, int bit) { benchmark::DoNotOptimize(bit); }
  void Block() {
    v17_tx(tx, samples.data(), static_cast<int>(samples.size()));
    v17_rx(rx, samples.data(), static_cast<int>(samples.size()));
  }
};

void BM_V32Tx(benchmark::State& state) {
  Transmitter t;
  StartData(t.tx, DataRate::k14400);
  t.tx.ones_left = 0;
  std::vector<std::int16_t> out;
  out.reserve(3 * kSymbolsPer10ms);
  auto block = [&] {
    out.clear();
    t.Symbols(TxSignal::kData, kSymbolsPer10ms, &out);
    benchmark::DoNotOptimize(out.data());
  };
  for (auto _ : state) block();
  SpandspV17 peer;
  state.counters["vs_spandsp"] = vx_bench::PairedRatio(block, [&] { peer.Block(); });
}
BENCHMARK(BM_V32Tx);

void BM_V32Rx(benchmark::State& state) {
  TrainedLink link;
  for (auto _ : state) link.Block();
  SpandspV17 peer;
  state.counters["vs_spandsp"] = vx_bench::PairedRatio([&] { link.Block(); }, [&] { peer.Block(); });
}
BENCHMARK(BM_V32Rx);

// A canceller in training or in data over our transmitter's 14400 data
// signal heard back as its own echo.
struct CancellerRun {
  Transmitter t;
  EchoCanceller ec;
  std::array<std::int16_t, 3> echo{};

  explicit CancellerRun(bool training) {
    ResetEchoCanceller(ec, 16, true);
    SetFarEchoDelay(ec, 400);
    ec.output_enabled = 1;
    if (training) {
      SetEchoSteps(ec, kEchoStepTraining, kEchoStepTraining);
      SetFarLoopGains(ec, kFarFrequencyGainTraining, kFarPhaseGainTraining);
    } else {
      SetFarLoopGains(ec, 0, kFarPhaseGainData);
    }
    StartData(t.tx, DataRate::k14400);
    t.tx.ones_left = 0;
  }

  // One symbol out, its three samples' echo (a tenth of the last symbol's
  // samples) cancelled; returns the residual of the last sample.
  std::int16_t Symbol(std::vector<std::int16_t>* out) {
    t.bits = t.bits * 1103515245u + 12345u;
    const std::uint32_t carrier = t.modulator.carrier;
    const Point symbol = NextSymbol(t.tx, TxSignal::kData, (t.bits >> 16) & 0x3F);
    ModulateSymbol(t.modulator, symbol, echo);
    PushEchoSymbol(ec, symbol, carrier);
    std::int16_t residual = 0;
    for (int p = 0; p < 3; ++p) {
      residual = CancelEcho(ec, p, static_cast<std::int16_t>(echo[p] / 10));
      if (out != nullptr) out->push_back(residual);
    }
    AdaptEcho(ec);
    return residual;
  }

  void Block() {
    for (int k = 0; k < kSymbolsPer10ms; ++k) benchmark::DoNotOptimize(Symbol(nullptr));
  }
};

void BM_V32EchoCanceller(benchmark::State& state) {
  CancellerRun run(state.range(0) == 0);
  for (auto _ : state) run.Block();
  SpandspV17 peer;
  state.counters["vs_spandsp"] = vx_bench::PairedRatio([&] { run.Block(); }, [&] { peer.Block(); });
  state.SetLabel(state.range(0) == 0 ? "training" : "data");
}
BENCHMARK(BM_V32EchoCanceller)->Arg(0)->Arg(1);

// The whole per-block work of a connection in data: our transmitter's
// symbols into the canceller (their echo cancelled), the trained receiver
// on the far signal plus the residual.
void BM_V32Block(benchmark::State& state) {
  CancellerRun near(false);
  TrainedLink link;
  std::vector<std::int16_t> residual;
  residual.reserve(3 * kSymbolsPer10ms);
  double longest = 0;
  auto block = [&] {
    residual.clear();
    for (int k = 0; k < kSymbolsPer10ms; ++k) near.Symbol(&residual);
    for (const std::int16_t r : residual) {
      const auto x = static_cast<std::int16_t>(std::clamp(link.data[link.position] + r, -32768, 32767));
      benchmark::DoNotOptimize(ReceiverStep(link.rx, x));
      link.position = (link.position + 1) % link.data.size();
    }
  };
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    block();
    longest = std::max(longest, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["max_us"] = longest;
  SpandspV17 peer;
  state.counters["vs_spandsp"] = vx_bench::PairedRatio(block, [&] { peer.Block(); });
}
BENCHMARK(BM_V32Block);

void BM_SpandspV17_14400(benchmark::State& state) {
  SpandspV17 peer;
  for (auto _ : state) peer.Block();
}
BENCHMARK(BM_SpandspV17_14400);

}  // namespace

BENCHMARK_MAIN();
