// Our modulator's line signal held against the double-precision reference:
// the reference demodulator (known carrier and timing) finds the points the
// reference encoder makes of the same bits, up to the constellation's
// rotation; S1 turns the quadrant back and forth; unscrambled ones put the
// carrier 150 Hz down, with its images 600 Hz apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "pump/framer/framer.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/v22_reference.h"
#include "pump/v22/tests/v22_line_level.h"
#include "pump/v22/v22_modulator.h"

namespace pump {
namespace {

namespace ref = testing::v22;
using Points = std::vector<std::complex<double>>;

constexpr double kPi = 3.14159265358979323846;

// The modulator's output for `blocks` blocks in `mode` on `carrier_hz`,
// framer data (raw octets) from `bytes`.
std::vector<double> Modulated(std::uint16_t mode, double carrier_hz,
                              std::span<const std::uint8_t> bytes, int blocks,
                              std::int16_t gain = 16384) {
  std::vector<double> out;
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    InitFramerTx(context, kFramerRawOctets);
    harness.Controller().StreamTx(0, bytes);
    V22TxRecord tx{};
    tx.mode = mode;
    tx.carrier_increment = static_cast<std::int16_t>(std::lround(carrier_hz * 65536 / 9600));
    tx.output_gain = gain;
    for (int b = 0; b < blocks; ++b) {
      V22Modulate(context, tx);
      out.insert(out.end(), context.output_block, context.output_block + kBlockSamples);
    }
  });
  return out;
}

// The symbols of `samples`, whose pulses peak 63.5 samples after each
// symbol starts, by the reference demodulator: aligned to its timing,
// turned so that their fourth power points as `expected`'s does (the
// constellation is symmetric under quarter turns), scaled to the
// constellation's mean power (10 in units of the inner points).
Points Heard(const std::vector<double>& samples, double carrier_hz, const Points& expected) {
  Points heard = ref::DemodulateModem(samples, carrier_hz, expected.size());
  std::complex<double> heard4 = 0;
  std::complex<double> expected4 = 0;
  double power = 0;
  for (std::size_t k = 0; k < heard.size(); ++k) {
    heard4 += std::pow(heard[k], 4);
    expected4 += std::pow(expected[k], 4);
    power += std::norm(heard[k]);
  }
  const double turn = (std::arg(expected4) - std::arg(heard4)) / 4;
  const double scale = std::sqrt(10 / (power / static_cast<double>(heard.size())));
  for (auto& p : heard) p *= std::polar(scale, turn);
  return heard;
}

std::vector<int> BitsOf(std::span<const std::uint8_t> bytes) {
  std::vector<int> bits;
  for (const std::uint8_t b : bytes) {
    for (int k = 0; k < 8; ++k) bits.push_back((b >> k) & 1);
  }
  return bits;
}

TEST(V22Transmitter, DataSymbolsAreTheReferenceEncodersUpToAQuarterTurn) {
  struct Case {
    const char* name;
    std::uint16_t mode;
    int bits_per_symbol;
    double carrier_hz;
  };
  const Case cases[] = {
      {"2400 bit/s, answerer's 2400 Hz", kV22Data2400, 4, 2400},
      {"2400 bit/s, caller's 1200 Hz", kV22Data2400, 4, 1200},
      {"1200 bit/s, answerer's 2400 Hz", kV22Data1200, 2, 2400},
      {"1200 bit/s, caller's 1200 Hz", kV22Data1200, 2, 1200},
  };
  constexpr int kBlocks = 60;  // 360 symbols
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(21);
    std::vector<std::uint8_t> bytes(400);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const std::vector<double> line = Modulated(c.mode, c.carrier_hz, bytes, kBlocks);

    const std::size_t symbols = kBlocks * 96 / ref::kSamplesPerSymbol - 8;
    const std::vector<int> data = BitsOf(bytes);
    ref::Scrambler scrambler;
    std::vector<int> line_bits;
    for (std::size_t k = 0; k < symbols * static_cast<std::size_t>(c.bits_per_symbol); ++k) {
      line_bits.push_back(scrambler.Scramble(data[k]));
    }
    ref::Encoder encoder(c.bits_per_symbol);
    const Points expected = encoder.Encode(line_bits);
    const Points heard = Heard(line, c.carrier_hz, expected);

    // The same points up to one quarter turn for the whole run.
    int best = 0;
    for (int quarter = 0; quarter < 4; ++quarter) {
      int same = 0;
      for (std::size_t k = 0; k < symbols; ++k) {
        same += std::abs(heard[k] * std::polar(1.0, quarter * kPi / 2) - expected[k]) < 1 ? 1 : 0;
      }
      best = std::max(best, same);
    }
    EXPECT_EQ(best, static_cast<int>(symbols));
    // The quadrant coding is differential: the reference decoder and
    // descrambler give the data back whatever that turn (after the first
    // symbol and the descrambler's 17 bits).
    ref::Decoder decoder(c.bits_per_symbol);
    ref::Descrambler descrambler;
    std::vector<int> back;
    for (const int b : decoder.Decode(heard)) back.push_back(descrambler.Descramble(b));
    const std::size_t skip = 24;
    ASSERT_EQ(back.size(), line_bits.size());
    const auto end = static_cast<std::ptrdiff_t>(back.size());
    EXPECT_EQ(std::vector<int>(back.begin() + skip, back.end()),
              std::vector<int>(data.begin() + skip, data.begin() + end));
    // Our interpolator against the reference's pulse, taken half a sample
    // off its peak: the points within an eighth of the distance between
    // neighbours (2).
    double worst = 0;
    for (std::size_t k = 4; k < symbols; ++k) {
      double nearest = 1e9;
      for (int quarter = 0; quarter < 4; ++quarter) {
        const auto turned = heard[k] * std::polar(1.0, quarter * kPi / 2);
        nearest = std::min(nearest, std::abs(turned - expected[k]));
      }
      worst = std::max(worst, nearest);
    }
    std::printf("%s: largest point error %.3f\n", c.name, worst);
    EXPECT_LT(worst, 0.25);
  }
}

