// The transmitter's line samples in data against the reference modulator
// fed the same symbols, after aligning delay, scale and carrier phase.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdint>
#include <vector>

#include "pump/fax/fax_mode.h"
#include "pump/fax/tests/fax_reference_mod.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

struct FaxSentLine {
  std::vector<std::complex<double>> symbols;  // every symbol the transmitter shaped, from the first block
  std::size_t first_data_symbol = 0;
  int samples_per_symbol = 0;
  std::vector<std::int16_t> line;  // the whole line at 9600 Hz
};

// A burst configured by 0x73 (kind and rate code in byte 0) sending
// zero octets until eight blocks into the data (the line lags the symbols by the front end's latency); each block's symbols read
// from the shaping history the block leaves.
FaxSentLine SendFaxBurst(std::uint8_t config) {
  FaxSentLine sent;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x00});
    const FaxTxRecord& tx = harness.Context().fax.tx;
    const FaxRate rate = FaxRateOf(harness.Context().fax.mode_word);
    sent.samples_per_symbol = rate.samples_per_symbol;
    const std::vector<std::uint8_t> zeros(32, 0);
    for (int in_data = 0; in_data < 8;) {
      const std::uint32_t before = tx.newest;
      controller.FillTx(0, zeros);
      harness.RunBlocks(1);
      ASSERT_EQ((before + static_cast<std::uint32_t>(rate.symbols_per_block)) % kFaxShapingSymbols, tx.newest);
      for (int k = rate.symbols_per_block - 1; k >= 0; --k) {
        const std::uint32_t at = (tx.newest + kFaxShapingSymbols - static_cast<std::uint32_t>(k)) % kFaxShapingSymbols;
        sent.symbols.emplace_back(tx.history_i[at], tx.history_q[at]);
      }
      if (harness.Context().transmitting == 1 && in_data++ == 0) {
        sent.first_data_symbol = sent.symbols.size() - static_cast<std::size_t>(rate.symbols_per_block);
      }
    }
    sent.line = harness.Afe().LineOutput();
  });
  return sent;
}

// How far the line is from the reference fed the same symbols: the
// residual's RMS relative to the line's over two blocks of data (from the
// sixteenth data symbol on), at the best delay (the first symbol's pulse
// centre, in eighths of a sample) with the least-squares complex gain.
double FaxLineError(const FaxSentLine& sent, const testing::FaxReferenceCarrier& how) {
  std::size_t first_sound = 0;
  while (first_sound < sent.line.size() && sent.line[first_sound] == 0) ++first_sound;
  std::size_t first_symbol = 0;
  while (first_symbol < sent.symbols.size() && sent.symbols[first_symbol] == 0.0) ++first_symbol;
  const double rough = static_cast<double>(first_sound) - static_cast<double>(first_symbol) * sent.samples_per_symbol;
  const auto from = static_cast<std::size_t>(rough) + (sent.first_data_symbol + 16) * static_cast<std::size_t>(sent.samples_per_symbol);
  const std::size_t to = from + 192;
  if (to > sent.line.size()) return 1;
  const auto error_at = [&](double delay) {
    double rr = 0, ri = 0, ii = 0, or_ = 0, oi = 0, oo = 0;
    std::vector<std::complex<double>> z;
    for (std::size_t m = from; m < to; ++m) {
      const std::complex<double> v = testing::FaxReferenceAnalyticAt(sent.symbols, how, delay, static_cast<double>(m));
      z.push_back(v);
      const double o = sent.line[m];
      rr += v.real() * v.real(), ri += v.real() * v.imag(), ii += v.imag() * v.imag();
      or_ += o * v.real(), oi += o * v.imag(), oo += o * o;
    }
    // line ~ a Re z + b Im z, by least squares.
    const double det = rr * ii - ri * ri;
    if (det <= 0 || oo <= 0) return 1.0;  // nothing of the line explained
    const double a = (or_ * ii - oi * ri) / det;
    const double b = (oi * rr - or_ * ri) / det;
    double residual = 0;
    for (std::size_t m = from; m < to; ++m) {
      const double e = sent.line[m] - (a * z[m - from].real() + b * z[m - from].imag());
      residual += e * e;
    }
    return std::sqrt(residual / oo);
  };
  double best_delay = rough, best = 1e9;
  for (double d = rough; d < rough + 32; d += 1) {  // the shaping centres a pulse within its 32 taps
    const double e = error_at(d);
    if (e < best) best = e, best_delay = d;
  }
  for (double d = best_delay - 1; d <= best_delay + 1; d += 1.0 / 8) best = std::min(best, error_at(d));
  return best;
}

struct FaxLineSignalRow {
  const char* name;
  std::uint8_t config;  // 0x73 byte 0
  testing::FaxReferenceCarrier carrier;
  double bound;               // of FaxLineError
  double wrong_rolloff;       // a shaping the bound must reject
  double wrong_symbol_rate;   // a symbol rate the bound must reject
};

// Each modulation's data against the reference with the recommendations'
// carrier and symbol rate and a root-raised-cosine shaping: V.27ter's
// 50 % at both rates; V.29's and V.17's 30 %. The bounds allow for the
// transmitter's 32-tap prototypes being the pulse cut to 4 (V.27ter
// 2400), 5.3 (V.27ter 4800) or 8 symbols (V.29, V.17) and for V.29's
// carrier being 1699.8 Hz; each is missed when the carrier is mirrored (the
// sign of Q sin), 100 Hz off, the symbol rate is another modulation's, or
// the roll-off is wrong.
TEST(FaxTxLineSignal, DataMatchesTheReferenceModulator) {
  const FaxLineSignalRow rows[] = {
      {"V.27ter 2400", 0xA4, {1800, 1200, 0.5}, 0.10, 0.9, 1600},
      {"V.27ter 4800", 0xA5, {1800, 1600, 0.5}, 0.06, 0.9, 1200},
      {"V.29 9600", 0xB7, {1700, 2400, 0.3}, 0.04, 0.5, 1600},
      {"V.17 14400", 0xD9, {1800, 2400, 0.3}, 0.04, 0.5, 1600},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const FaxSentLine sent = SendFaxBurst(row.config);
    const testing::FaxReferenceCarrier c = row.carrier;
    const double error = FaxLineError(sent, c);
    std::printf("%s: %.4f of the line's RMS (bound %.2f)\n", row.name, error, row.bound);
    EXPECT_LE(error, row.bound);
    FaxSentLine mirrored = sent;
    for (auto& s : mirrored.symbols) s = std::conj(s);
    EXPECT_GT(FaxLineError(mirrored, c), 2 * row.bound) << "mirrored carrier";
    EXPECT_GT(FaxLineError(sent, {c.carrier_hz + 100, c.symbol_rate, c.rolloff}), 2 * row.bound) << "carrier 100 Hz up";
    EXPECT_GT(FaxLineError(sent, {c.carrier_hz, row.wrong_symbol_rate, c.rolloff}), 2 * row.bound) << "symbol rate";
    EXPECT_GT(FaxLineError(sent, {c.carrier_hz, c.symbol_rate, row.wrong_rolloff}), row.bound) << "roll-off";
  }
}

}  // namespace
}  // namespace pump
