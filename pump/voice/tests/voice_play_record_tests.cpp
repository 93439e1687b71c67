// Voice bytes through the line both ways, for each codec type and voice
// rate: the controller's bytes are encoded by the references (spandsp's
// G.711 and IMA ADPCM, the 8-bit linear formula; the 3-bit IMA codec, whose
// own tests hold it to its description; the byte itself for the copy
// types), played, and the line carries the sine they hold; the line's sine
// is recorded and the bytes decode, by the same references, to that sine.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "pump/voice/tests/voice_rig.h"
#include "pump/voice/voice_codec.h"
#include "siglib/tests/support/random.h"

// clang-format off
#include <spandsp/telephony.h>
#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/ima_adpcm.h>
// clang-format on

namespace pump::voice_test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

constexpr int kRates[] = {4800, 7200, 8000, 9600, 11025};

struct CodecCase {
  std::uint8_t type;
  const char* name;
  double play_floor_db;    // the line's sine against its best fit
  double record_floor_db;  // the decoded recording against its best fit
  double amplitude = 10000;
  double offset = 0;  // the copy types carry a byte: a small sine above zero
};

const CodecCase kCodecs[] = {
    {7, "A-law", 28, 28},
    {0, "A-law (type 0)", 28, 28},
    {8, "mu-law", 28, 28},
    {2, "8-bit linear", 25, 25},
    {6, "4-bit IMA", 18, 18},
    {5, "3-bit IMA", 9, 9},
    {1, "copy (type 1)", 30, 30, 100, 128},
    {4, "copy (type 4)", 30, 30, 100, 128},
};

constexpr bool IsCopy(std::uint8_t type) { return type == 1 || type == 4; }

Samples Sine(double f, double rate, std::size_t n, double amplitude, double offset = 0) {
  Samples x(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = static_cast<std::int16_t>(
        std::lround(offset + amplitude * std::sin(2 * std::numbers::pi * f * double(i) / rate)));
  }
  return x;
}

Bytes Encode(std::uint8_t type, const Samples& x) {
  Bytes out;
  if (type == 6) {
    ima_adpcm_state_t* s = ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 0);
    Bytes packed(4 + x.size() / 2);
    ima_adpcm_encode(s, packed.data(), x.data(), static_cast<int>(x.size()));
    ima_adpcm_free(s);
    for (std::size_t i = 4; i < packed.size(); ++i) {
      out.push_back(packed[i] >> 4);
      out.push_back(packed[i] & 0xF);
    }
    return out;
  }
  pump::VoiceCodec ima3 = pump::kVoiceCodecStart;
  for (std::int16_t v : x) {
    switch (type) {
      case 5: out.push_back(pump::EncodeIma3(ima3, v)); break;
      case 1:
      case 4: out.push_back(static_cast<std::uint8_t>(v)); break;
      case 0:
      case 7: out.push_back(linear_to_alaw(v)); break;
      case 8: out.push_back(linear_to_ulaw(v)); break;
      default: out.push_back(static_cast<std::uint8_t>((v + 32768) >> 8)); break;
    }
  }
  return out;
}

Samples Decode(std::uint8_t type, const Bytes& bytes) {
  Samples out;
  if (type == 6) {
    Bytes packed(4, 0);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      packed.push_back(static_cast<std::uint8_t>((bytes[i] & 0xF) << 4 | (bytes[i + 1] & 0xF)));
    }
    ima_adpcm_state_t* s = ima_adpcm_init(nullptr, IMA_ADPCM_DVI4, 0);
    out.resize(bytes.size() + 2);
    const int n = ima_adpcm_decode(s, out.data(), packed.data(), static_cast<int>(packed.size()));
    ima_adpcm_free(s);
    out.resize(static_cast<std::size_t>(n));
    return out;
  }
  pump::VoiceCodec ima3 = pump::kVoiceCodecStart;
  for (std::uint8_t b : bytes) {
    switch (type) {
      case 5: out.push_back(pump::DecodeIma3(ima3, b)); break;
      case 1:
      case 4: out.push_back(b); break;
      case 0:
      case 7: out.push_back(alaw_to_linear(b)); break;
      case 8: out.push_back(ulaw_to_linear(b)); break;
      default: out.push_back(static_cast<std::int16_t>(b * 256 - 32768)); break;
    }
  }
  return out;
}

// The signal-to-residual ratio of x against its least-squares fit by a
// sine of frequency f (with DC); the fit's amplitude in `amplitude`.
double SineSnrDb(const Samples& x, double f, double rate, double* amplitude = nullptr) {
  double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, xs = 0, xc = 0, x1 = 0;
  const double n = static_cast<double>(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double w = 2 * std::numbers::pi * f * double(i) / rate;
    const double s = std::sin(w), c = std::cos(w);
    ss += s * s; sc += s * c; cc += c * c; s1 += s; c1 += c;
    xs += x[i] * s; xc += x[i] * c; x1 += x[i];
  }
  // Solve the 3 x 3 normal equations by Cramer's rule.
  const double m[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
  const double r[3] = {xs, xc, x1};
  auto det = [](const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  const double d = det(m);
  double coef[3];
  for (int k = 0; k < 3; ++k) {
    double t[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) t[i][j] = j == k ? r[i] : m[i][j];
    }
    coef[k] = det(t) / d;
  }
  double fit_power = 0, residual = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double w = 2 * std::numbers::pi * f * double(i) / rate;
    const double y = coef[0] * std::sin(w) + coef[1] * std::cos(w);
    fit_power += y * y;
    const double e = x[i] - y - coef[2];
    residual += e * e;
  }
  if (amplitude != nullptr) *amplitude = std::hypot(coef[0], coef[1]);
  return 10 * std::log10(fit_power / std::max(residual, 1.0));
}

