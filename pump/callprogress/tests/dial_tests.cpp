#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "pump/afe_access/afe_access.h"
#include "pump/callprogress/dialling.h"
#include "pump/callprogress/tests/call_rig.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/tests/signals.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"

namespace pump {
namespace {

using namespace cp_test;
using detect_test::Amplitude;
using detect_test::Db;
using detect_test::Mix;
using detect_test::Noise;

constexpr char kDigitChars[] = "0123456789ABCD*#";  // by dial code

std::uint8_t Lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t Hi(int v) { return static_cast<std::uint8_t>(v >> 8 & 0xFF); }

// ---- 0x66 and 0x88 -----------------------------------------------------------------------

struct TimingCase {
  const char* name;
  int on_ms, off_ms, pulse, inter_digit_ms;
  int on_ticks, off_ticks, idle_ticks;
  std::uint32_t pulse_flag;
};

void PrintTo(const TimingCase& c, std::ostream* out) { *out << c.name; }

class DialParameters : public ::testing::TestWithParam<TimingCase> {};

// Ticks are (ms + 5) / 10 of 10 ms, at least one.
TEST_P(DialParameters, TimesBecomeTicks) {
  const TimingCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    EXPECT_EQ(harness.Controller().Exchange(
                  0x66, {Lo(c.on_ms), Lo(c.off_ms), Lo(c.pulse), 0, Lo(c.inter_digit_ms),
                         Hi(c.inter_digit_ms)}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x66}}}));
    const DialArea& dial = harness.Context().dial;
    EXPECT_EQ(dial.table[kDialTxOn].count, c.on_ticks);
    EXPECT_EQ(dial.table[kDialTxOff].count, c.off_ticks);
    EXPECT_EQ(dial.table[kDialTxIdle].count, c.idle_ticks);
    EXPECT_EQ(dial.pulse, c.pulse_flag);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, DialParameters,
    ::testing::Values(TimingCase{"Tone95ms", 95, 94, 0, 700, 10, 9, 70, 0},
                      TimingCase{"ZeroIsOneTick", 0, 0, 0, 0, 1, 1, 1, 0},
                      TimingCase{"Pulse", 60, 40, 1, 800, 6, 4, 80, 1},
                      TimingCase{"AnyPulseByte", 255, 255, 0x80, 0xFFFF, 26, 26, 6554, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DialParameters, CountsStartAt96000Ticks) {
  PumpHarness harness;
  harness.Run([&] {
    for (int s = kDialTxOn; s <= kDialTxIdle; ++s) {
      EXPECT_EQ(harness.Context().dial.table[s].count, kDialCountAtStart);
    }
  });
}

TEST(DialParameters, LevelsAreTenthsOfDbRounded) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    EXPECT_EQ(harness.Controller().Exchange(0x88, {64, 45}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x88}}}));
    const DialArea& dial = harness.Context().dial;
    // -6.4 dB rounds to -6, -4.5 dB to -5.
    EXPECT_EQ(dial.low_gain, AfeGain(harness.Access(), -6));
    EXPECT_EQ(dial.high_gain, AfeGain(harness.Access(), -5));
  });
}

// ---- DTMF ----------------------------------------------------------------------------------

// The controller's pacing: a digit is posted once the previous one was
// taken and has started, so it waits while that one runs.
void PostDigit(PumpHarness& harness, int digit) {
  RunUntilTaken(harness);
  harness.RunBlocks(1);
  ASSERT_TRUE(harness.Controller().Post(0x67, {static_cast<std::uint8_t>(digit)}));
}

// Dials `digits` (codes) at that pacing.
std::vector<std::int16_t> DialDtmf(PumpHarness& harness, std::span<const int> digits, int on_ms,
                                   int off_ms, int low_db10, int high_db10) {
  StartCall(harness);
  harness.Controller().Exchange(0x88, {Lo(low_db10), Lo(high_db10)});
  harness.Controller().Exchange(0x66, {Lo(on_ms), Lo(off_ms), 0, 0, 0, 0});
  const std::size_t from = harness.Afe().LineOutput().size();
  for (const int digit : digits) PostDigit(harness, digit);
  RunUntilTaken(harness);
  harness.RunBlocks(40);
  const auto& out = harness.Afe().LineOutput();
  return {out.begin() + static_cast<std::ptrdiff_t>(from), out.end()};
}

