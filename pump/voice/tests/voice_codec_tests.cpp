// The voice codecs against independent references: spandsp's G.711 and
// IMA ADPCM (DVI4, nibbles unpacked), the IMA ADPCM description for the
// worked cases, and mathematics for the level utility.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "pump/core/power_db.h"
#include "pump/voice/voice_codec.h"
#include "siglib/frame/frame.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scoped_slots.h"

// clang-format off
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/ima_adpcm.h>
// clang-format on

namespace pump {
namespace {

using Samples = std::vector<std::int16_t>;

Samples Decode(std::int32_t type, const Samples& codes, VoiceCodec codec = kVoiceCodecStart) {
  Samples out(codes.size(), 0x5555);
  SelectVoiceCodec(type).decode(codec, codes, out);
  return out;
}

Samples Encode(std::int32_t type, const Samples& samples, VoiceCodec codec = kVoiceCodecStart) {
  Samples out(samples.size(), 0x5555);
  SelectVoiceCodec(type).encode(codec, samples, out);
  return out;
}

Samples EveryByte() {
  Samples codes;
  for (int c = 0; c < 256; ++c) codes.push_back(static_cast<std::int16_t>(c));
  return codes;
}

Samples EverySample() {
  Samples samples;
  for (int x = -32768; x <= 32767; ++x) samples.push_back(static_cast<std::int16_t>(x));
  return samples;
}

// A-law plays and records A-law for types 0, 3 and 7; mu-law is type 8.
TEST(VoiceCodecs, G711DecodesEveryByteAsSpandsp) {
  Samples a_law, mu_law;
  for (std::int16_t c : EveryByte()) {
    a_law.push_back(alaw_to_linear(static_cast<std::uint8_t>(c)));
    mu_law.push_back(ulaw_to_linear(static_cast<std::uint8_t>(c)));
  }
  for (std::int32_t type : {0, 3, 7}) EXPECT_EQ(Decode(type, EveryByte()), a_law) << type;
  EXPECT_EQ(Decode(8, EveryByte()), mu_law);
}

// spandsp offsets negative A-law inputs by 1 where G.711's segment edges
// (and the signal library) offset them by 8.
TEST(VoiceCodecs, G711EncodesEverySampleAsSpandsp) {
  Samples a_codes, mu_codes;
  for (std::int16_t x : EverySample()) {
    a_codes.push_back(linear_to_alaw(x >= -7 ? x : static_cast<std::int16_t>(x + 7)));
    mu_codes.push_back(linear_to_ulaw(x));
  }
  EXPECT_EQ(Encode(8, EverySample()), mu_codes);
  for (std::int32_t type : {0, 3, 7}) EXPECT_EQ(Encode(type, EverySample()), a_codes) << type;
}

// Only the low byte of a widened code counts.
TEST(VoiceCodecs, G711ReadsTheLowByteOfEachCode) {
  EXPECT_EQ(Decode(8, {0x1FF, -1}), Decode(8, {0xFF, 0xFF}));
}

// RFC 3551's DVI4: a 4-byte header (predictor, step index, reserved) that
// spandsp writes and reads once per call, then two codes a byte, the first
// in the high nibble.
constexpr std::size_t kDvi4Header = 4;

std::vector<std::uint8_t> PackDvi4(const Samples& nibbles) {
  std::vector<std::uint8_t> bytes(kDvi4Header, 0);  // predictor 0, index 0: our start
  for (std::size_t i = 0; i + 1 < nibbles.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(nibbles[i] << 4 | nibbles[i + 1]));
  }
  return bytes;
}

Samples UnpackDvi4(const std::vector<std::uint8_t>& bytes) {
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + kDvi4Header),
            std::vector<std::uint8_t>(kDvi4Header, 0));
  Samples nibbles;
  for (std::size_t i = kDvi4Header; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    nibbles.push_back(b >> 4);
    nibbles.push_back(b & 0xF);
  }
  return nibbles;
}

// A seeded mixture of a sine, steps and noise, loud enough to reach the
// step table's top and the clamps.
Samples Signal(std::string_view name, std::size_t n, double amplitude) {
  qvls_test::Rng rng(name);
  Samples x(n);
  for (std::size_t i = 0; i < n; ++i) {
    double v = amplitude * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / 8000);
    v += static_cast<double>(rng.Range(-2000, 2000));
    if ((i / 500) % 7 == 3) v = (i / 250) % 2 != 0 ? 32767 : -32768;
    x[i] = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
  }
  return x;
}

