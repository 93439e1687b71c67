// Training segments measured on the line by the double-precision reference
// demodulator, against the symbol counts of the V.27ter, V.29 and V.17
// recommendations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <complex>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "pump/fax/fax_signal_sets.h"
#include "pump/fax/tests/fax_reference_demod.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using Points = std::vector<std::complex<double>>;

// V.29's carrier as the transmitter makes it: 11604/65536 of a turn a
// sample at 9600 Hz, 1699.8 Hz (within the recommendation's 1 Hz).
constexpr double kFaxV29Carrier = 11604.0 * 9600 / 65536;

// The reference demodulator's view of each modulation: carrier, samples
// per symbol, the echo-protection tone's point, and the matched filter's
// roll-off (V.27ter's 50 %; for V.29 and V.17 the 30 % that leaves the
// least interference with the transmitter's shaping).
constexpr testing::FaxReferenceLine kFaxV29Line = {kFaxV29Carrier, 4, {48, 16}, 0.3};
constexpr testing::FaxReferenceLine kFaxV17Line = {1800, 4, {48, 16}, 0.3};
constexpr testing::FaxReferenceLine kFaxV27ter4800Line = {1800, 6, {48, 16}, 0.5};
constexpr testing::FaxReferenceLine kFaxV27ter2400Line = {1800, 8, {48, 16}, 0.5};

// A burst configured by 0x73 (kind and rate code in byte 0) sending zero
// octets, ended by 0x74 five blocks into the data while zeros are still
// queued, so the tail follows zeros; the whole line at 9600 Hz.
std::vector<std::int16_t> SegmentBurst(std::uint8_t config) {
  std::vector<std::int16_t> line;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x00});
    const std::vector<std::uint8_t> zeros(32, 0);
    for (int in_data = 0; in_data < 5;) {
      controller.FillTx(0, zeros);
      harness.RunBlocks(1);
      if (harness.Context().transmitting == 1) ++in_data;
    }
    controller.Exchange(0x74);
    harness.RunBlocks(40);
    line = harness.Afe().LineOutput();
  });
  return line;
}

// The length of the run of decisions from `from` on for which
// `belongs(index)` holds.
std::size_t LeadingRun(const testing::FaxDecisions& d, std::size_t from, auto&& belongs) {
  std::size_t n = from;
  while (n < d.size() && belongs(n)) ++n;
  return n - from;
}

std::size_t FirstSound(const testing::FaxDecisions& d) {
  std::size_t n = 0;
  while (n < d.size() && d[n] < 0) ++n;
  return n;
}

// The self-synchronising descrambler 1 + x^-tap1 + x^-tap2 over line bits
// (first bit first); its first tap2 outputs lack their history and read 0.
std::vector<int> DescrambleLineBits(const std::vector<int>& scrambled, std::size_t tap1, std::size_t tap2) {
  std::vector<int> bits(scrambled.size());
  for (std::size_t n = tap2; n < scrambled.size(); ++n) bits[n] = scrambled[n] ^ scrambled[n - tap1] ^ scrambled[n - tap2];
  return bits;
}

// A V.17 burst read from the line symbol by symbol. A symbol carries
// scrambled line bits read one of three ways:
// - conditioning: A, B, C, D carry the dibits 11, 10, 00, 01 (first bit
//   first);
// - bridge: the turn from the last point, 0, 1, 2 or 3 quarter turns,
//   carries 01, 00, 10, 11;
// - data: the nearest point of the data set gives the subset (the
//   differential pair, turned from the last pair or at first from the last
//   training point, and the trellis bit) and the uncoded bits.
// One descrambler, 1 + x^-18 + x^-23, runs over the line's bits from the
// conditioning on. A segment's own reading may hold for a few symbols past
// its end by chance; it ends where the next one's reading holds for the
// symbols ahead: the bridge word 0x8880 (low bit first) for 16 symbols, or
// ones for 12 (a chance match of 32 bits, or 36 or more).
struct V17Measured {
  std::size_t alternation = 0, conditioning = 0, bridge = 0, marks = 0, tail = 0;
};

