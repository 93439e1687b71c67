#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "pump/callprogress/filter_bank.h"
#include "pump/callprogress/tests/call_rig.h"
#include "pump/detect/band_classifier.h"
#include "pump/detect/tests/signals.h"
#include "pump/tests/support/key_packets.h"

namespace pump {
namespace {

using namespace cp_test;
using detect_test::Amplitude;
using detect_test::Db;
using detect_test::Noise;
using detect_test::Tone;
using detect_test::Wide;

using Record = std::array<std::uint16_t, kFilterRecordWords>;

// The voice path's record: sections with poles near 340 and 600 Hz, gain
// 255, decay 0x7F00, result bit 1, thresholds 0x3000 and 0x2000.
constexpr Record kVoiceRecord = {0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E, 0x3FFF,
                                 0xC55B, 0x7129, 0x00FF, 0x7F00, 0x0100, 0x3000, 0x2000};

// Both sections pass the input unchanged (b0 = 1 in Q14); the energy
// detector's gain, decay and thresholds as given, result bit `bit`.
Record PassRecord(std::uint16_t gain, std::uint16_t decay, int bit, std::uint16_t on,
                  std::uint16_t off) {
  return {0, 0, 0x4000, 0, 0, 0, 0, 0x4000, 0, 0, gain, decay,
          static_cast<std::uint16_t>(bit << 8), on, off};
}

std::vector<std::uint8_t> Words(std::span<const std::uint16_t> words) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t w : words) {
    bytes.push_back(static_cast<std::uint8_t>(w));
    bytes.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  return bytes;
}

// The controller's way: the first 7 words, the next 7, the last.
void Program(PumpHarness& harness, int filter, const Record& record) {
  const std::uint32_t base = kFilterRecordKey + static_cast<std::uint32_t>(filter) * 15;
  auto& controller = harness.Controller();
  ASSERT_TRUE(testing::WriteParam(controller, base, Words(std::span(record).first(7))));
  ASSERT_TRUE(testing::WriteParam(controller, base + 7, Words(std::span(record).subspan(7, 7))));
  ASSERT_TRUE(testing::WriteParam(controller, base + 14, Words(std::span(record).last(1))));
}

void RunBank(PumpHarness& harness, std::span<const std::int16_t> samples, bool classifier) {
  const auto wide = Wide(samples);
  for (std::size_t at = 0; at + kBlock <= wide.size(); at += kBlock) {
    RunToneFilterBank(harness.Context(), std::span(wide).subspan(at, kBlock), classifier);
  }
}

// The response of the record's two sections in double precision: Q14
// coefficients, y = b0 x + b1 x1 + b2 x2 + a1 y1 + a2 y2.
double Response(const Record& r, double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * hz / 9600.0);
  double gain = 1;
  for (int s = 0; s < 2; ++s) {
    const auto c = [&](int i) { return static_cast<std::int16_t>(r[5 * s + i]) / 16384.0; };
    const auto num = c(2) + c(1) * z1 + c(0) * z1 * z1;
    const auto den = 1.0 - c(4) * z1 - c(3) * z1 * z1;
    gain *= std::abs(num / den);
  }
  return gain;
}

TEST(FilterBank, TheVoiceRecordRespondsAsItsBiquads) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    Program(harness, 0, kVoiceRecord);
    RunBank(harness, std::vector<std::int16_t>(kBlock, 0), false);
    const ToneChannel configured = harness.Context().call_progress.bank.channels[0];
    double peak = 0;
    for (double hz = 100; hz < 4800; hz += 10) peak = std::max(peak, Response(kVoiceRecord, hz));
    for (const double hz : {150.0, 300.0, 340.0, 450.0, 600.0, 800.0, 1500.0, 3000.0}) {
      ToneSection s1 = configured.sections[0];
      ToneSection s2 = configured.sections[1];
      const double amplitude = 12000.0 / peak;
      const auto in = Tone({hz}, amplitude, 9600);
      std::vector<std::int16_t> out;
      for (std::int16_t x : in) out.push_back(RunToneSection(s2, RunToneSection(s1, x)));
      const std::span<const std::int16_t> settled = std::span(out).last(4800);
      const double measured = Amplitude(settled, hz) / amplitude;
      const double expected = Response(kVoiceRecord, hz);
      // 16-bit rounding between the sections: 0.3 dB, or 1 LSB of output.
      EXPECT_NEAR(Db(measured), Db(expected), Db(1 + 2.0 / (expected * amplitude) + 0.035)) << hz;
    }
    EXPECT_GT(Response(kVoiceRecord, 450), 10 * Response(kVoiceRecord, 3000)) << "a band-pass";
  });
}

