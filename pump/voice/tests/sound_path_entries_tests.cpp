// The sound-path entries on a running pump in voice mode: a sine through
// the 48000 to 8000 Hz entry and back keeps its frequency and level, the
// entries count whole pieces, and the near-end and far-end entries only
// move the far-end delay index (blocks of 802 bytes or more not even that).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "pump/voice/sound_path_entries.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

std::vector<std::int16_t> Sine(double amplitude, double hz, double rate, std::size_t count) {
  std::vector<std::int16_t> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
  }
  return s;
}

double Rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
  double energy = 0;
  for (std::size_t i = from; i < to; ++i) energy += double{1} * s[i] * s[i];
  return std::sqrt(energy / double(to - from));
}

// Rising zero crossings per second.
double Frequency(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to, double rate) {
  std::vector<double> at;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) at.push_back(double(i - 1) + double(-s[i - 1]) / double(s[i] - s[i - 1]));
  }
  return at.size() < 2 ? 0 : rate * double(at.size() - 1) / (at.back() - at.front());
}

void InVoice(const std::function<void(DspContext&)>& body) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {9});
    body(harness.Context());
  });
}

TEST(SoundPathCallbacks, SineDownAndUpKeepsFrequencyAndLevel) {
  for (double hz : {300.0, 1000.0, 3000.0}) {
    InVoice([&](DspContext& context) {
      const double amplitude = 10000;
      auto wide = Sine(amplitude, hz, 48000, 4800);
      ASSERT_EQ(SoundPathDown(context, wide), 10);
      std::vector<std::int16_t> narrow(wide.begin(), wide.begin() + 800);
      EXPECT_NEAR(Frequency(narrow, 160, 800, 8000), hz, hz * 0.002) << hz;
      EXPECT_LT(std::abs(20 * std::log10(Rms(narrow, 160, 800) / (amplitude / std::sqrt(2.0)))), 0.5) << hz;

      std::vector<std::int16_t> buffer(6 * 800, 0);
      const auto tone = Sine(amplitude, hz, 8000, 800);
      std::copy(tone.begin(), tone.end(), buffer.begin());
      ASSERT_EQ(SoundPathUp(context, buffer, 800), 10);
      EXPECT_NEAR(Frequency(buffer, 960, 4800, 48000), hz, hz * 0.002) << hz;
      EXPECT_LT(std::abs(20 * std::log10(Rms(buffer, 960, 4800) / (amplitude / std::sqrt(2.0)))), 0.5) << hz;
    });
  }
}

TEST(SoundPathCallbacks, PieceCounts) {
  InVoice([](DspContext& context) {
    for (const auto& [samples, pieces] : {std::pair{0, 0}, {479, 0}, {480, 1}, {1000, 2}, {4800, 10}}) {
      std::vector<std::int16_t> buffer(static_cast<std::size_t>(samples), 100);
      EXPECT_EQ(SoundPathDown(context, buffer), pieces) << samples;
    }
    for (const auto& [samples, pieces] : {std::pair{0, 0}, {79, 0}, {80, 1}, {250, 3}}) {
      std::vector<std::int16_t> buffer(6 * static_cast<std::size_t>(samples), 100);
      EXPECT_EQ(SoundPathUp(context, buffer, static_cast<std::size_t>(samples)), pieces) << samples;
    }
  });
}

TEST(SoundPathCallbacks, NearAndFarEndOnlyMoveTheDelayIndex) {
  InVoice([](DspContext& context) {
    std::int32_t& index = context.voice.speakerphone.far_index;
    EXPECT_EQ(index, kFarEndDelayStart);
    struct Step {
      bool near;
      std::size_t bytes;
      std::int32_t index;
    };
    const Step steps[] = {
        {true, 160, 592},  {false, 160, 672}, {true, 802, 672}, {false, 1000, 672},
        {true, 800, 1072}, {false, 0, 1072},
    };
    for (const Step& s : steps) {
      if (s.near) {
        SoundPathNearEnd(context, s.bytes);
      } else {
        SoundPathFarEnd(context, s.bytes);
      }
      EXPECT_EQ(index, s.index) << s.bytes;
    }
    index = kFarEndDelayLine - 40;
    SoundPathFarEnd(context, 160);
    EXPECT_EQ(index, 40) << "the delay line wraps";
  });
}

}  // namespace
}  // namespace pump::voice_test