class V17LineReader {
 public:
  template <std::size_t kPoints>
  V17LineReader(const std::vector<std::complex<double>>& symbols, const std::array<FaxPoint, kPoints>& set, int bits_per_symbol)
      : bits_per_symbol_(bits_per_symbol) {
    const Points abcd = {{-48, -16}, {16, -48}, {48, 16}, {-16, 48}};
    Points data_set;
    for (const FaxPoint p : set) data_set.emplace_back(p.i, p.q);
    for (const auto y : symbols) {
      point_.push_back(testing::FaxReferenceNearest(y, abcd));
      data_index_.push_back(testing::FaxReferenceNearest(y, data_set));
    }
  }

  V17Measured Measure(const std::vector<std::complex<double>>& symbols) {
    V17Measured m;
    std::size_t k = 0;
    while (k < point_.size() && point_[k] == static_cast<int>(k % 2)) ++k;
    m.alternation = k;
    const std::size_t conditioning_start = k;
    for (; k < point_.size(); ++k) {
      Append(Conditioning(k));
      // Ones, or no history yet.
      const std::vector<int> last = Descrambled({}, 2);
      if (std::count(last.begin(), last.end(), 0) > 0) break;
    }
    k = SegmentEnd(conditioning_start, k, [&](std::size_t at) { return BridgeAhead(at) || MarksAhead(at); });
    m.conditioning = k - conditioning_start;
    const std::size_t bridge_start = k;
    for (; k < point_.size(); ++k) {
      const bool follows = Descrambled(Bridge(k)) == BridgeWord(k - bridge_start, 1);
      Append(Bridge(k));
      if (!follows) break;
    }
    k = SegmentEnd(bridge_start, k, [&](std::size_t at) { return MarksAhead(at); });
    m.bridge = k - bridge_start;
    // Data up to the last symbol above silence: ones before the first zero
    // and after the last.
    std::size_t end = symbols.size();
    while (end > k && std::abs(symbols[end - 1]) < 10) --end;
    const std::vector<int> bits = Descrambled(Data(k, end - k));
    std::size_t first_zero = 0, last_zero = bits.size();
    while (first_zero < bits.size() && bits[first_zero] == 1) ++first_zero;
    while (last_zero > 0 && bits[last_zero - 1] == 1) --last_zero;
    m.marks = first_zero / static_cast<std::size_t>(bits_per_symbol_);
    m.tail = (bits.size() - last_zero) / static_cast<std::size_t>(bits_per_symbol_);
    return m;
  }

 private:
  // A segment from `start` whose own reading held up to `failed` may have
  // run on by chance: it ends at the first of the last few symbols from
  // which the next segment's reading holds ahead (`next_ahead`), or at
  // `failed`. The line's bits are cut back to the segment's end.
  std::size_t SegmentEnd(std::size_t start, std::size_t failed, auto&& next_ahead) {
    const std::vector<int> read = line_;
    const std::size_t bits_before = read.size() - 2 * (std::min(failed + 1, point_.size()) - start);
    const auto cut_at = [&](std::size_t at) { line_.assign(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(bits_before + 2 * (at - start))); };
    for (std::size_t at = std::max(start, failed >= 8 ? failed - 8 : 0); at < failed; ++at) {
      cut_at(at);
      if (at + 16 < point_.size() && next_ahead(at)) return at;
    }
    cut_at(failed);
    return failed;
  }

