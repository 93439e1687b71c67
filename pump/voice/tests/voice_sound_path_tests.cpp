// The sound path in voice mode: the stream requests each line mode makes,
// line audio into the line-to-application queue, application samples onto
// the line, and the voice resources' allocation failing part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/ex/pool.h"
#include "pump/commands/voice_resources.h"
#include "pump/resampler/resampler.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

std::vector<ULONG> SoundCodes(const std::vector<testing::AfeCall>& log) {
  std::vector<ULONG> codes;
  for (const testing::AfeCall& call : log) {
    if (call.entry == testing::AfeEntry::kSoundPath && call.code != afe::kSoundPutSamples &&
        call.code != afe::kSoundTakeSamples) {
      codes.push_back(call.code);
    }
  }
  return codes;
}

// From play with both streams off, each mode's stream requests.
TEST(VoiceSoundPath, StreamRequestsByLineMode) {
  struct Case {
    std::uint8_t mode;
    std::vector<ULONG> codes;
  };
  const Case cases[] = {
      {0, {}},
      {3, {}},
      {6, {afe::kSoundStartAppStream}},
      {7, {afe::kSoundStartLineStreamNow}},
      {8, {afe::kSoundRequest37, afe::kSoundStartBoth}},
      {9, {afe::kSoundRequest37, afe::kSoundStartBoth}},
  };
  for (const Case& c : cases) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, 0);
      harness.Controller().Exchange(0x95, {c.mode});
      EXPECT_EQ(SoundCodes(harness.Afe().Log()), c.codes) << int{c.mode};
    });
  }
}

TEST(VoiceSoundPath, LineAudioReachesTheApplication) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    // Mode 9: the speakerphone's two streams over the idle sequences (mode
    // 7 plays the controller's bytes to the speaker instead).
    harness.Controller().Exchange(0x95, {9});
    harness.Controller().Exchange(0x99, {128, 0});  // full level
    const std::size_t before = harness.Afe().SoundPuts().size();
    // A 530 Hz sine of amplitude 10000 (the line's own filters shape its
    // samples, so the test looks at its level).
    std::vector<std::int16_t> sine(1600);
    for (std::size_t i = 0; i < sine.size(); ++i) {
      sine[i] = static_cast<std::int16_t>(10000 * std::sin(2 * std::numbers::pi * 530 * double(i) / 8000));
    }
    harness.Afe().FeedLine(sine);
    harness.RunBlocks(20);
    std::vector<std::int16_t> heard;
    const auto& puts = harness.Afe().SoundPuts();
    EXPECT_EQ(puts.size() - before, 20u) << "one block to the application per block";
    for (std::size_t i = before; i < puts.size(); ++i) {
      EXPECT_EQ(puts[i].size(), kBlock);
      heard.insert(heard.end(), puts[i].begin(), puts[i].end());
    }
    double energy = 0;
    int loud = 0;
    for (std::int16_t v : heard) {
      energy += double{1} * v * v;
      loud += std::abs(v) > 5000 ? 1 : 0;
    }
    EXPECT_GT(loud, 700) << "the line's tone reaches the application";
    // The speakerphone's speaker gain stage lifts the tone's peak to full scale.
    EXPECT_NEAR(std::sqrt(energy / std::max<double>(1, loud)), 32767 / std::sqrt(2.0), 3000);
  });
}

TEST(VoiceSoundPath, ApplicationSamplesReachTheLine) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {6});
    const std::size_t before = harness.Afe().LineOutput().size();
    std::vector<std::int16_t> ramp(480 * 2);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::int16_t>(i * 30 - 14000);
    // Entries of 480 samples: each take brings more than a block, and the
    // rest waits for the next blocks.
    harness.Afe().QueueAppSamples(std::span(ramp).first(480));
    harness.Afe().QueueAppSamples(std::span(ramp).subspan(480));
    harness.RunBlocks(20);
    const auto& line = harness.Afe().LineOutput();
    const std::vector<std::int16_t> played(line.begin() + static_cast<std::ptrdiff_t>(before), line.end());
    EXPECT_NE(std::search(played.begin(), played.end(), ramp.begin(), ramp.end()), played.end())
        << "the application's samples, whole and in order";
  });
}

constexpr ULONG kDdk = plat::ex::PoolTag("Ddk ");

