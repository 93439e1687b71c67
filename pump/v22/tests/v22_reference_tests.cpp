// The double-precision reference the modem's tests measure against: its
// scrambler follows the polynomial and its 64-ones rule, and its modulator
// and coherent demodulator carry seeded data error-free at both rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "pump/tests/support/v22_reference.h"

namespace pump::testing::v22 {
namespace {

std::vector<int> RandomBits(std::size_t n, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<int> bits(n);
  for (int& b : bits) b = static_cast<int>(random() & 1u);
  return bits;
}

TEST(V22Reference, ScramblerFollowsItsPolynomialAndTheDescramblerUndoesIt) {
  const std::vector<int> in = RandomBits(4000, 3);
  Scrambler scrambler;
  Descrambler descrambler;
  std::vector<int> out;
  std::vector<int> back;
  for (const int b : in) out.push_back(scrambler.Scramble(b));
  for (const int b : out) back.push_back(descrambler.Descramble(b));
  int run = 0;
  for (std::size_t n = 0; n < out.size(); ++n) {
    ASSERT_LT(run, 64) << "no run of 64 ones in random data";
    run = out[n] == 1 ? run + 1 : 0;
    if (n >= 17) {
      EXPECT_EQ(out[n], in[n] ^ out[n - 14] ^ out[n - 17]) << n;
    }
  }
  EXPECT_EQ(back, in);
}

// Input chosen so that, by the polynomial alone, every output bit is a 1:
// after each 64 ones the next bit is inverted into a 0.
TEST(V22Reference, SixtyFourOnesInvertTheNextInputBit) {
  Scrambler scrambler;
  Descrambler descrambler;
  std::vector<int> in;
  std::vector<int> out;
  for (std::size_t n = 0; n < 300; ++n) {
    const int older14 = n >= 14 ? out[n - 14] : 0;
    const int older17 = n >= 17 ? out[n - 17] : 0;
    in.push_back(1 ^ older14 ^ older17);
    out.push_back(scrambler.Scramble(in.back()));
  }
  for (std::size_t n = 0; n < out.size(); ++n) {
    EXPECT_EQ(out[n], n % 65 == 64 ? 0 : 1) << n;
  }
  std::vector<int> back;
  for (const int b : out) back.push_back(descrambler.Descramble(b));
  EXPECT_EQ(back, in);
}

TEST(V22Reference, SeededDataRoundTripsAtBothRatesOnBothCarriers) {
  struct Case {
    int bits_per_symbol;
    double carrier_hz;
  };
  for (const Case c : {Case{2, 1200}, Case{2, 2400}, Case{4, 1200}, Case{4, 2400}}) {
    SCOPED_TRACE(::testing::Message() << c.bits_per_symbol << " bits on " << c.carrier_hz << " Hz");
    const std::vector<int> data = RandomBits(static_cast<std::size_t>(600 * c.bits_per_symbol), 9);
    Scrambler scrambler;
    std::vector<int> line_bits;
    for (const int b : data) line_bits.push_back(scrambler.Scramble(b));
    Encoder encoder(c.bits_per_symbol);
    const std::vector<std::complex<double>> sent = encoder.Encode(line_bits);
    const std::vector<double> samples = Modulate(sent, c.carrier_hz);
    const std::vector<std::complex<double>> heard = Demodulate(samples, c.carrier_hz, sent.size());
    ASSERT_EQ(heard.size(), sent.size());
    double worst = 0;
    for (std::size_t k = 0; k < sent.size(); ++k) worst = std::max(worst, std::abs(heard[k] - sent[k]));
    EXPECT_LT(worst, 0.05) << "the pulse through its matched filter";
    Decoder decoder(c.bits_per_symbol);
    Descrambler descrambler;
    std::vector<int> back;
    for (const int b : decoder.Decode(heard)) back.push_back(descrambler.Descramble(b));
    EXPECT_EQ(back, data);
  }
}

}  // namespace
}  // namespace pump::testing::v22