constexpr std::array<int, 16> kAllDigits = {1, 2, 3, 10, 4, 5, 6, 11, 7, 8, 9, 12, 14, 0, 15, 13};

std::string Chars(std::span<const int> digits) {
  std::string s;
  for (int d : digits) s += kDigitChars[d];
  return s;
}

// spandsp's receiver at 8000 Hz, behind the line port's resampler.
std::string SpandspDecode(std::span<const std::int16_t> samples) {
  dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
  testing::SpandspSink sink([&](std::span<const std::int16_t> line) {
    dtmf_rx(rx, line.data(), static_cast<int>(line.size()));
  });
  sink.Put(samples);
  std::vector<std::int16_t> tail(9600, 0);
  sink.Put(tail);
  char digits[64] = {};
  const int n = dtmf_rx_get(rx, digits, 63);
  dtmf_rx_free(rx);
  return std::string(digits, static_cast<std::size_t>(n));
}

TEST(DtmfDialling, SpandspDecodesAllSixteenDigits) {
  PumpHarness harness;
  harness.Run([&] {
    const auto line = DialDtmf(harness, kAllDigits, 100, 100, 90, 70);
    EXPECT_EQ(SpandspDecode(line), Chars(kAllDigits));
  });
}

TEST(DtmfDialling, FrequenciesAndLevelsAsSet) {
  PumpHarness harness;
  harness.Run([&] {
    const auto line = DialDtmf(harness, kAllDigits, 100, 100, 90, 70);
    const auto stretches = Stretches(line);
    std::size_t at = LeadingSilence(line);
    int burst = 0;
    for (const Stretch& s : stretches) {
      if (s.sound) {
        ASSERT_LT(burst, 16);
        const auto& pair = kDtmfFrequencies[kAllDigits[static_cast<std::size_t>(burst)]];
        const std::span<const std::int16_t> tone(line.data() + at, s.length);
        // Levels relative to a full-scale sine: -9 dB low, -7 dB high, each
        // as the front end's gain table gives it (its 1 dB steps sit 0.8 dB
        // above the nominal), so the two tones lie 2 dB apart.
        const double low = Db(Amplitude(tone, pair.low) / 32767.0);
        const double high = Db(Amplitude(tone, pair.high) / 32767.0);
        EXPECT_NEAR(low, -9.0, 1.0) << burst;
        EXPECT_NEAR(high, -7.0, 1.0) << burst;
        EXPECT_NEAR(high - low, 2.0, 0.1) << burst;
        ++burst;
      }
      at += s.length;
    }
    EXPECT_EQ(burst, 16);
  });
}

// On for the on time; off for the off time and the inter-digit tick,
// plus the tick dialTxInit takes before the next digit.
TEST(DtmfDialling, OnAndOffDurations) {
  PumpHarness harness;
  harness.Run([&] {
    const std::array<int, 4> digits = {5, 0, 9, 15};
    const auto line = DialDtmf(harness, digits, 70, 120, 60, 40);
    const auto stretches = Stretches(line);
    ASSERT_GE(stretches.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
      const std::size_t expected = stretches[i].sound ? 7 * kBlock : (12 + 1 + 1) * kBlock;
      EXPECT_EQ(stretches[i].length, expected) << i;
    }
  });
}