bool NoVoiceResources(const VoiceResources& voice) {
  return voice.fft == nullptr && voice.fft_work == nullptr && voice.lms == nullptr &&
         voice.echo_fft == nullptr && voice.echo_fft_work == nullptr &&
         std::all_of(std::begin(voice.fir), std::end(voice.fir),
                     [](const std::uint8_t* fir) { return fir == nullptr; });
}

// Each of the voice resources' allocations refused in turn: AllocVoice
// fails, and FreeVoice gives back what was made before it.
TEST(VoiceSoundPath, AllocVoiceRefusedAtEachAllocationLeaksNothing) {
  PumpHarness harness;
  harness.Run([&] {
    plat::ex::Pool& pool = harness.Machine().pool();
    const plat::ex::PoolUsage started = pool.LiveByTag(kDdk);
    ModeResources resources{};
    const std::uint64_t before = pool.AllocationAttempts();
    ASSERT_TRUE(AllocVoice(resources));
    const std::uint64_t attempts = pool.AllocationAttempts() - before;
    EXPECT_GE(attempts, 10u) << "ten objects, some of several blocks";
    FreeVoice(resources);
    EXPECT_TRUE(NoVoiceResources(resources.voice));
    EXPECT_EQ(pool.LiveByTag(kDdk), started);
    for (std::uint64_t n = 1; n <= attempts; ++n) {
      SCOPED_TRACE(n);
      pool.FailNthAllocation(n);
      EXPECT_FALSE(AllocVoice(resources));
      FreeVoice(resources);
      EXPECT_TRUE(NoVoiceResources(resources.voice));
      EXPECT_EQ(pool.LiveByTag(kDdk), started) << pool.LeakReport();
    }
  });
}

// The reset's voice entry refused at its last allocation (the resampler's
// block is the only entry after it): the data pump stays not ready, runs
// no block and starts no voice; the next reset that succeeds plays voice.
TEST(VoiceSoundPath, AResetWhoseVoiceAllocationFailsRunsNoVoiceUntilOneSucceeds) {
  std::uint64_t voice_attempts = 0;
  std::uint64_t resampler_attempts = 0;
  std::uint64_t reset_attempts = 0;
  {
    PumpHarness harness;
    harness.Run([&] {
      plat::ex::Pool& pool = harness.Machine().pool();
      ModeResources resources{};
      std::uint64_t at = pool.AllocationAttempts();
      ASSERT_TRUE(AllocVoice(resources));
      voice_attempts = pool.AllocationAttempts() - at;
      at = pool.AllocationAttempts();
      ASSERT_TRUE(AllocResampler(resources.resampler));
      resampler_attempts = pool.AllocationAttempts() - at;
      FreeResampler(resources.resampler);
      FreeVoice(resources);
      at = pool.AllocationAttempts();
      harness.Controller().Post(0x60, {0});
      reset_attempts = pool.AllocationAttempts() - at;
    });
  }
  ASSERT_GT(reset_attempts, voice_attempts + resampler_attempts);
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    plat::ex::Pool& pool = harness.Machine().pool();
    const plat::ex::PoolUsage started = pool.LiveByTag(kDdk);
    pool.FailNthAllocation(reset_attempts - resampler_attempts);
    harness.Controller().Post(0x60, {0});
    EXPECT_EQ(harness.Context().ready, 0u);
    EXPECT_TRUE(NoVoiceResources(harness.Context().resources.voice));
    EXPECT_EQ(pool.LiveByTag(kDdk), started) << pool.LeakReport();
    harness.Controller().Post(0x97, {2, 8, 0, 0});
    harness.Afe().ClearLog();
    harness.RunBlocks(3);
    EXPECT_EQ(harness.Context().voice_active, 0u);
    EXPECT_TRUE(harness.Afe().Log().empty()) << "no block runs without the resources";

    StartVoice(harness, 2, 8, 0);  // its reset succeeds
    EXPECT_EQ(harness.Context().ready, 1u);
    EXPECT_EQ(harness.Context().voice_active, 1u);
    const std::size_t before = harness.Afe().LineOutput().size();
    harness.Controller().StreamTx(0, std::vector<std::uint8_t>(160, 0x80));  // mu-law 0x80: 32124
    harness.RunBlocks(6);
    const auto& line = harness.Afe().LineOutput();
    EXPECT_EQ(std::count(line.begin() + static_cast<std::ptrdiff_t>(before), line.end(),
                         std::int16_t{32124}),
              160);
  });
}

}  // namespace
}  // namespace pump::voice_test