TEST(VoiceCodecs, Ima4DecodesAsSpandspOnSeededCodes) {
  qvls_test::Rng rng("VoiceCodecs.Ima4Decode");
  for (int stream = 0; stream < 8; ++stream) {
    Samples codes(4000);
    // Runs of large codes drive the predictor into the clamps.
    for (std::size_t i = 0; i < codes.size(); ++i) {
      codes[i] = static_cast<std::int16_t>(static_cast<int>(i / 300 % 5) == stream % 5 ? 7 : rng.Range(0, 15));
    }
    std::vector<std::uint8_t> bytes = PackDvi4(codes);
    ima_adpcm_state_t* peer = ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 0);
    Samples expected(codes.size());
    const int n = ima_adpcm_decode(peer, expected.data(), bytes.data(), static_cast<int>(bytes.size()));
    ima_adpcm_free(peer);
    ASSERT_EQ(n, static_cast<int>(codes.size()));
    EXPECT_EQ(Decode(6, codes), expected) << "stream " << stream;
  }
}

TEST(VoiceCodecs, Ima4EncodesAsSpandsp) {
  for (double amplitude : {300.0, 8000.0, 30000.0}) {
    const Samples x = Signal("VoiceCodecs.Ima4Encode", 4000, amplitude);
    ima_adpcm_state_t* peer = ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 0);
    std::vector<std::uint8_t> bytes(kDvi4Header + x.size() / 2);
    const int n = ima_adpcm_encode(peer, bytes.data(), x.data(), static_cast<int>(x.size()));
    ima_adpcm_free(peer);
    ASSERT_EQ(n, static_cast<int>(bytes.size()));
    EXPECT_EQ(Encode(6, x), UnpackDvi4(bytes)) << "amplitude " << amplitude;
  }
}

double SnrDb(const Samples& reference, const Samples& got) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const double r = reference[i];
    signal += r * r;
    const double e = r - got[i];
    noise += e * e;
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

struct Ima3Case {
  const char* name;
  double floor_db;
  Samples x;
};

// The encoder keeps the state the decoder rebuilds from its codes, the
// state stays in range, and speech-like signals come back within a floor.
TEST(VoiceCodecs, Ima3ReconstructsAlikeWithinItsRange) {
  qvls_test::Rng rng("VoiceCodecs.Ima3");
  auto sine = [](double f, double a) {
    Samples x(8000);
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] = static_cast<std::int16_t>(a * std::sin(2 * std::numbers::pi * f * double(i) / 8000));
    }
    return x;
  };
  Samples noise(8000);
  double y = 0;
  for (auto& v : noise) {
    y = 0.9 * y + static_cast<double>(rng.Range(-1500, 1500));  // low-pass noise
    v = static_cast<std::int16_t>(y);
  }
  const Ima3Case cases[] = {
      {"300 Hz", 14, sine(300, 10000)},
      {"1000 Hz", 8, sine(1000, 10000)},
      {"quiet 500 Hz", 10, sine(500, 200)},
      {"low-pass noise", 6, noise},
  };
  for (const Ima3Case& c : cases) {
    VoiceCodec encoder = kVoiceCodecStart;
    VoiceCodec decoder = kVoiceCodecStart;
    Samples out(c.x.size());
    for (std::size_t i = 0; i < c.x.size(); ++i) {
      const std::uint8_t code = EncodeIma3(encoder, c.x[i]);
      ASSERT_LT(code, 8);
      out[i] = DecodeIma3(decoder, code);
      ASSERT_EQ(encoder.predictor, decoder.predictor) << c.name << " at " << i;
      ASSERT_EQ(encoder.step_index, decoder.step_index) << c.name << " at " << i;
      ASSERT_LE(decoder.step_index, 88);
      ASSERT_EQ(decoder.step, kImaStepTable[decoder.step_index]);
    }
    EXPECT_GT(SnrDb(c.x, out), c.floor_db) << c.name;
  }
}

// Full-scale square waves push both ADPCM codecs to the top of the table
// and into the clamps; every code sequence decodes within the 16-bit range.
TEST(VoiceCodecs, AdpcmStateStaysInRange) {
  for (std::int32_t type : {5, 6}) {
    VoiceCodec codec = kVoiceCodecStart;
    Samples square(2000);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 100) % 2 != 0 ? 32767 : -32768;
    Samples codes(square.size());
    SelectVoiceCodec(type).encode(codec, square, codes);
    EXPECT_LE(codec.step_index, 88);
    Samples all_ones(500, type == 5 ? 3 : 7), all_negative(500, type == 5 ? 7 : 15);
    VoiceCodec decoder = kVoiceCodecStart;
    Samples up = Decode(type, all_ones, decoder);
    EXPECT_EQ(up.back(), 32767) << type;
    Samples down = Decode(type, all_negative, decoder);
    EXPECT_EQ(down.back(), -32768) << type;
  }
}