// Our generator into our receiver (pump/detect) with noise at 9600 Hz:
// digits lost or wrong by signal-to-noise ratio.
TEST(DtmfDialling, OurDetectorDigitErrorsAgainstSnr) {
  PumpHarness harness;
  std::vector<std::int16_t> line;
  // The receiver confirms digits of 200 ms and more, as voice mode sends them.
  harness.Run([&] { line = DialDtmf(harness, kAllDigits, 250, 100, 90, 70); });
  // The signal's power: the two tones at -9 and -7 dB of a full-scale sine.
  const double signal_rms =
      32767.0 * std::sqrt((std::pow(10, -0.9) + std::pow(10, -0.7)) / 2.0);
  struct Row {
    double snr_db;
    int most_errors;
  };
  for (const Row row : {Row{30, 0}, Row{20, 0}, Row{12, 0}, Row{0, 16}}) {
    const double noise_rms = signal_rms / std::pow(10, row.snr_db / 20);
    const auto noisy = Mix(line, Noise(77, noise_rms, line.size()));
    DtmfDetector detector{};
    ResetDtmfDetector(detector);
    std::string heard;

    for (std::size_t at = 0; at + kBlock <= noisy.size(); at += kBlock) {
      const int code = RunDtmfDetector(detector, std::span(noisy).subspan(at, kBlock));
      if (const int digit = DebounceDtmf(detector, code); digit != 0) {
        heard += "123456789ABCD*0#"[digit - 1];
      }
    }
    int errors = 0;
    const std::string sent = Chars(kAllDigits);
    for (std::size_t i = 0; i < sent.size(); ++i) {
      errors += i < heard.size() && heard[i] == sent[i] ? 0 : 1;
    }
    errors += heard.size() > sent.size() ? static_cast<int>(heard.size() - sent.size()) : 0;
    EXPECT_LE(errors, row.most_errors) << row.snr_db << " dB: heard " << heard;
  }
}

// ---- Pulses --------------------------------------------------------------------------------

TEST(PulseDialling, BreakAndMakePerPulseThenThePause) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x66, {60, 40, 1, 0, Lo(700), Hi(700)});
    harness.Controller().Exchange(0x67, {3});
    harness.RunBlocks(1);  // dialTxInit
    ASSERT_TRUE(harness.Controller().Post(0x67, {0}));  // held until the pause ended
    const auto log = RunLogged(harness, 3 * 10 + 70 + 10 * 10 + 70 + 5);
    std::vector<LineRequest> expected;
    int block = 0;
    const auto pulses = [&](int n) {
      for (int p = 0; p < n; ++p) {
        expected.push_back({block, afe::kAfeLineOff});
        expected.push_back({block + 6, afe::kAfeLineOn});
        block += 10;
      }
    };
    pulses(3);
    block += 70 + 1;  // the pause, then the next digit's dialTxInit
    pulses(10);
    EXPECT_EQ(log, expected);
  });
}

// The dialling flag holds every packet but the reset until the digit's
// pause ended; the held packet is answered in the tick the pause ends.
TEST(PulseDialling, AnUnrelatedPacketWaitsForTheDigit) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x66, {60, 40, 1, 0, Lo(700), Hi(700)});
    harness.Controller().Exchange(0x67, {9});
    harness.RunBlocks(1);
    ASSERT_EQ(harness.Context().dialling, 1u);
    ASSERT_TRUE(harness.Controller().Post(0x72));
    const int waited = RunUntilTaken(harness);
    // dialTxInit's tick ran; nine pulses of ten ticks and the pause remain.
    EXPECT_EQ(waited, 9 * 10 + 70);
    const auto packets = harness.Controller().TakePackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().code, 0xC2) << "DP_MODE answers 0x72";
  });
}

// The next digit waits only the data pump's extra ticks: dialTxInit and the
// pause's one tick.
TEST(DtmfDialling, TheNextDigitWaitsTheDigitAndOneTick) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x66, {100, 100, 0, 0, 0, 0});
    harness.Controller().Exchange(0x67, {1});
    harness.RunBlocks(1);
    ASSERT_TRUE(harness.Controller().Post(0x67, {2}));
    EXPECT_EQ(RunUntilTaken(harness), 10 + 10 + 1);
  });
}

// A hang-up during a pulse digit ends the dial sequence: the flag clears
// and the held packet goes.
TEST(PulseDialling, HangUpDuringADigitReleasesHeldPackets) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x66, {60, 40, 1, 0, Lo(700), Hi(700)});
    harness.Controller().Exchange(0x67, {0});
    harness.RunBlocks(25);
    ASSERT_TRUE(harness.Controller().Post(0x72));
    harness.RunBlocks(5);
    EXPECT_NE(harness.Host().comram.reg[kRegCpPacket], 0) << "held";
    SetOnHook(harness, true);
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Context().dialling, 0u);
    EXPECT_EQ(harness.Host().comram.reg[kRegCpPacket], 0) << "answered";
    const auto log = RunLogged(harness, 100);
    EXPECT_TRUE(log.empty()) << "no pulse after the hang-up";
  });
}

}  // namespace
}  // namespace pump
