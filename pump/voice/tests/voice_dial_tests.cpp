// Dialling while voice runs: digits (0x67) and tone pairs (0x7C) go out on
// the voice line at 8000 Hz in place of the application's samples, and the
// voice machines then watch the line (idle sequences). The line is judged
// by spandsp's DTMF receiver, by this data pump's own voice DTMF receiver
// on a second machine, and by the tones' amplitudes at their frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "pump/afe_access/afe_requests.h"
#include "pump/core/comram.h"
#include "pump/detect/tests/signals.h"
#include "pump/tests/support/spandsp_headers.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

using Samples = std::vector<std::int16_t>;
using detect_test::Amplitude;

constexpr char kDigitChars[] = "0123456789ABCD*#";  // by dial code
constexpr int kAllDigits[] = {1, 2, 3, 10, 4, 5, 6, 11, 7, 8, 9, 12, 14, 0, 15, 13};
constexpr double kRate = 8000;

std::uint8_t Lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t Hi(int v) { return static_cast<std::uint8_t>(v >> 8 & 0xFF); }

void RunUntilTaken(PumpHarness& harness) {
  for (int blocks = 0; harness.Host().comram.reg[kRegCpPacket] != 0 && blocks < 10000; ++blocks) {
    harness.RunBlocks(1);
  }
}

Samples LineSince(PumpHarness& harness, std::size_t from) {
  const auto& line = harness.Afe().LineOutput();
  return {line.begin() + static_cast<std::ptrdiff_t>(from), line.end()};
}

// Levels -9 dB (low group) and -7 dB (high group), on and off times in ms.
void SetDialTiming(PumpHarness& harness, int on_ms, int off_ms) {
  harness.Controller().Exchange(0x88, {90, 70});
  harness.Controller().Exchange(0x66, {Lo(on_ms), Lo(off_ms), 0, 0, 0, 0});
}

// Each digit posted once the one before was taken; blocks run until the
// last has ended.
void Dial(PumpHarness& harness, std::span<const int> digits) {
  for (const int digit : digits) {
    RunUntilTaken(harness);
    harness.RunBlocks(1);
    ASSERT_TRUE(harness.Controller().Post(0x67, {static_cast<std::uint8_t>(digit)}));
  }
  RunUntilTaken(harness);
  harness.RunBlocks(30);
}

std::string SpandspDigits(const Samples& line) {
  dtmf_rx_state_t* rx = dtmf_rx_init(nullptr, nullptr, nullptr);
  dtmf_rx(rx, line.data(), static_cast<int>(line.size()));
  const Samples tail(1600, 0);
  dtmf_rx(rx, tail.data(), static_cast<int>(tail.size()));
  char digits[64] = {};
  const int n = dtmf_rx_get(rx, digits, 63);
  dtmf_rx_free(rx);
  return std::string(digits, static_cast<std::size_t>(n));
}

// 30 ms entries of a 300 Hz sine from the application, 2 s of them.
void QueueApplicationTone(PumpHarness& harness) {
  Samples entry(480);
  for (int k = 0; k < 33; ++k) {
    for (std::size_t i = 0; i < entry.size(); ++i) {
      const double t = static_cast<double>(k * 480 + static_cast<int>(i)) / kRate;
      entry[i] = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * std::numbers::pi * 300 * t)));
    }
    harness.Afe().QueueAppSamples(entry);
  }
}

std::span<const std::int16_t> Window(const Samples& line, std::size_t at, std::size_t n) {
  return std::span(line).subspan(at, n);
}

bool Logged(PumpHarness& harness, ULONG code) {
  for (const testing::AfeCall& call : harness.Afe().Log()) {
    if (call.entry == testing::AfeEntry::kSoundPath && call.code == code) return true;
  }
  return false;
}

// All sixteen digits dialled while playing: spandsp hears them in order on
// the 8000 Hz line, each pair at its nominal frequencies and levels, and
// voice then idles with the line watched.
TEST(VoiceDialling, DigitsReachTheLineAtTheirFrequencies) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    SetDialTiming(harness, 100, 100);
    const std::size_t from = harness.Afe().LineOutput().size();
    Dial(harness, kAllDigits);
    const Samples line = LineSince(harness, from);
    std::string expected;
    for (int d : kAllDigits) expected += kDigitChars[d];
    EXPECT_EQ(SpandspDigits(line), expected);

    // The first digit ('1': 1209 and 697 Hz) over 80 ms inside its 100 ms.
    std::size_t start = 0;
    while (start < line.size() && line[start] == 0) ++start;
    const auto tone = Window(line, start + 80, 640);
    EXPECT_NEAR(detect_test::Db(Amplitude(tone, 697, kRate) / 32767.0), -9.0, 1.0);
    EXPECT_NEAR(detect_test::Db(Amplitude(tone, 1209, kRate) / 32767.0), -7.0, 1.0);

    const DspContext& context = harness.Context();
    EXPECT_EQ(context.voice_active, 1u);
    EXPECT_EQ(context.dialling, 0u);
    EXPECT_STREQ(context.voice.tx.table[0].name, "VoiceIdleSeqTx");
    EXPECT_STREQ(context.voice.rx.table[0].name, "VoiceIdleSeqRx");
  });
}

