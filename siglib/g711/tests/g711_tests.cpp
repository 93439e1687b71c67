#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

// The reference coders (test only), after the standard headers, whose
// declarations their helper macros would otherwise rename.
// clang-format off
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
// clang-format on

namespace qvls_test {
namespace {

using Codes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

enum class Law { kA, kMu };

// One variant's decoder on the codes, placed at `offset` bytes; the source
// must come back unchanged and nothing beyond the samples be written.
Samples Decode(Variant v, Law law, const Codes& codes, std::size_t offset = 0) {
  GuardedBuffer<std::uint8_t> src(codes, offset);
  GuardedBuffer<std::int16_t> dst(codes.size(), offset * 3 % 64);
  const auto& record = law == Law::kA ? qvls_variant_table.qvlsALawDecode_u8toi16
                                      : qvls_variant_table.qvlsMuLawDecode_u8toi16;
  EXPECT_EQ(CallKeepingFpSettings(record.entry[v], src.data(), dst.data(),
                                  static_cast<std::int32_t>(codes.size())),
            QVLS_OK);
  EXPECT_EQ(src.Load(), codes);
  return dst.Load();
}

Codes Encode(Variant v, Law law, const Samples& samples, std::size_t offset = 0) {
  GuardedBuffer<std::int16_t> src(samples, offset);
  GuardedBuffer<std::uint8_t> dst(samples.size(), offset * 5 % 64);
  const auto& record = law == Law::kA ? qvls_variant_table.qvlsALawEncode_i16tou8
                                      : qvls_variant_table.qvlsMuLawEncode_i16tou8;
  EXPECT_EQ(CallKeepingFpSettings(record.entry[v], src.data(), dst.data(),
                                  static_cast<std::int32_t>(samples.size())),
            QVLS_OK);
  EXPECT_EQ(src.Load(), samples);
  return dst.Load();
}

Codes EveryCode() {
  Codes codes;
  for (int c = 0; c < 256; ++c) codes.push_back(static_cast<std::uint8_t>(c));
  return codes;
}

Samples EverySample() {
  Samples samples;
  for (int x = -32768; x <= 32767; ++x) samples.push_back(static_cast<std::int16_t>(x));
  return samples;
}

// The decoders equal the reference for every code; the mu-law encoder for
// every sample; the A-law encoder for every sample once its offset of 8 for
// negative samples is allowed for (the reference offsets them by 1).
TEST(G711, SpandspInterop) {
  const Codes codes = EveryCode();
  const Samples samples = EverySample();
  Samples a_law, mu_law;
  for (std::uint8_t c : codes) {
    a_law.push_back(alaw_to_linear(c));
    mu_law.push_back(ulaw_to_linear(c));
  }
  Codes a_codes, mu_codes;
  for (std::int16_t x : samples) {
    a_codes.push_back(linear_to_alaw(x >= -7 ? x : x + 7));
    mu_codes.push_back(linear_to_ulaw(x));
  }
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    EXPECT_EQ(Decode(v, Law::kA, codes), a_law);
    EXPECT_EQ(Decode(v, Law::kMu, codes), mu_law);
    EXPECT_EQ(Encode(v, Law::kA, samples, 1), a_codes);
    EXPECT_EQ(Encode(v, Law::kMu, samples, 2), mu_codes);
  }
}

// Decoding a code and encoding the value gives the code back, except the
// mu-law 0x7F, whose value 0 encodes as 0xFF.
TEST(G711, RoundTrip) {
  const Codes codes = EveryCode();
  for (Variant v : kAllVariants) {
    for (Law law : {Law::kA, Law::kMu}) {
      Codes expected = codes;
      if (law == Law::kMu) expected[0x7F] = 0xFF;
      EXPECT_EQ(Encode(v, law, Decode(v, law, codes, 3), 5), expected) << VariantTag(v);
    }
  }
}

TEST(G711, WorkedExamples) {
  struct EncodeCase {
    Law law;
    std::int16_t sample;
    std::uint8_t code;
  };
  const EncodeCase encodes[] = {
      {Law::kA, 0, 0xD5},       {Law::kA, 15, 0xD5},      {Law::kA, 16, 0xD4},
      {Law::kA, 255, 0xDA},     {Law::kA, 256, 0xC5},     {Law::kA, 4095, 0x9A},
      {Law::kA, 4096, 0x85},    {Law::kA, 32767, 0xAA},   {Law::kA, -1, 0x55},
      {Law::kA, -7, 0x55},      {Law::kA, -8, 0x55},      {Law::kA, -23, 0x55},
      {Law::kA, -24, 0x54},     {Law::kA, -32767, 0x2A},  {Law::kA, -32768, 0x2A},
      {Law::kMu, 0, 0xFF},      {Law::kMu, 1, 0xFF},      {Law::kMu, -1, 0x7F},
      {Law::kMu, 7, 0xFE},      {Law::kMu, 8, 0xFE},      {Law::kMu, -8, 0x7E},
      {Law::kMu, 100, 0xF2},    {Law::kMu, -100, 0x72},   {Law::kMu, 32635, 0x80},
      {Law::kMu, 32636, 0x80},  {Law::kMu, 32767, 0x80},  {Law::kMu, -32635, 0x00},
      {Law::kMu, -32636, 0x00}, {Law::kMu, -32768, 0x00},
  };
  struct DecodeCase {
    Law law;
    std::uint8_t code;
    std::int16_t sample;
  };
  const DecodeCase decodes[] = {
      {Law::kA, 0xD5, 8},      {Law::kA, 0x55, -8},     {Law::kA, 0xAA, 32256},
      {Law::kA, 0x2A, -32256}, {Law::kMu, 0xFF, 0},     {Law::kMu, 0x7F, 0},
      {Law::kMu, 0xFE, 8},     {Law::kMu, 0x80, 32124}, {Law::kMu, 0x00, -32124},
  };
  for (Variant v : kAllVariants) {
    for (const EncodeCase& c : encodes) {
      EXPECT_EQ(Encode(v, c.law, {c.sample}), Codes{c.code})
          << VariantTag(v) << (c.law == Law::kA ? " A-law " : " mu-law ") << c.sample;
    }
    for (const DecodeCase& c : decodes) {
      EXPECT_EQ(Decode(v, c.law, {c.code}), Samples{c.sample})
          << VariantTag(v) << (c.law == Law::kA ? " A-law " : " mu-law ") << int{c.code};
    }
  }
}

// Short vectors and vectors that end in every tail of the four- and
// five-code steps, at odd and even addresses: every element converted,
// nothing written beyond.
TEST(G711, TailsAndAlignments) {
  Rng rng("G711.TailsAndAlignments");
  for (std::int32_t len : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 64, 77}) {
    const Codes codes = rng.Vector<std::uint8_t>(static_cast<std::size_t>(len));
    const Samples samples = rng.Vector<std::int16_t>(static_cast<std::size_t>(len));
    Samples a_law, mu_law;
    for (std::uint8_t c : codes) {
      a_law.push_back(alaw_to_linear(c));
      mu_law.push_back(ulaw_to_linear(c));
    }
    Codes mu_codes;
    for (std::int16_t x : samples) mu_codes.push_back(linear_to_ulaw(x));
    for (std::size_t offset : {0u, 1u, 2u, 3u}) {
      for (Variant v : kAllVariants) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len << " offset " << offset);
        EXPECT_EQ(Decode(v, Law::kA, codes, offset), a_law);
        EXPECT_EQ(Decode(v, Law::kMu, codes, offset), mu_law);
        EXPECT_EQ(Encode(v, Law::kMu, samples, offset), mu_codes);
      }
    }
  }
}

