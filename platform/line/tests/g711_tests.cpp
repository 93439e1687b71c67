#include <gtest/gtest.h>

// spandsp serves only as an independent reference here; its headers need this order.
// clang-format off
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
// clang-format on

#include <cstdint>

#include "platform/line/g711.h"

namespace plat::line {
namespace {

// The recommendation's quantisation: per segment, the first decision value
// and the width of its 16 intervals; decoders give each interval's middle.
struct Segment {
  int first;
  int step;
};
// Mu-law, 14-bit magnitudes: segment ends 31, 95, 223, 479, 991, 2015, 4063,
// 8159; the first interval of segment 0 is [0, 1) and decodes to 0.
constexpr Segment kMuLaw[8] = {{-1, 2},   {31, 4},   {95, 8},     {223, 16},
                               {479, 32}, {991, 64}, {2015, 128}, {4063, 256}};
// A-law, 12-bit magnitudes: segments 0 and 1 both of step 2, then doubling.
constexpr Segment kALaw[8] = {{0, 2},    {32, 2},   {64, 4},    {128, 8},
                              {256, 16}, {512, 32}, {1024, 64}, {2048, 128}};

struct Quantised {
  int segment;
  int step;
  int value;  // the interval's middle
};

Quantised Quantise(const Segment (&table)[8], int magnitude) {
  for (int s = 7; s >= 0; --s) {
    if (magnitude >= table[s].first) {
      const int q = std::min(15, (magnitude - table[s].first) / table[s].step);
      return {s, q, table[s].first + q * table[s].step + table[s].step / 2};
    }
  }
  return {0, 0, table[0].first + table[0].step / 2};
}

TEST(LineImpairments, G711FollowsTheRecommendationsSegments) {
  for (int x = -32768; x <= 32767; ++x) {
    const auto sample = static_cast<std::int16_t>(x);
    SCOPED_TRACE(x);
    // Mu-law: sign and magnitude of the 14-bit value; the character signal is
    // sign (1 = negative), segment, interval, every bit inverted.
    const Quantised mu = Quantise(kMuLaw, std::abs(x) >> 2);
    const int mu_character = (x < 0 ? 0x80 : 0) | mu.segment << 4 | mu.step;
    ASSERT_EQ(LinearToMuLaw(sample), static_cast<std::uint8_t>(~mu_character));
    ASSERT_EQ(MuLawToLinear(LinearToMuLaw(sample)), (x < 0 ? -4 : 4) * mu.value);
    // A-law: 12-bit magnitude, negative values mirrored; sign 1 = positive, even
    // bits inverted.
    const Quantised a = Quantise(kALaw, (x < 0 ? -x - 1 : x) >> 3);
    const int a_character = (x >= 0 ? 0x80 : 0) | a.segment << 4 | a.step;
    ASSERT_EQ(LinearToALaw(sample), a_character ^ 0x55);
    ASSERT_EQ(ALawToLinear(LinearToALaw(sample)), (x < 0 ? -8 : 8) * a.value);
  }
  // The recommendation's extremes: mu-law decodes to +-8031, A-law to +-4032.
  EXPECT_EQ(MuLawToLinear(0x80), 8031 * 4);
  EXPECT_EQ(MuLawToLinear(0x00), -8031 * 4);
  EXPECT_EQ(ALawToLinear(0xAA), 4032 * 8);
  EXPECT_EQ(LinearToMuLaw(0), 0xFF);
  EXPECT_EQ(LinearToALaw(0), 0xD5);
}

TEST(LineImpairments, G711MatchesSpandsp) {
  for (int x = -32768; x <= 32767; ++x) {
    const auto sample = static_cast<std::int16_t>(x);
    ASSERT_EQ(LinearToMuLaw(sample), linear_to_ulaw(x)) << x;
    ASSERT_EQ(LinearToALaw(sample), linear_to_alaw(x)) << x;
  }
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    ASSERT_EQ(MuLawToLinear(c), ulaw_to_linear(c)) << code;
    ASSERT_EQ(ALawToLinear(c), alaw_to_linear(c)) << code;
    EXPECT_EQ(Compand(Companding::kMuLaw, MuLawToLinear(c)), MuLawToLinear(c));
    EXPECT_EQ(Compand(Companding::kALaw, ALawToLinear(c)), ALawToLinear(c));
  }
}

}  // namespace
}  // namespace plat::line
