// The speakerphone's simple path (profile flag bit 11 clear) on a running
// pump in voice mode with both streams on: the microphone reaches the line
// through its gain stage alone, never replaced by a probe; the line reaches the speaker through the speaker's gain stage;
// microphone index 15 mutes the line side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "pump/tests/support/key_packets.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

std::vector<std::int16_t> Tone(double amplitude, double hz, std::size_t count, std::size_t silent) {
  std::vector<std::int16_t> s(silent + count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    s[silent + i] = static_cast<std::int16_t>(
        std::lround(amplitude * std::cos(2 * std::numbers::pi * hz * double(i) / 8000)));
  }
  return s;
}

// Microphone talk spurts (silence, then a tone) on a quiet line.
void QueueSpurts(PumpHarness& harness, int spurts) {
  for (int k = 0; k < spurts; ++k) {
    const auto spurt = Tone(6000, 350 + 100 * k, 1920, 1920);
    for (std::size_t at = 0; at < spurt.size(); at += 480) {
      harness.Afe().QueueAppSamples(std::span(spurt).subspan(at, 480));
    }
  }
}

// What the line got since `before`.
std::vector<std::int16_t> Since(const std::vector<std::int16_t>& all, std::size_t before) {
  return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
}

void SetVoiceGainWord(PumpHarness& harness, std::uint16_t word) {
  const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(word),
                                           static_cast<std::uint8_t>(word >> 8)};
  ASSERT_TRUE(testing::WriteParam(harness.Controller(), 0x10234, bytes));
}

TEST(SpeakerphoneSimple, MicrophoneGoesOutThroughItsGainStageWithoutAProbe) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {9});
    const std::size_t before = harness.Afe().LineOutput().size();
    QueueSpurts(harness, 3);
    harness.RunBlocks(3 * 48 + 4);
    const auto line = Since(harness.Afe().LineOutput(), before);
    // The microphone's samples as the pump takes them: the first block of
    // the queue is the first block after `before`.
    std::vector<std::int16_t> mic;
    for (int k = 0; k < 3; ++k) {
      const auto spurt = Tone(6000, 350 + 100 * k, 1920, 1920);
      mic.insert(mic.end(), spurt.begin(), spurt.end());
    }
    // The line's output queue adds its own latency: align on the first
    // sound. The gain stage keeps every sample's sign and every silence
    // from there on; a probe of +-4000 during a spurt start would not.
    const auto first = [](const std::vector<std::int16_t>& v) {
      return std::find_if(v.begin(), v.end(), [](std::int16_t x) { return x != 0; }) - v.begin();
    };
    const std::ptrdiff_t lag = first(line) - first(mic);
    ASSERT_GE(lag, 10);
    ASSERT_GE(line.size(), mic.size() + static_cast<std::size_t>(lag));
    int loud = 0;
    for (std::size_t i = 0; i < mic.size(); ++i) {
      const std::int16_t out = line[i + static_cast<std::size_t>(lag)];
      ASSERT_EQ(out > 0, mic[i] > 0) << i;
      ASSERT_EQ(out < 0, mic[i] < 0) << i;
      loud = std::max(loud, std::abs(int{out}));
    }
    EXPECT_GT(loud, 20000) << "the tone, raised towards the microphone's target";
  });
}

TEST(SpeakerphoneSimple, LinePassesOnlyTheSpeakerGainStage) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {9});
    harness.Controller().Exchange(0x99, {128, 0});
    const std::size_t before = harness.Afe().SoundPuts().size();
    harness.Afe().FeedLine(Tone(10000, 600, 3200, 0));
    harness.RunBlocks(40);
    int peak = 0;
    const auto& puts = harness.Afe().SoundPuts();
    for (std::size_t b = before + 10; b < puts.size(); ++b) {
      for (std::int16_t v : puts[b]) peak = std::max(peak, std::abs(int{v}));
    }
    // Speaker index 5 (floor 6140): the line's tone reaches full scale.
    EXPECT_GT(peak, 30000);
  });
}

TEST(SpeakerphoneSimple, MicrophoneIndexFifteenMutesTheLine) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    SetVoiceGainWord(harness, 0xF500);
    harness.Controller().Exchange(0x95, {9});
    const std::size_t before = harness.Afe().LineOutput().size();
    QueueSpurts(harness, 2);
    harness.RunBlocks(2 * 48);
    const auto line = Since(harness.Afe().LineOutput(), before);
    ASSERT_FALSE(line.empty());
    EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](std::int16_t v) { return v == 0; }));
  });
}

}  // namespace
}  // namespace pump::voice_test
