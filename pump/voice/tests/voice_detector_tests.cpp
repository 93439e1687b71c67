// What voice mode reports while it runs: spandsp's DTMF digits, the calling
// tones, silence and the local handset.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "pump/voice/tests/voice_rig.h"
#include "pump/voice/voice_reports.h"

#include "pump/tests/support/spandsp_headers.h"

namespace pump::voice_test {
namespace {

using Samples = std::vector<std::int16_t>;

Samples Tone(double f, double seconds, double amplitude = 8000) {
  Samples x(static_cast<std::size_t>(seconds * 8000));
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = static_cast<std::int16_t>(amplitude * std::sin(2 * std::numbers::pi * f * double(i) / 8000));
  }
  return x;
}

Samples Silence(double seconds) { return Samples(static_cast<std::size_t>(seconds * 8000), 0); }

void Feed(PumpHarness& harness, const Samples& x) {
  harness.Afe().FeedLine(x);
  harness.RunBlocks(static_cast<int>(x.size() / kBlock));
}

// Digits from spandsp's generator come back as their characters, with
// '*' as 'E' and '#' as 'F'.
TEST(VoiceDetectors, SpandspDigits) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    dtmf_tx_state_t* tx = dtmf_tx_init(nullptr);
    // 250 ms digits: the detector decides once per 236-sample window and
    // confirms a digit after eight decisions (about 200 ms).
    dtmf_tx_set_timing(tx, 250, 100);
    const std::string digits = "159*#0AD";
    dtmf_tx_put(tx, digits.c_str(), static_cast<int>(digits.size()));
    Samples line(8000 * 3, 0);  // the digits and their pauses
    dtmf_tx(tx, line.data(), static_cast<int>(line.size()));
    dtmf_tx_free(tx);
    Feed(harness, line);
    Feed(harness, Silence(0.3));
    const auto results = ToneResults(harness.Controller().TakePackets());
    EXPECT_EQ(std::string(results.begin(), results.end()), "159EF0AD");
  });
}

// An 1100 Hz tone, once present, reports 78 after more than four blocks
// without it; a tone too short to be present reports nothing.
TEST(VoiceDetectors, CallingTone1100Ends) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    Feed(harness, Tone(1100, 0.1));
    Feed(harness, Silence(0.5));
    EXPECT_TRUE(ToneResults(harness.Controller().TakePackets()).empty()) << "100 ms is no tone";
    Feed(harness, Tone(1100, 0.6));
    EXPECT_TRUE(ToneResults(harness.Controller().TakePackets()).empty()) << "still on";
    Feed(harness, Silence(0.03));
    EXPECT_TRUE(ToneResults(harness.Controller().TakePackets()).empty()) << "three blocks off";
    Feed(harness, Silence(0.5));
    EXPECT_EQ(ToneResults(harness.Controller().TakePackets()),
              std::vector<std::uint8_t>{kVoice1100HzEnded});
  });
}

// The third 1300 Hz burst, not the first or second, reports 103.
TEST(VoiceDetectors, ThirdCallingTone1300Burst) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    std::vector<std::vector<std::uint8_t>> after_burst;
    for (int burst = 0; burst < 4; ++burst) {
      Feed(harness, Tone(1300, 0.5));
      Feed(harness, Silence(0.5));
      after_burst.push_back(ToneResults(harness.Controller().TakePackets()));
    }
    EXPECT_EQ(after_burst, (std::vector<std::vector<std::uint8_t>>{
                               {}, {}, {kVoice1300HzThirdBurst}, {}}));
  });
}

// Silence time 35 (3.5 s): 113 after 350 quiet blocks, then 115 every 350;
// a loud block starts over.
TEST(VoiceDetectors, SilenceReports) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 2);
    harness.Controller().Exchange(0x96, {1, 35});
    harness.Controller().TakePackets();
    harness.RunBlocks(349);
    EXPECT_TRUE(ToneResults(harness.Controller().TakePackets()).empty());
    harness.RunBlocks(1);
    EXPECT_EQ(ToneResults(harness.Controller().TakePackets()),
              std::vector<std::uint8_t>{kVoiceSilenceFirst});
    harness.RunBlocks(700);
    EXPECT_EQ(ToneResults(harness.Controller().TakePackets()),
              (std::vector<std::uint8_t>{kVoiceSilenceAgain, kVoiceSilenceAgain}));
    Feed(harness, Tone(400, 0.02));
    harness.Controller().TakePackets();
    harness.RunBlocks(340);
    EXPECT_TRUE(ToneResults(harness.Controller().TakePackets()).empty()) << "a loud block restarts";
    harness.RunBlocks(20);
    EXPECT_EQ(ToneResults(harness.Controller().TakePackets()),
              std::vector<std::uint8_t>{kVoiceSilenceFirst});
  });
}

// The idle sequence runs the spectral tone classifier too: a 200 ms
// 400 Hz tone (its entry 4 takes 50 to 350 ms) is reported as 0x84 when it
// ends; the play sequence does not classify.
TEST(VoiceDetectors, IdleSequenceClassifiesTones) {
  for (std::uint8_t sequence : {2, 0}) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, sequence);
      Feed(harness, Tone(400, 0.2));
      Feed(harness, Silence(0.3));
      const auto results = ToneResults(harness.Controller().TakePackets());
      const bool reported = std::find(results.begin(), results.end(), 0x84) != results.end();
      EXPECT_EQ(reported, sequence == 2) << int{sequence};
    });
  }
}

// The local handset: off hook (status 3) clears register 242 bit 1, on
// hook (1) sets it; status 2 changes nothing.
TEST(VoiceDetectors, Handset) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 2);
    auto bit = [&] { return (harness.Host().comram.reg[kRegLineLevelA] >> 1) & 1; };
    harness.Afe().SetLineStatus(3);
    harness.RunBlocks(1);
    EXPECT_EQ(bit(), 0);
    harness.Afe().SetLineStatus(2);
    harness.RunBlocks(1);
    EXPECT_EQ(bit(), 0);
    harness.Afe().SetLineStatus(1);
    harness.RunBlocks(1);
    EXPECT_EQ(bit(), 1);
    harness.Afe().SetLineStatus(3);
    harness.RunBlocks(1);
    EXPECT_EQ(bit(), 0);
  });
}

}  // namespace
}  // namespace pump::voice_test