  std::vector<int> Conditioning(std::size_t k) const {
    constexpr int kBits[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    return {kBits[point_[k]][0], kBits[point_[k]][1]};
  }

  std::vector<int> Bridge(std::size_t k) const {
    constexpr int kBits[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
    const int turn = (point_[k] - point_[k - 1] + 4) % 4;
    return {kBits[turn][0], kBits[turn][1]};
  }

  // The bridge word's bits for `symbols` symbols from symbol `from` of the
  // bridge.
  static std::vector<int> BridgeWord(std::size_t from, std::size_t symbols) {
    constexpr std::uint32_t kWord = 0x8880;
    std::vector<int> bits;
    for (std::size_t b = 2 * from; b < 2 * (from + symbols); ++b) bits.push_back(static_cast<int>(kWord >> (b % 16) & 1));
    return bits;
  }

  // The data bits of `count` symbols from `k`, the first turned from the
  // last training point.
  std::vector<int> Data(std::size_t k, std::size_t count) const {
    std::vector<int> bits;
    int pair = point_[k - 1];
    for (std::size_t s = k; s < k + count; ++s) {
      const int next_pair = data_index_[s] >> (bits_per_symbol_ - 1);
      const int change = (next_pair - pair + 4) % 4;
      pair = next_pair;
      bits.insert(bits.end(), {change & 1, change >> 1});
      for (int b = 0; b < bits_per_symbol_ - 2; ++b) bits.push_back(data_index_[s] >> b & 1);
    }
    return bits;
  }

  void Append(const std::vector<int>& bits) { line_.insert(line_.end(), bits.begin(), bits.end()); }

  // What the descrambler gives for `extra` after the line's bits so far
  // (or, with `back`, for the line's last `back` bits); -1 before it has
  // 23 bits of history.
  std::vector<int> Descrambled(const std::vector<int>& extra, std::size_t back = 0) const {
    const std::size_t from = line_.size() - back;
    const auto bit = [&](std::size_t g) { return g < line_.size() ? line_[g] : extra[g - line_.size()]; };
    std::vector<int> out;
    for (std::size_t g = from; g < line_.size() + extra.size(); ++g) out.push_back(g >= 23 ? bit(g) ^ bit(g - 18) ^ bit(g - 23) : -1);
    return out;
  }

  bool BridgeAhead(std::size_t k) const {
    std::vector<int> bits;
    for (std::size_t s = k; s < k + 16; ++s) {
      const std::vector<int> dibit = Bridge(s);
      bits.insert(bits.end(), dibit.begin(), dibit.end());
    }
    return Descrambled(bits) == BridgeWord(0, 16);
  }

  bool MarksAhead(std::size_t k) const {
    const std::vector<int> bits = Descrambled(Data(k, 12));
    return std::all_of(bits.begin(), bits.end(), [](int b) { return b == 1; });
  }

  int bits_per_symbol_;
  std::vector<int> point_;       // nearest of A-D
  std::vector<int> data_index_;  // nearest of the data set
  std::vector<int> line_;        // scrambled line bits from the conditioning on
};

// V.17 at every rate, long and short training, with 0x74 in the middle of
// zeros: 256 symbols of alternation, 2976 (short: 38) of conditioning, a
// bridge of 64 (short: none), 48 symbols of marks and the first data
// symbol, ones too (the controller's data starts after it), and after the
// last zero a tail of 168 symbols of marks.
TEST(FaxTxBursts, V17SegmentsMeasuredOnTheLine) {
  struct Row {
    const char* name;
    std::uint8_t config;  // 0x73 byte 0: kind 14 long, 13 short
    V17Measured expected;
  };
  const V17Measured long_training = {256, 2976, 64, 49, 168}, short_training = {256, 38, 0, 49, 168};
  const Row rows[] = {
      {"14400 long", 0xE9, long_training}, {"12000 long", 0xE8, long_training},
      {"9600 long", 0xE7, long_training},  {"7200 long", 0xE6, long_training},
      {"14400 short", 0xD9, short_training}, {"12000 short", 0xD8, short_training},
      {"9600 short", 0xD7, short_training},  {"7200 short", 0xD6, short_training},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto symbols = testing::FaxReferenceSymbols(SegmentBurst(row.config), kFaxV17Line);
    const auto reader = [&]() -> V17LineReader {
      switch (row.config & 0x0F) {
        case 9: return {symbols, kV17_14400, 6};
        case 8: return {symbols, kV17_12000, 5};
        case 7: return {symbols, kV17_9600, 4};
        default: return {symbols, kV17_7200, 3};
      }
    };
    const V17Measured m = reader().Measure(symbols);
    EXPECT_EQ(m.alternation, row.expected.alternation);
    EXPECT_EQ(m.conditioning, row.expected.conditioning);
    EXPECT_EQ(m.bridge, row.expected.bridge);
    EXPECT_EQ(m.marks, row.expected.marks);
    EXPECT_EQ(m.tail, row.expected.tail);
  }
}

// The data of a V.29 or V.27ter burst after its training, from symbol
// `from` up to the last above silence: the phase change from the symbol
// before gives three bits (the two recommendations' table) or two (00, 01,
// 11, 10 for 0, 1, 2, 3 quarter turns), first bit first; V.29 9600 sends
// its amplitude bit before them (3 or 5 on the axes, sqrt 2 or 3 sqrt 2 on
// the diagonals, 14 per unit). The bits pass the descrambler (1 + x^-18 +
// x^-23, or V.27ter's 1 + x^-6 + x^-7, whose guard never acts on the zeros
// and marks measured here); once it has its history, the marks run up to
// the first zero, and the tail from the last zero.
struct FaxPhaseCode {
  bool amplitude_bit;
  int phase_bits;
  std::size_t tap1, tap2;
};

struct FaxMarksAndTail {
  std::size_t marks, tail;
};

FaxMarksAndTail MeasureMarksAndTail(const std::vector<std::complex<double>>& symbols, std::size_t from,
                                    const FaxPhaseCode& code) {
  constexpr int kTribitOfChange[8] = {0b001, 0b000, 0b010, 0b011, 0b111, 0b110, 0b100, 0b101};
  constexpr int kDibitOfChange[4] = {0b00, 0b01, 0b11, 0b10};
  const auto eighths = [&](std::size_t k) { return (std::lround(std::arg(symbols[k]) / (std::numbers::pi / 4)) % 8 + 8) % 8; };
  std::size_t end = symbols.size();
  while (end > from && std::abs(symbols[end - 1]) < 10) --end;
  std::vector<int> scrambled;
  for (std::size_t k = from; k < end; ++k) {
    const long change = (eighths(k) - eighths(k - 1) + 8) % 8;
    if (code.amplitude_bit) {
      const double outer = eighths(k) % 2 == 0 ? 4 * 14 : 2 * 14 * std::numbers::sqrt2;
      scrambled.push_back(std::abs(symbols[k]) > outer ? 1 : 0);
    }
    const int bits = code.phase_bits == 3 ? kTribitOfChange[change] : kDibitOfChange[change / 2];
    for (int b = code.phase_bits - 1; b >= 0; --b) scrambled.push_back(bits >> b & 1);
  }
  const std::vector<int> bits = DescrambleLineBits(scrambled, code.tap1, code.tap2);
  const std::size_t per_symbol = scrambled.size() / (end - from);
  std::size_t first_zero = code.tap2, last_zero = bits.size();
  while (first_zero < bits.size() && bits[first_zero] == 1) ++first_zero;
  while (last_zero > 0 && bits[last_zero - 1] == 1) --last_zero;
  return {first_zero / per_symbol, (bits.size() - last_zero) / per_symbol};
}

// V.29 at every rate, with 0x74 in the middle of zeros: 128 symbols
// alternating A and B, then 384 of C and D in the order of 1 + x^-6 +
// x^-7 (each C/D bit the sum of the sixth and seventh before it), 48 of
// marks and the first data symbol, ones too (the controller's data starts
// after it), and after the last zero a tail of 48 symbols of marks. Points
// in the transmitter's units (14, 22 and 21.33 per unit at 9600, 7200 and
// 4800).
TEST(FaxTxBursts, V29SegmentsMeasuredOnTheLine) {
  struct Row {
    const char* name;
    std::uint8_t config;  // 0x73 byte 0
    Points abcd;
    FaxPhaseCode code;
  };
  const Row rows[] = {
      {"9600", 0xB7, {{-42, 0}, {42, -42}, {42, 0}, {-42, 42}}, {true, 3, 18, 23}},
      {"7200", 0xB6, {{-66, 0}, {22, -22}, {66, 0}, {-22, 22}}, {false, 3, 18, 23}},
      {"4800", 0xB5, {{-64, 0}, {0, -64}, {64, 0}, {0, 64}}, {false, 2, 18, 23}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto symbols = testing::FaxReferenceSymbols(SegmentBurst(row.config), kFaxV29Line);
    const testing::FaxDecisions d = testing::FaxReferenceDecide(symbols, kFaxV29Line, row.abcd);
    std::size_t n = FirstSound(d);
    const std::size_t alternation = LeadingRun(d, n, [&](std::size_t k) { return d[k] == static_cast<int>((k - n) % 2); });
    n += alternation;
    const std::size_t from = n;
    const std::size_t conditioning = LeadingRun(d, n, [&](std::size_t k) {
      return d[k] >= 2 && (k < from + 7 || d[k] - 2 == ((d[k - 6] - 2) ^ (d[k - 7] - 2)));
    });
    const FaxMarksAndTail data = MeasureMarksAndTail(symbols, from + conditioning, row.code);
    EXPECT_EQ(alternation, 128u);
    // The first mark may by chance be the point the pattern sends next.
    EXPECT_GE(conditioning, 384u);
    EXPECT_LE(conditioning, 385u);
    EXPECT_EQ(conditioning + data.marks, 384u + 49);
    EXPECT_EQ(data.tail, 48u);
  }
}

// V.27ter at 4800 and 2400 bit/s, with 0x74 in the middle of zeros: 50
// symbols of phase reversals, then 1074 of conditioning whose phase only
// turns by half a turn or not at all (two-phase scrambled ones), 8 of
// marks and the first data symbol, ones too, and after the last zero a
// tail of 8 symbols of marks. Decisions are among the 8 phases of 45
// degrees at the transmitter's radius 42.
TEST(FaxTxBursts, V27terSegmentsMeasuredOnTheLine) {
  Points phases;
  for (int k = 0; k < 8; ++k) phases.push_back(std::polar(42.0, k * std::numbers::pi / 4));
  struct Row {
    const char* name;
    std::uint8_t config;
    testing::FaxReferenceLine line;
    FaxPhaseCode code;
  };
  const Row rows[] = {
      {"4800", 0xA5, kFaxV27ter4800Line, {false, 3, 6, 7}},
      {"2400", 0xA4, kFaxV27ter2400Line, {false, 2, 6, 7}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto symbols = testing::FaxReferenceSymbols(SegmentBurst(row.config), row.line);
    const testing::FaxDecisions d = testing::FaxReferenceDecide(symbols, row.line, phases);
    const std::size_t n = FirstSound(d);
    // The conditioning's first symbol keeps the phase.
    const std::size_t reversals = LeadingRun(d, n, [&](std::size_t k) { return k == n || d[k] == (d[k - 1] + 4) % 8; });
    const std::size_t two_phase = LeadingRun(d, n, [&](std::size_t k) { return d[k] >= 0 && d[k] % 4 == d[n] % 4; });
    const FaxMarksAndTail data = MeasureMarksAndTail(symbols, n + two_phase, row.code);
    EXPECT_EQ(reversals, 50u);
    EXPECT_EQ(two_phase - reversals, 1074u);
    EXPECT_EQ(data.marks, 9u);
    EXPECT_EQ(data.tail, 8u);
  }
}

}  // namespace
}  // namespace pump