// Register 57 is written when the result changes, with register 56 = 0
// and one interrupt each time; a result that stays is written once.
TEST(FilterBank, Register57OncePerChange) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    Program(harness, 1, PassRecord(100, 0x7EB8, 2, 30, 20));
    const std::uint8_t* page = harness.Host().comram.reg;
    const int interrupts = harness.Controller().Interrupts();
    RunBank(harness, std::vector<std::int16_t>(20 * kBlock, 0), false);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts);
    RunBank(harness, Tone({440}, 8000, 100 * kBlock), false);
    EXPECT_EQ(page[kRegEventType], 0);
    EXPECT_EQ(page[kRegEventValue], 2);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts + 1);
    RunBank(harness, std::vector<std::int16_t>(100 * kBlock, 0), false);
    EXPECT_EQ(page[kRegEventValue], 0);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts + 2);
  });
}

// Two records: each channel sets its own bit, the result is their OR.
TEST(FilterBank, ResultIsTheOrOfTheChannelsThatAreOn) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    Program(harness, 0, PassRecord(100, 0x7EB8, 1, 30, 20));
    Program(harness, 2, PassRecord(100, 0x7EB8, 4, 30, 20));
    RunBank(harness, Tone({440}, 8000, 50 * kBlock), false);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventValue], 5);
  });
}

// Channel options: a source channel feeds its output, squared on request;
// the raw option bypasses the channel's AGC.
TEST(FilterBank, SourceSquareAndRawOptions) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    Program(harness, 0, PassRecord(100, 0x7EB8, 1, 30, 20));
    RunBank(harness, std::vector<std::int16_t>(kBlock, 0), false);
    ToneFilterBank& bank = harness.Context().call_progress.bank;
    const ToneSection pass = bank.channels[0].sections[0];
    for (int c : {3, 4, 5}) {
      bank.channels[c].enabled = 1;
      bank.channels[c].sections[0] = pass;
      bank.channels[c].sections[1] = pass;
    }
    bank.channels[3].source = 0;
    bank.channels[4].source = 0;
    bank.channels[4].square = 1;
    bank.channels[5].raw = 1;
    const auto tone = Wide(Tone({500}, 6000, kBlock));
    for (std::size_t i = 0; i < tone.size(); ++i) {
      RunToneFilterBank(harness.Context(), std::span(tone).subspan(i, 1), false);
      const std::int16_t y0 = bank.channels[0].output;
      EXPECT_EQ(bank.channels[3].output, y0);
      EXPECT_EQ(bank.channels[4].output, y0 * y0 >> 15);
      EXPECT_EQ(bank.channels[5].output, static_cast<std::int16_t>(tone[i]));
    }
  });
}

// Broadband noise that the pass-through channel hears is vetoed once the
// band classifier has decided; a tone is not.
TEST(FilterBank, TheClassifierVetoesNoise) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    StartBandClassifier(harness.Context());
    Program(harness, 0, PassRecord(100, 0x7EB8, 1, 30, 20));
    const auto noise = Noise(5, 6000, 60 * kBlock);
    RunBank(harness, noise, false);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventValue], 1) << "heard without the classifier";
    RunBank(harness, noise, true);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventValue], 0) << "vetoed";
    EXPECT_GT(harness.Context().call_progress.bank.veto, 0);
    RunBank(harness, std::vector<std::int16_t>(60 * kBlock, 0), true);
    RunBank(harness, Tone({440}, 8000, 60 * kBlock), true);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventValue], 1) << "a tone is no broadband sound";
  });
}