constexpr std::uint8_t RateCode(int rate) {
  return rate == 4800 ? 0 : rate == 7200 ? 1 : rate == 8000 ? 2 : rate == 9600 ? 3 : 4;
}

constexpr double kTone = 700;  // Hz: inside every voice rate's band

// The resamplers take 11025 Hz as 110 samples per 10 ms: the line's
// time runs at 11000 Hz of voice samples.
constexpr double LineRate(int rate) { return rate == 11025 ? 11000 : rate; }

TEST(VoicePlayRecord, PlayReachesTheLine) {
  for (const CodecCase& codec : kCodecs) {
    for (int rate : kRates) {
      PumpHarness harness(VoiceProfile());
      harness.Run([&] {
        SCOPED_TRACE(::testing::Message() << codec.name << " at " << rate << " Hz");
        StartVoice(harness, RateCode(rate), codec.type, 0);
        const std::size_t before = harness.Afe().LineOutput().size();
        const Samples sine = Sine(kTone, rate, static_cast<std::size_t>(rate) * 6 / 10,
                                  codec.amplitude, codec.offset);
        harness.Controller().StreamTx(0, Encode(codec.type, sine));
        harness.RunBlocks(70);
        const auto& line = harness.Afe().LineOutput();
        // 0.3 s of steady tone from 0.2 s in.
        const Samples steady(line.begin() + static_cast<std::ptrdiff_t>(before + 1600),
                             line.begin() + static_cast<std::ptrdiff_t>(before + 4000));
        double amplitude = 0;
        EXPECT_GT(SineSnrDb(steady, kTone * LineRate(rate) / rate, 8000, &amplitude),
                  codec.play_floor_db);
        EXPECT_NEAR(amplitude, codec.amplitude, codec.amplitude / 10);
      });
    }
  }
}

// At 8000 Hz the line carries exactly the decoded bytes.
TEST(VoicePlayRecord, PlayAt8000IsTheDecodedBytes) {
  for (const CodecCase& codec : kCodecs) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, codec.type, 0);
      const std::size_t before = harness.Afe().LineOutput().size();
      qvls_test::Rng rng(codec.name);
      Bytes bytes(800);
      const int top = codec.type == 6 ? 15 : codec.type == 5 ? 7 : 255;
      for (auto& b : bytes) b = static_cast<std::uint8_t>(rng.Range(0, top));
      harness.Controller().StreamTx(0, bytes);
      harness.RunBlocks(16);
      const auto& line = harness.Afe().LineOutput();
      Samples played(line.begin() + static_cast<std::ptrdiff_t>(before), line.end());
      const Samples expected = Decode(codec.type, bytes);
      auto first = std::search(played.begin(), played.end(), expected.begin(), expected.begin() + 80);
      ASSERT_NE(first, played.end()) << codec.name;
      ASSERT_GE(static_cast<std::size_t>(played.end() - first), expected.size()) << codec.name;
      EXPECT_EQ(Samples(first, first + static_cast<std::ptrdiff_t>(expected.size())), expected)
          << codec.name;
    });
  }
}

// Too few bytes for a block: the block is silent and the bytes wait.
TEST(VoicePlayRecord, TooFewBytesWait) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().StreamTx(0, Bytes(50, 0x80));  // mu-law 0x80: -32124... as a loud constant
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Context().voice.leftover_count, 50);
    const std::size_t before = harness.Afe().LineOutput().size();
    harness.RunBlocks(10);
    const auto& line = harness.Afe().LineOutput();
    EXPECT_TRUE(std::all_of(line.begin() + static_cast<std::ptrdiff_t>(before), line.end(),
                            [](std::int16_t v) { return v == 0; }));
    harness.Controller().StreamTx(0, Bytes(30, 0x80));
    harness.RunBlocks(8);
    EXPECT_EQ(harness.Context().voice.leftover_count, 0);
    EXPECT_EQ(std::count(line.begin(), line.end(), std::int16_t{32124}), 80);
  });
}

TEST(VoicePlayRecord, RecordComesBackAsBytes) {
  for (const CodecCase& codec : kCodecs) {
    for (int rate : kRates) {
      PumpHarness harness(VoiceProfile());
      harness.Run([&] {
        SCOPED_TRACE(::testing::Message() << codec.name << " at " << rate << " Hz");
        StartVoice(harness, RateCode(rate), codec.type, 1);
        const std::size_t skip = harness.Controller().RxBlocks().size();
        harness.Afe().FeedLine(Sine(kTone, 8000, 8000, codec.amplitude, codec.offset));
        harness.RunBlocks(60);
        Bytes bytes;
        const auto& blocks = harness.Controller().RxBlocks();
        for (const auto& block : std::span(blocks).subspan(skip)) {
          bytes.insert(bytes.end(), block.data.begin(), block.data.end());
        }
        EXPECT_EQ(harness.Context().voice.dropped_pieces, 0u);
        // 60 blocks of 10 ms at the voice rate, within a sample per block.
        EXPECT_NEAR(static_cast<double>(bytes.size()), LineRate(rate) * 0.6, 60);
        const Samples decoded = Decode(codec.type, bytes);
        ASSERT_GT(decoded.size(), static_cast<std::size_t>(rate) / 2);
        const Samples steady(decoded.begin() + rate / 5, decoded.begin() + rate / 2);
        double amplitude = 0;
        EXPECT_GT(SineSnrDb(steady, kTone, LineRate(rate), &amplitude), codec.record_floor_db);
        EXPECT_NEAR(amplitude, codec.amplitude, codec.amplitude / 10);
      });
    }
  }
}

}  // namespace
}  // namespace pump::voice_test