// From the IMA ADPCM description, step 7 at the start: code 7 adds
// 7 >> 3 + 7 + 7 >> 1 + 7 >> 2 = 11 and moves the index by 8; code 15 the
// same downwards. 3-bit code 3 adds 7 >> 2 + 7 + 7 >> 1 = 11 and moves the index by 7.
TEST(VoiceCodecs, WorkedCasesFromTheStart) {
  struct Case {
    std::uint8_t code;
    bool three_bit;
    std::int16_t sample;
    std::uint8_t index;
  };
  const Case cases[] = {
      {7, false, 11, 8}, {15, false, -11, 8}, {0, false, 0, 0}, {4, false, 7, 2},
      {3, true, 11, 7},  {7, true, -11, 7},   {0, true, 1, 0},  {2, true, 8, 3},
  };
  for (const Case& c : cases) {
    VoiceCodec codec = kVoiceCodecStart;
    const std::int16_t s = c.three_bit ? DecodeIma3(codec, c.code) : DecodeIma4(codec, c.code);
    EXPECT_EQ(s, c.sample) << int{c.code} << (c.three_bit ? " 3-bit" : " 4-bit");
    EXPECT_EQ(codec.step_index, c.index);
    EXPECT_EQ(codec.step, kImaStepTable[c.index]);
  }
  EXPECT_EQ(kImaStepTable.front(), 7);
  EXPECT_EQ(kImaStepTable.back(), 32767);
  EXPECT_EQ(kImaStepTable[8], 16);
}

TEST(VoiceCodecs, EightBitLinearEdges) {
  EXPECT_EQ(Decode(2, {0, 128, 255, 0x1FF}), (Samples{-32768, 0, 32512, 32512}));
  EXPECT_EQ(Encode(2, {-32768, -32513, 0, 255, 256, 32767}), (Samples{0, 0, 128, 128, 129, 255}));
}

// Types without a codec of their own carry the 16-bit codes unchanged.
TEST(VoiceCodecs, OtherTypesCopy) {
  const Samples codes = {0, 1, 255, -5, 32767};
  for (std::int32_t type : {1, 4, 9, 255, -1}) {
    EXPECT_EQ(Decode(type, codes), codes) << type;
    EXPECT_EQ(Encode(type, codes), codes) << type;
  }
}

qvls_status Refuse(const std::uint8_t*, std::int16_t*, std::int32_t) { return QVLS_ERR_NULL_POINTER; }
qvls_status RefuseEncode(const std::int16_t*, std::uint8_t*, std::int32_t) {
  return QVLS_ERR_NULL_POINTER;
}

TEST(VoiceCodecs, RefusedG711GivesSilence) {
  qvls_variant_records failing = qvls_variant_table;
  failing.qvlsALawDecode_u8toi16.entry[QVLS_VARIANT_PX] = Refuse;
  failing.qvlsMuLawDecode_u8toi16.entry[QVLS_VARIANT_PX] = Refuse;
  failing.qvlsALawEncode_i16tou8.entry[QVLS_VARIANT_PX] = RefuseEncode;
  failing.qvlsMuLawEncode_i16tou8.entry[QVLS_VARIANT_PX] = RefuseEncode;
  qvls_test::ScopedSlots slots(QVLS_VARIANT_PX, failing);
  ASSERT_TRUE(slots.installed());
  const Samples silence(300, 0);
  for (std::int32_t type : {7, 8}) {
    EXPECT_EQ(Decode(type, Samples(300, 0x55)), silence) << type;
    EXPECT_EQ(Encode(type, Samples(300, 1000)), silence) << type;
  }
}

// Against 10 log10(P) over the u32 range: powers of two, their neighbours
// and seeded values.
TEST(VoiceCodecs, PowerToDbQ8FollowsTenLog10) {
  EXPECT_EQ(PowerToDbQ8(0), 0);
  EXPECT_EQ(PowerToDbQ8(1), 0);
  std::vector<std::uint32_t> powers = {2, 3, 10, 100, 1000, 0xFFFFFFFFu};
  for (int k = 1; k < 32; ++k) {
    powers.push_back(1u << k);
    powers.push_back((1u << k) - 1);
    powers.push_back((1u << k) + 1);
  }
  qvls_test::Rng rng("VoiceCodecs.PowerToDbQ8");
  for (int i = 0; i < 5000; ++i) {
    powers.push_back(static_cast<std::uint32_t>(rng.Range(2, 0xFFFFFFFF) >> rng.Range(0, 30)));
  }
  constexpr double kBoundQ8 = 1.5;  // 1/170 dB
  for (std::uint32_t p : powers) {
    if (p < 2) continue;
    const double expected = 10 * std::log10(static_cast<double>(p)) * 256;
    EXPECT_NEAR(PowerToDbQ8(p), expected, kBoundQ8) << p;
  }
}

}  // namespace
}  // namespace pump