// Random bits, then bits chosen to make the output all ones (so the
// 64-ones rule acts, again and again), then random bits: bit for bit the
// reference scrambler's output.
TEST(V22Transmitter, ScramblerMatchesTheReferenceThroughRunsOfOnes) {
  V22TxRecord tx{};
  ref::Scrambler reference;
  std::mt19937 random(5);
  std::vector<int> out;
  for (int n = 0; n < 1000; ++n) {
    int bit = static_cast<int>(random() & 1u);
    if (n >= 300 && n < 700) {
      const std::size_t at = out.size();
      bit = 1 ^ out[at - 14] ^ out[at - 17];
    }
    const int ours = V22Scramble(tx, bit);
    ASSERT_EQ(ours, reference.Scramble(bit)) << "bit " << n;
    out.push_back(ours);
  }
  EXPECT_EQ(std::count(out.begin() + 300, out.begin() + 700, 0), 400 / 65)
      << "one inverted bit after every 64 ones";
}

// S1: unscrambled double dibits 00 and 11 at 1200 bit/s, so each symbol
// turns the quadrant by 270 degrees and the next back by 90.
TEST(V22Transmitter, S1TurnsTheQuadrantBackAndForth) {
  const std::vector<double> line = Modulated(kV22SendS1, 1200, {}, 20);
  Points expected(100, {3, 1});
  const Points heard = Heard(line, 1200, expected);
  for (std::size_t k = 4; k + 1 < heard.size(); ++k) {
    const double turn = std::arg(heard[k + 1] / heard[k]) * 180 / kPi;
    EXPECT_NEAR(std::abs(turn), 90, 5) << k;
    if (k > 4) {
      const double previous = std::arg(heard[k] / heard[k - 1]) * 180 / kPi;
      EXPECT_LT(turn * previous, 0) << "turns alternate, symbol " << k;
    }
  }
}

// Unscrambled ones turn the quadrant by 270 degrees every symbol: the
// answerer's 2400 Hz carrier moves 150 Hz down to 2250 Hz, with the
// symbol rate's images at 1650 and 2850 Hz and nothing else.
TEST(V22Transmitter, UnscrambledOnesSitAt2250HzAndTheirImages) {
  const std::vector<double> line = Modulated(kV22UnscrambledOnes1200, 2400, {}, 100);
  const std::span<const double> settled(line.begin() + 960, line.end());
  auto power_at = [&](double hz) {
    std::complex<double> sum = 0;
    for (std::size_t n = 0; n < settled.size(); ++n) {
      sum += settled[n] * std::polar(1.0, -2 * kPi * hz * static_cast<double>(n) / 9600);
    }
    return 2 * std::norm(sum) / static_cast<double>(settled.size() * settled.size());
  };
  double total = 0;
  for (const double v : settled) total += v * v;
  total /= static_cast<double>(settled.size());
  const double at2250 = power_at(2250);
  const double images = power_at(1650) + power_at(2850);
  std::printf("2250 Hz %.3f, images %.3f of the power\n", at2250 / total, images / total);
  EXPECT_GT(at2250 / total, 0.8);
  EXPECT_GT(images / total, 0.005);
  EXPECT_GT((at2250 + images) / total, 0.99);
  EXPECT_LT(power_at(2400) / total, 0.001) << "no carrier at its own frequency";
}

// The line level at the -10 dBm0 setting, measured on the modulator's
// output with random data at both rates, is the one its constellation,
// pulse and gain make (V22LineDbm0): about 4 dB above the setting's name.
// The line tests set their noise from this level.
TEST(V22Transmitter, LineLevelAtTheTransmitSetting) {
  constexpr int kSetting = -10;
  std::mt19937 random(8);
  std::vector<std::uint8_t> bytes(1000);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  for (const std::uint16_t mode : {kV22Data2400, kV22Data1200}) {
    SCOPED_TRACE(mode);
    const std::vector<double> line = Modulated(mode, 1200, bytes, 150, kAfeGainTable[-kSetting]);
    double power = 0;
    for (std::size_t n = 960; n < line.size(); ++n) power += line[n] * line[n];
    power /= static_cast<double>(line.size() - 960);
    const double zero_dbm0 = plat::line::RmsAt(0);
    const double measured = 10 * std::log10(power / (zero_dbm0 * zero_dbm0));
    std::printf("line level at setting %d: %.2f dBm0 (worked out %.2f)\n", kSetting, measured,
                testing::V22LineDbm0(kSetting));
    EXPECT_NEAR(measured, testing::V22LineDbm0(kSetting), 0.15);
  }
}

}  // namespace
}  // namespace pump
