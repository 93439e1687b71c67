// The V.17 trellis decoder: the cell tables recomputed from the signal
// sets, the transmitter's encoder through Gaussian noise into the Viterbi
// decoder and traceback against a hard-decision slicer, the delay, a
// block of 25 symbols, and a tentative decision on a missing branch.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "pump/core/state_machine.h"
#include "pump/fax/fax_encoders.h"
#include "pump/fax/fax_rx_decisions.h"
#include "pump/fax/fax_rx_descramblers.h"
#include "pump/fax/fax_rx_loops.h"
#include "pump/fax/fax_rx_record.h"
#include "pump/fax/fax_rx_trellis.h"
#include "pump/fax/fax_scramblers.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/tests/support/fax_rx_line_rig.h"

namespace pump {
namespace {

struct TrellisRate {
  const char* name;
  int bits;
  std::span<const FaxPoint> set;
};

const TrellisRate kTrellisRates[] = {
    {"14400", 6, kV17_14400},
    {"12000", 5, kV17_12000},
    {"9600", 4, kV17_9600},
    {"7200", 3, kV17_7200},
};

// The cell's centre in the receiver's units (64 per set unit): the cell
// grid is in the scaled (and at 12000 and 7200 turned) coordinates.
void CellCentre(int bits, int cell, double& i, double& q) {
  const int grid_bits = bits >= 5 ? 4 : 3;
  const int size = 1 << grid_bits;
  int a = cell >> grid_bits;
  int b = cell & (size - 1);
  if (a >= size / 2) a -= size;
  if (b >= size / 2) b -= size;
  const double scale = bits == 6 || bits == 4 ? 8 : 4;
  const double u = (a + 0.5) * (65536.0 / size) / scale;
  const double v = (b + 0.5) * (65536.0 / size) / scale;
  const bool turned = bits == 5 || bits == 3;
  i = turned ? (u - v) / 2 : u;
  q = turned ? (u + v) / 2 : v;
}

TEST(FaxRxTrellis, CellTablesRecomputedFromTheSignalSets) {
  for (const TrellisRate& rate : kTrellisRates) {
    SCOPED_TRACE(rate.name);
    const std::span<const std::uint32_t> table = FaxV17CellTable(rate.bits);
    const int per_subset = 1 << (rate.bits - 2);
    ASSERT_EQ(table.size(), rate.bits >= 5 ? 256u : 64u);
    for (int cell = 0; cell < static_cast<int>(table.size()); ++cell) {
      double ci = 0;
      double cq = 0;
      CellCentre(rate.bits, cell, ci, cq);
      // The centre lies in its own cell.
      ASSERT_EQ(FaxV17Cell(rate.bits, static_cast<std::int32_t>(std::lround(ci)), static_cast<std::int32_t>(std::lround(cq))),
                static_cast<std::uint32_t>(cell));
      for (int k = 0; k < 8; ++k) {
        int best = 0;
        double best_d = 1e300;
        for (int j = 0; j < per_subset; ++j) {
          const FaxPoint p = rate.set[static_cast<std::size_t>(k * per_subset + j)];
          const double d = std::pow(64.0 * p.i - ci, 2) + std::pow(64.0 * p.q - cq, 2);
          if (d <= best_d) {
            best = j;
            best_d = d;
          }
        }
        ASSERT_EQ((table[static_cast<std::size_t>(cell)] >> (4 * k)) & 15, static_cast<std::uint32_t>(best))
            << "cell " << cell << " subset " << k;
      }
    }
  }
}

// Symbols of seeded data through the transmitter's scrambler and encoder.
struct TrellisStream {
  std::vector<std::uint32_t> data;
  std::vector<FaxPoint> points;
};

TrellisStream EncodeStream(const TrellisRate& rate, int symbols, std::mt19937& random) {
  TrellisStream s;
  FaxTxRecord tx{};
  tx.scrambler = 0x1234;
  for (int k = 0; k < symbols; ++k) {
    const std::uint32_t data = random() & ((1u << rate.bits) - 1);
    s.data.push_back(data);
    s.points.push_back(rate.set[static_cast<std::size_t>(V17Encode(tx, FaxScramble(tx, data, rate.bits), rate.bits))]);
  }
  return s;
}

double MinimumSetDistance(std::span<const FaxPoint> set) {
  double best = 1e9;
  for (std::size_t a = 0; a < set.size(); ++a) {
    for (std::size_t b = a + 1; b < set.size(); ++b) best = std::min(best, std::hypot(set[a].i - set[b].i, set[a].q - set[b].q));
  }
  return best;
}

FaxRxRecord TrellisReceiver(const TrellisRate& rate) {
  FaxRxRecord rx{};
  rx.bits = static_cast<std::uint8_t>(rate.bits);
  rx.cells = FaxV17CellTable(rate.bits).data();
  rx.descrambler = 0x1234;
  return rx;
}

struct Collected {
  std::vector<std::uint32_t> symbols;
};

void CollectSymbol(void* user, std::uint32_t bits, int) { static_cast<Collected*>(user)->symbols.push_back(bits); }

// Our Viterbi decoder and traceback on the noisy points, a traceback every
// 24 symbols: the delivered symbols, the first being the first sent.
std::vector<std::uint32_t> ViterbiDecode(const TrellisRate& rate, const std::vector<std::complex<double>>& received) {
  FaxRxRecord rx = TrellisReceiver(rate);
  Collected out;
  for (std::size_t k = 0; k < received.size(); ++k) {
    rx.y_i = static_cast<std::int32_t>(std::lround(received[k].real()));
    rx.y_q = static_cast<std::int32_t>(std::lround(received[k].imag()));
    FaxTrellisDecide(rx);
    if (k % 24 == 23) FaxTraceback(rx, CollectSymbol, &out);
  }
  return out.symbols;
}

// The hard-decision slicer: the nearest point of the whole set, decoded
// as the traceback decodes a symbol.
std::vector<std::uint32_t> SliceAndDecode(const TrellisRate& rate, const std::vector<std::complex<double>>& received) {
  FaxRxRecord rx = TrellisReceiver(rate);
  std::vector<std::uint32_t> out;
  int previous_subset = 0;
  const int per_subset = 1 << (rate.bits - 2);
  for (const auto& r : received) {
    int best = 0;
    double best_d = 1e300;
    for (std::size_t p = 0; p < rate.set.size(); ++p) {
      const double d = std::norm(r - std::complex<double>(64.0 * rate.set[p].i, 64.0 * rate.set[p].q));
      if (d < best_d) {
        best_d = d;
        best = static_cast<int>(p);
      }
    }
    const int subset = best / per_subset;
    const auto pair = static_cast<std::uint32_t>((subset >> 1) - (previous_subset >> 1)) & 3;
    previous_subset = subset;
    out.push_back(FaxDescramble(rx, static_cast<std::uint32_t>(best % per_subset) << 2 | pair, rate.bits));
  }
  return out;
}

int BitErrors(const std::vector<std::uint32_t>& sent, const std::vector<std::uint32_t>& got, std::size_t from) {
  int errors = 0;
  for (std::size_t k = from; k < got.size() && k < sent.size(); ++k) errors += std::popcount(sent[k] ^ got[k]);
  return errors;
}

// Without noise every symbol arrives, 32 symbols late: after N symbols
// N - 32 are delivered, equal to the data. With noise at about 5 % symbol
// errors for the slicer, the Viterbi decoder makes fewer bit errors.
TEST(FaxRxTrellis, ViterbiAgainstTheSlicerInNoise) {
  std::mt19937 random(4302);
  constexpr int kSymbols = 1200;
  for (const TrellisRate& rate : kTrellisRates) {
    SCOPED_TRACE(rate.name);
    const TrellisStream stream = EncodeStream(rate, kSymbols, random);
    std::vector<std::complex<double>> clean;
    for (const FaxPoint p : stream.points) clean.emplace_back(64.0 * p.i, 64.0 * p.q);
    const std::vector<std::uint32_t> exact = ViterbiDecode(rate, clean);
    ASSERT_EQ(exact.size(), static_cast<std::size_t>(kSymbols - kFaxTracebackDelay));
    EXPECT_EQ(BitErrors(stream.data, exact, 0), 0);

    const double sigma = 64 * 0.3 * MinimumSetDistance(rate.set);
    std::normal_distribution<double> noise(0, sigma);
    std::vector<std::complex<double>> noisy;
    for (const auto& c : clean) noisy.push_back(c + std::complex<double>(noise(random), noise(random)));
    const int viterbi = BitErrors(stream.data, ViterbiDecode(rate, noisy), 30);
    const int slicer = BitErrors(stream.data, SliceAndDecode(rate, noisy), 30);
    std::printf("V.17 %s: bit errors in %d symbols, Viterbi %d, slicer %d\n", rate.name, kSymbols - 62, viterbi, slicer);
    EXPECT_GT(slicer, 20) << "the noise is too weak to compare";
    EXPECT_LT(viterbi * 2, slicer);
  }
}

// A block in which the receiver took 25 symbols (the timing slipped a
// whole symbol) delivers 25, the right ones.
TEST(FaxRxTrellis, ABlockOf25SymbolsDelivers25) {
  std::mt19937 random(4303);
  const TrellisRate& rate = kTrellisRates[0];
  const TrellisStream stream = EncodeStream(rate, 24 * 4 + 25, random);
  FaxRxRecord rx = TrellisReceiver(rate);
  Collected out;
  int last = 0;
  for (std::size_t k = 0; k < stream.points.size(); ++k) {
    rx.y_i = 64 * stream.points[k].i;
    rx.y_q = 64 * stream.points[k].q;
    FaxTrellisDecide(rx);
    if ((k < 96 && k % 24 == 23) || k + 1 == stream.points.size()) last = FaxTraceback(rx, CollectSymbol, &out);
  }
  EXPECT_EQ(last, 25);
  ASSERT_EQ(out.symbols.size(), stream.points.size() - kFaxTracebackDelay);
  EXPECT_EQ(BitErrors(stream.data, out.symbols, 0), 0);
}

// A branch between the last two best states that the trellis lacks makes
// the tentative decision invalid, and the loops leave their state alone;
// a branch that exists names its subset's candidate.
TEST(FaxRxTrellis, TentativeDecisionOnAMissingBranchIsInvalid) {
  const TrellisRate& rate = kTrellisRates[2];
  FaxRxRecord rx = TrellisReceiver(rate);
  // Only state 1 is cheap: the new best state is one of 4 to 7, which
  // have no branch from the previous best state 0.
  for (int s = 0; s < 8; ++s) rx.metrics[s] = s == 1 ? 0 : 1 << 20;
  rx.best_state = 0;
  rx.y_i = 64 * rate.set[5].i;
  rx.y_q = 64 * rate.set[5].q;
  rx.d_i = 777;
  rx.d_q = -777;
  FaxTrellisDecide(rx);
  EXPECT_GE(rx.best_state, 4);
  EXPECT_EQ(FaxV17BranchSubset(0, rx.best_state), -1);
  EXPECT_EQ(rx.valid, 0);
  EXPECT_EQ(rx.d_i, 777);
  EXPECT_EQ(rx.d_q, -777);
  // The loops then leave the carrier, the amplitude correction and the
  // decision-error average as they were.
  rx.enables.carrier_loop = rx.enables.amplitude_loop = rx.enables.adaptation = 1;
  rx.phase_gain = rx.frequency_gain = 0x40000000;
  rx.amplitude_shift = 7;
  rx.carrier_phase = 12345;
  rx.correction2 = -54321;
  rx.error_average = 99;
  FaxLoops(rx);
  EXPECT_EQ(rx.carrier_phase, 12345);
  EXPECT_EQ(rx.carrier_frequency, 0);
  EXPECT_EQ(rx.correction2, -54321);
  EXPECT_EQ(rx.error_average, 99);
  EXPECT_EQ(rx.phase_error, 0);
  // From state 0, new state 0 runs through subset 0.
  FaxRxRecord ok = TrellisReceiver(rate);
  for (int s = 0; s < 8; ++s) ok.metrics[s] = s == 0 ? 0 : 1 << 20;
  ok.y_i = 64 * rate.set[1].i;  // subset 0's second point
  ok.y_q = 64 * rate.set[1].q;
  FaxTrellisDecide(ok);
  EXPECT_EQ(ok.best_state, 0);
  EXPECT_EQ(ok.valid, 1);
  EXPECT_EQ(ok.point, 1);
  EXPECT_EQ(ok.d_i, 64 * rate.set[1].i);
}


// Through the whole symbol loop in data on our V.17 14400 line: after a
// block, the path metrics are set so that the next symbol's best state
// has no branch from the last one, and the receive machine is moved to a
// table that decides that symbol and then turns decisions off (which
// stops every loop and the adaptation for the rest of the block). The
// equaliser taps, both amplitude corrections, the carrier frequency and
// the decision-error average are then those before the symbol, and the
// carrier phase moved only by the frequency. With the metrics left alone
// (a valid decision) the same symbol moves the taps.
void DecideOneSymbol(DspContext& context) { FaxDecide(context.fax.rx); }
void StopDeciding(DspContext& context) { context.fax.rx.enables.decisions = 0; }
constexpr StateEntry<DspContext> kOneDecision[] = {{DecideOneSymbol, 1, "DecideOneSymbol"},
                                                   {StopDeciding, -1, "StopDeciding"}};

TEST(FaxRxTrellis, MissingBranchLeavesTapsAndLoopsInTheSymbolLoop) {
  constexpr std::uint8_t kV17_14400Config = 0xE9;
  const std::vector<std::uint8_t> data = testing::FaxRxSeededBytes(400, 4325);
  const std::vector<std::int16_t> line = testing::FaxRxTransmitted(kV17_14400Config, data);
  const auto plan = testing::FaxRxPlanFor(testing::FaxRxModeWord(kV17_14400Config), testing::kFaxRxToneStart);
  for (const bool missing : {true, false}) {
    SCOPED_TRACE(missing ? "missing branch" : "valid branch");
    int data_blocks = 0;
    FaxRxRecord before{};
    FaxRxRecord after{};
    testing::FaxRxReceive(kV17_14400Config, plan, line, [&](DspContext& c) {
      FaxRxRecord& rx = c.fax.rx;
      if (rx.enables.data_output == 0 || rx.level_average < 16384) return;
      ++data_blocks;
      if (data_blocks == 20) {
        before = rx;
        if (missing) {
          for (int s = 0; s < 8; ++s) rx.metrics[s] = s == 1 ? 0 : 1 << 20;
          rx.best_state = 0;
        }
        SetStateMachine(rx.machine, StateOp::kGo, kOneDecision);
      } else if (data_blocks == 21) {
        after = rx;
      }
    });
    ASSERT_EQ(data_blocks >= 21, true);
    ASSERT_NE(before.carrier_frequency, 0);
    EXPECT_EQ(after.valid, missing ? 0 : 1);
    const bool taps_same = std::equal(std::begin(before.tap_i), std::end(before.tap_i), std::begin(after.tap_i)) &&
                           std::equal(std::begin(before.tap_q), std::end(before.tap_q), std::begin(after.tap_q));
    if (!missing) {
      EXPECT_FALSE(taps_same);
      continue;
    }
    EXPECT_GE(after.best_state, 4);
    EXPECT_TRUE(taps_same);
    EXPECT_EQ(after.correction1, before.correction1);
    EXPECT_EQ(after.correction2, before.correction2);
    EXPECT_EQ(after.carrier_frequency, before.carrier_frequency);
    EXPECT_EQ(after.error_average, before.error_average);
    EXPECT_EQ(static_cast<std::uint32_t>(after.carrier_phase),
              static_cast<std::uint32_t>(before.carrier_phase) + static_cast<std::uint32_t>(before.carrier_frequency >> 5));
  }
}

}  // namespace
}  // namespace pump