// Our transmitter into our receiver: the line of one machine dialling in
// voice, fed to a second machine in voice, comes back as its digits ('*'
// as 'E', '#' as 'F').
TEST(VoiceDialling, OurVoiceReceiverHearsTheDigits) {
  Samples line;
  {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, 0);
      SetDialTiming(harness, 70, 70);
      const std::size_t from = harness.Afe().LineOutput().size();
      Dial(harness, kAllDigits);
      line = LineSince(harness, from);
    });
  }
  PumpHarness listener(VoiceProfile());
  listener.Run([&] {
    StartVoice(listener, 2, 8, 0);  // play, with no bytes: the line watched
    listener.Afe().FeedLine(line);
    listener.RunBlocks(static_cast<int>(line.size() / kBlock) + 10);
    const auto results = ToneResults(listener.Controller().TakePackets());
    EXPECT_EQ(std::string(results.begin(), results.end()), "123A456B789CE0FD");
  });
}

// The application's samples reach the line (line mode 6) until a digit:
// the digit stops their stream, the line carries only the digit, and after
// it the line stays silent.
TEST(VoiceDialling, ADigitStopsTheApplicationsSamples) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 1);
    harness.Controller().Exchange(0x95, {6});
    QueueApplicationTone(harness);
    SetDialTiming(harness, 100, 100);
    const std::size_t from = harness.Afe().LineOutput().size();
    harness.RunBlocks(10);
    harness.Afe().ClearLog();
    const int digits[] = {5};
    Dial(harness, digits);
    const Samples line = LineSince(harness, from);
    ASSERT_GE(line.size(), 40 * kBlock);
    // The front end's latency delays both the tone's start and its end by
    // a few blocks.
    EXPECT_GT(Amplitude(Window(line, 4 * kBlock, 6 * kBlock), 300, kRate), 7000)
        << "the application's tone";
    EXPECT_TRUE(Logged(harness, afe::kSoundStopAppStream));
    EXPECT_EQ(harness.Context().voice.streams.app_to_line, 0);
    EXPECT_EQ(SpandspDigits(line), "5");
    const auto rest = Window(line, 16 * kBlock, line.size() - 16 * kBlock);
    // 1 % of the application's tone: what the digit's tones leak into the bin.
    EXPECT_LT(Amplitude(rest, 300, kRate), 80) << "no application sample after the stop";
    const auto after = Window(line, line.size() - 5 * kBlock, 5 * kBlock);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](std::int16_t v) { return v == 0; }));
  });
}

// A tone pair in voice: its increments are of the 9600 Hz line (f x 65536 /
// 9600), and the line carries 1000 and 1500 Hz at 8000 Hz in place of the
// application's tone until the pair stops; then the application's samples
// (their stream still on) reach the line again.
TEST(VoiceDialling, ATonePairTakesTheLineUntilStopped) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 1);
    harness.Controller().Exchange(0x95, {6});
    QueueApplicationTone(harness);
    harness.RunBlocks(5);
    const int f1 = 1000 * 65536 / 9600;
    const int f2 = 1500 * 65536 / 9600;
    harness.Controller().Exchange(0x7C, {Lo(f1), Hi(f1), Lo(f2), Hi(f2), 4, 0});
    const std::size_t from = harness.Afe().LineOutput().size();
    harness.RunBlocks(30);
    Samples line = LineSince(harness, from);
    const auto steady = Window(line, 5 * kBlock, 20 * kBlock);
    const double a1000 = Amplitude(steady, 1000, kRate);
    EXPECT_GT(a1000, 2000);
    EXPECT_NEAR(Amplitude(steady, 1500, kRate), a1000, a1000 * 0.05) << "one gain for both";
    EXPECT_LT(Amplitude(steady, 300, kRate), a1000 * 0.01) << "the application waits";
    EXPECT_LT(Amplitude(steady, 1000 * 8000 / 9600.0, kRate), a1000 * 0.05) << "not at 9600 Hz steps";
    EXPECT_EQ(harness.Context().dialling, 0u) << "a tone pair holds no packets";

    harness.Controller().Exchange(0x7C, {0, 0, 0, 0, 0, 0});
    const std::size_t stopped = harness.Afe().LineOutput().size();
    harness.RunBlocks(12);
    line = LineSince(harness, stopped);
    // The front end's latency: blocks already handed over still play.
    const auto after = Window(line, 4 * kBlock, 8 * kBlock);
    EXPECT_LT(Amplitude(after, 1000, kRate), 1.0);
    EXPECT_GT(Amplitude(after, 300, kRate), 7000) << "the application's tone again";
    EXPECT_STREQ(harness.Context().voice.tx.table[0].name, "VoiceIdleSeqTx");
  });
}

// Pulses in voice: three breaks and makes of the line interface for digit
// 3, nothing on the line meanwhile, then voice idles as after a DTMF digit.
TEST(VoiceDialling, PulsesBreakTheLineAndLeaveVoiceIdle) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x66, {60, 40, 1, 0, Lo(200), Hi(200)});
    const std::size_t from = harness.Afe().LineOutput().size();
    harness.Controller().Exchange(0x67, {3});
    harness.RunBlocks(3 * 10 + 20 + 5);
    int breaks = 0;
    int makes = 0;
    for (ULONG code : testing::RequestCodes(harness.Afe().Log())) {
      breaks += code == afe::kAfeLineOff ? 1 : 0;
      makes += code == afe::kAfeLineOn ? 1 : 0;
    }
    EXPECT_EQ(breaks, 3);
    EXPECT_EQ(makes, 3);
    const Samples line = LineSince(harness, from);
    EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](std::int16_t v) { return v == 0; }));
    EXPECT_EQ(harness.Context().dialling, 0u);
    EXPECT_EQ(harness.Context().voice_active, 1u);
    EXPECT_STREQ(harness.Context().voice.rx.table[0].name, "VoiceIdleSeqRx");
  });
}

}  // namespace
}  // namespace pump::voice_test