TEST(G711, ArgumentChecks) {
  const Codes codes = {0xD5, 0x55};
  const Samples samples = {1, 2};
  const auto& t = qvls_variant_table;
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {2, 0, -1}) {
      std::int16_t out16[2] = {77, 77};
      std::uint8_t out8[2] = {77, 77};
      EXPECT_EQ(t.qvlsALawDecode_u8toi16.entry[v](nullptr, out16, len), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMuLawDecode_u8toi16.entry[v](codes.data(), nullptr, len),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsALawEncode_i16tou8.entry[v](samples.data(), nullptr, len),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMuLawEncode_i16tou8.entry[v](nullptr, out8, len), QVLS_ERR_NULL_POINTER);
      if (len <= 0) {
        EXPECT_EQ(t.qvlsALawDecode_u8toi16.entry[v](codes.data(), out16, len), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMuLawDecode_u8toi16.entry[v](codes.data(), out16, len), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsALawEncode_i16tou8.entry[v](samples.data(), out8, len), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMuLawEncode_i16tou8.entry[v](samples.data(), out8, len),
                  QVLS_ERR_DATA_SIZE);
      }
      EXPECT_EQ(out16[0], 77);
      EXPECT_EQ(out8[0], 77);
    }
  }
}

}  // namespace
}  // namespace qvls_test