struct KeyCase {
  const char* name;
  std::uint32_t key;
  std::vector<std::uint16_t> words;
  int filter;
  int first_word;  // of the record the key writes
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class FilterBankKeys : public ::testing::TestWithParam<KeyCase> {};

// Any key of a record reconfigures its channel at the next block.
TEST_P(FilterBankKeys, AKeyReconfiguresItsChannel) {
  const KeyCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    RunBank(harness, std::vector<std::int16_t>(kBlock, 0), false);
    ToneChannel& channel = harness.Context().call_progress.bank.channels[c.filter];
    ASSERT_EQ(channel.pending, 0u);
    ASSERT_TRUE(testing::WriteParam(harness.Controller(), c.key, Words(c.words)));
    EXPECT_EQ(channel.pending, 1u);
    RunBank(harness, std::vector<std::int16_t>(kBlock, 0), false);
    EXPECT_EQ(channel.pending, 0u);
    const std::int16_t fields[15] = {
        channel.sections[0].b2, channel.sections[0].b1, channel.sections[0].b0,
        channel.sections[0].a2, channel.sections[0].a1, channel.sections[1].b2,
        channel.sections[1].b1, channel.sections[1].b0, channel.sections[1].a2,
        channel.sections[1].a1, channel.gain,           channel.decay,
        static_cast<std::int16_t>(channel.result_bit << 8), channel.on_threshold,
        channel.off_threshold};
    for (std::size_t i = 0; i < c.words.size(); ++i) {
      EXPECT_EQ(static_cast<std::uint16_t>(fields[c.first_word + static_cast<int>(i)]),
                c.words[i])
          << "word " << c.first_word + static_cast<int>(i);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilterBankKeys,
    ::testing::Values(
        KeyCase{"Filter0First", 0x101D8, {1, 2, 3, 4, 5, 6, 7}, 0, 0},
        KeyCase{"Filter0Second", 0x101DF, {8, 9, 10, 11, 12, 0x100, 14}, 0, 7},
        KeyCase{"Filter0Last", 0x101E6, {15}, 0, 14},
        KeyCase{"Filter0Thresholds", 0x101E5, {300, 200}, 0, 13},
        KeyCase{"Filter1First", 0x101E7, {1, 2, 3, 4, 5, 6, 7}, 1, 0},
        KeyCase{"Filter1Second", 0x101EE, {8, 9, 10, 11, 12, 0x200, 14}, 1, 7},
        KeyCase{"Filter1ResultWord", 0x101F3, {0x200}, 1, 12},
        KeyCase{"Filter1Thresholds", 0x101F4, {300, 200}, 1, 13},
        KeyCase{"Filter1Last", 0x101F5, {15}, 1, 14},
        KeyCase{"Filter2First", 0x101F6, {1, 2, 3, 4, 5, 6, 7}, 2, 0},
        KeyCase{"Filter2Second", 0x101FD, {8, 9, 10, 11, 12, 0x400, 14}, 2, 7},
        KeyCase{"Filter2Thresholds", 0x10203, {300, 200}, 2, 13},
        KeyCase{"Filter2Last", 0x10204, {15}, 2, 14}),
    [](const auto& info) { return std::string(info.param.name); });

// Past the records there is no key: the write is echoed and changes nothing.
TEST(FilterBank, WordsPastTheRecordsAreEchoed) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    for (std::uint32_t key : {0xDFDFu, 0x1020Du}) {
      EXPECT_FALSE(testing::WriteParam(harness.Controller(), key, Words(std::array<std::uint16_t, 1>{7})));
    }
  });
}

TEST(FilterBank, TheResetClearsEveryChannel) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    Program(harness, 0, PassRecord(100, 0x7EB8, 1, 30, 20));
    RunBank(harness, Tone({440}, 8000, 50 * kBlock), false);
    ToneFilterBank& bank = harness.Context().call_progress.bank;
    bank.channels[6].source = 2;
    ASSERT_EQ(harness.Host().comram.reg[kRegEventValue], 1);
    harness.Controller().Exchange(0x60, {0});
    for (int c = 0; c < kToneChannels; ++c) {
      const ToneChannel& ch = bank.channels[c];
      EXPECT_EQ(ch.enabled, 0u) << c;
      EXPECT_EQ(ch.energy, 0) << c;
      EXPECT_EQ(ch.agc_target, 4096) << c;
      EXPECT_EQ(ch.agc_step, 1638) << c;
      EXPECT_EQ(ch.agc_gain, 0x7FFF) << c;
      EXPECT_EQ(ch.source, kNoSource) << c;
      EXPECT_EQ(ch.pending, c < kFilterRecords ? 1u : 0u) << c;
    }
    // The records stay: the next block configures channel 0 from its record again.
    RunBank(harness, std::vector<std::int16_t>(kBlock, 0), false);
    EXPECT_EQ(bank.channels[0].enabled, 1u);
    EXPECT_EQ(bank.channels[0].agc_target, 200);
    EXPECT_EQ(bank.channels[0].agc_step, 2000);
  });
}

// Unstable and full-scale coefficients saturate; nothing runs away.
TEST(FilterBank, UnstableRecordsSaturate) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    const Record unstable = {0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF, 0x8000, 0x8000, 0x8000,
                             0x8000, 0x8000, 0x7FFF, 0x7FFF, 0x0100, 0x7FFF, 0x7FFF};
    Program(harness, 0, unstable);
    RunBank(harness, Noise(3, 30000, 200 * kBlock), false);
    const ToneChannel& ch = harness.Context().call_progress.bank.channels[0];
    EXPECT_EQ(ch.energy, 0x7FFFFFFF) << "the energy saturates";
    EXPECT_LE(harness.Host().comram.reg[kRegEventValue], 7);
  });
}

}  // namespace
}  // namespace pump
