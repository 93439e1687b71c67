// The sound-path entries as the front end reaches them, through the event
// block the data pump lends it, on a machine in voice mode: a sine through
// the 48000 to 8000 Hz entry and back keeps its frequency and level, the
// entries count whole pieces, and the near-end and far-end entries pass
// their blocks and only move the far-end delay index (blocks of 802 bytes
// or more not even that).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "pump/voice/sound_path_entries.h"
#include "pump/voice/tests/voice_machine.h"

namespace pump::testing {
namespace {

enum EntryIndex { kNearEnd = 0, kFarEnd = 1, kDown = 2, kUp = 3 };

std::vector<SHORT> EntrySine(double amplitude, double hz, double rate, std::size_t count) {
  std::vector<SHORT> s(count);
  for (std::size_t i = 0; i < count; ++i) {
    s[i] = static_cast<SHORT>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate)));
  }
  return s;
}

double EntryRms(const std::vector<SHORT>& s, std::size_t from, std::size_t to) {
  double energy = 0;
  for (std::size_t i = from; i < to; ++i) energy += double{1} * s[i] * s[i];
  return std::sqrt(energy / double(to - from));
}

// Rising zero crossings per second.
double EntryFrequency(const std::vector<SHORT>& s, std::size_t from, std::size_t to, double rate) {
  std::vector<double> at;
  for (std::size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) at.push_back(double(i - 1) + double(-s[i - 1]) / double(s[i] - s[i - 1]));
  }
  return at.size() < 2 ? 0 : rate * double(at.size() - 1) / (at.back() - at.front());
}

class SoundPathCallbacks : public VoiceMachine {
 protected:
  void SetUp() override { BootInSpeakerphone(kStreamLevels | kSoundPath); }
  // Entry `index` of the event block on `samples`, given `bytes`.
  LONG Call(EntryIndex index, std::vector<SHORT>& samples, std::size_t bytes) {
    afe::SoundPathCallback entry = Events().SoundPathCallbacks[index];
    EXPECT_NE(entry, nullptr);
    LONG result = -1;
    if (entry != nullptr) {
      OnKernelThread([&] { result = entry(samples.data(), static_cast<ULONG>(bytes)); });
    }
    return result;
  }
};

TEST_F(SoundPathCallbacks, SineDownAndUpKeepsFrequencyAndLevel) {
  const double amplitude = 10000;
  for (double hz : {300.0, 1000.0, 3000.0}) {
    auto wide = EntrySine(amplitude, hz, 48000, 4800);
    ASSERT_EQ(Call(kDown, wide, 2 * wide.size()), 10);
    const std::vector<SHORT> narrow(wide.begin(), wide.begin() + 800);
    EXPECT_NEAR(EntryFrequency(narrow, 160, 800, 8000), hz, hz * 0.002) << hz;
    EXPECT_LT(std::abs(20 * std::log10(EntryRms(narrow, 160, 800) / (amplitude / std::sqrt(2.0)))), 0.5) << hz;

    std::vector<SHORT> buffer(6 * 800, 0);
    const auto tone = EntrySine(amplitude, hz, 8000, 800);
    std::copy(tone.begin(), tone.end(), buffer.begin());
    ASSERT_EQ(Call(kUp, buffer, 2 * tone.size()), 10);
    EXPECT_NEAR(EntryFrequency(buffer, 960, 4800, 48000), hz, hz * 0.002) << hz;
    EXPECT_LT(std::abs(20 * std::log10(EntryRms(buffer, 960, 4800) / (amplitude / std::sqrt(2.0)))), 0.5) << hz;
  }
}

TEST_F(SoundPathCallbacks, PieceCounts) {
  for (const auto& [samples, pieces] : {std::pair{0, 0}, {479, 0}, {480, 1}, {1000, 2}, {4800, 10}}) {
    std::vector<SHORT> buffer(static_cast<std::size_t>(samples), 100);
    EXPECT_EQ(Call(kDown, buffer, 2 * buffer.size()), pieces) << samples;
  }
  for (const auto& [samples, pieces] : {std::pair{0, 0}, {79, 0}, {80, 1}, {250, 3}}) {
    std::vector<SHORT> buffer(6 * static_cast<std::size_t>(samples), 100);
    EXPECT_EQ(Call(kUp, buffer, 2 * static_cast<std::size_t>(samples)), pieces) << samples;
  }
}

TEST_F(SoundPathCallbacks, NearAndFarEndPassBlocksAndOnlyMoveTheDelayIndex) {
  EXPECT_EQ(Phone().far_index, kFarEndDelayStart);
  struct Step {
    EntryIndex entry;
    std::size_t bytes;
    std::int32_t index;
  };
  const Step steps[] = {
      {kNearEnd, 160, 592}, {kFarEnd, 160, 672}, {kNearEnd, 802, 672}, {kFarEnd, 1000, 672},
      {kNearEnd, 800, 1072}, {kFarEnd, 0, 1072},
  };
  for (const Step& s : steps) {
    std::vector<SHORT> block = EntrySine(9000, 700, 8000, 600);
    const std::vector<SHORT> sent = block;
    EXPECT_EQ(Call(s.entry, block, s.bytes), 0) << s.bytes;
    EXPECT_EQ(block, sent) << s.bytes << ": the block passes unchanged";
    EXPECT_EQ(Phone().far_index, s.index) << s.bytes;
  }
  Phone().far_index = kFarEndDelayLine - 40;
  std::vector<SHORT> block(80, 5);
  Call(kFarEnd, block, 160);
  EXPECT_EQ(Phone().far_index, 40) << "the delay line wraps";
}

}  // namespace
}  // namespace pump::testing
