#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "pump/afe_access/rate_converter.h"
#include "pump/afe_access/tests/afe_access_fixture.h"

namespace pump::testing {
namespace {

// Linear interpolation of `x` at position i * step / 32768, in double.
double Interpolated(const std::vector<std::int16_t>& x, std::int64_t i, std::int32_t step) {
  const std::int64_t scaled = i * step;
  const std::int64_t q = scaled >> 15;
  const double fraction = static_cast<double>(scaled & 32767) / 32768.0;
  return x[static_cast<std::size_t>(q)] +
         (x[static_cast<std::size_t>(q + 1)] - x[static_cast<std::size_t>(q)]) * fraction;
}

// The block in which output i can be made: the one holding sample q + 1.
std::int64_t BlockOfOutput(std::int64_t i, std::int32_t step, int block) {
  return (((i * step) >> 15) + 1) / block;
}

// Every output lies within one unit of the interpolation at i * step / 32768
// (positions counted from the first sample ever converted), and each block
// makes exactly the outputs whose right-hand sample it holds.
TEST(SoundMirror, ConverterFollowsLinearInterpolation) {
  struct Case {
    std::int32_t rate;
    int block;
    std::int32_t step;
  };
  for (const Case c : {Case{9600, 96, 39321}, Case{7200, 48, 29491}, Case{8229, 96, 33705},
                       Case{16000, 138, 65536}, Case{8000, 80, 32768}}) {
    SCOPED_TRACE(c.rate);
    constexpr int kBlocks = 2000;
    RateConverter converter{};
    ASSERT_EQ(InitRateConverter(converter, c.rate, kSoundPathRate), 0);
    ASSERT_EQ(converter.step, c.step);
    const std::vector<std::int16_t> x = RandomSamples(static_cast<std::size_t>(kBlocks * c.block),
                                                      static_cast<std::uint32_t>(c.rate));
    std::int64_t i = 0;
    std::vector<int> counts;
    double worst = 0;
    for (int b = 0; b < kBlocks; ++b) {
      std::array<std::int16_t, kAfeBufferSamples> out{};
      const std::size_t n = ConvertBlock(
          converter,
          std::span<const std::int16_t>(x).subspan(static_cast<std::size_t>(b * c.block),
                                                   static_cast<std::size_t>(c.block)),
          out);
      std::size_t expected = 0;
      for (; BlockOfOutput(i, c.step, c.block) == b; ++i, ++expected) {
        if (expected < n)
          worst = std::max(worst, std::abs(out[expected] - Interpolated(x, i, c.step)));
      }
      ASSERT_EQ(n, expected) << "block " << b;
      counts.push_back(static_cast<int>(n));
    }
    EXPECT_LT(worst, 1.0);
    if (c.rate == 9600) {
      const auto extra = std::count(counts.begin(), counts.end(), 81);
      EXPECT_EQ(std::count(counts.begin(), counts.end(), 80) + extra, kBlocks);
      EXPECT_GT(extra, 0) << "39321 is a little short of 9600/8000";
    }
  }
}

TEST(SoundMirror, ConverterWithoutARateConvertsOneToOne) {
  RateConverter converter{};
  EXPECT_EQ(InitRateConverter(converter, 0, kSoundPathRate), -1);
  EXPECT_EQ(converter.step, 32768);
  EXPECT_EQ(InitRateConverter(converter, 9600, -8000), -1);
  // An output needs the sample after its position, so each block's last
  // sample comes out with the next block.
  const std::vector<std::int16_t> in = RandomSamples(100, 3);
  std::vector<std::int16_t> out(100);
  EXPECT_EQ(ConvertBlock(converter, std::span<const std::int16_t>(in).first(50), out), 49u);
  EXPECT_EQ(ConvertBlock(converter, std::span<const std::int16_t>(in).last(50),
                         std::span<std::int16_t>(out).subspan(49)),
            50u);
  EXPECT_TRUE(std::equal(in.begin(), in.end() - 1, out.begin()));
  EXPECT_EQ(ConvertBlock(converter, std::span<const std::int16_t>(), out), 0u);
}

// More outputs than the buffer holds are dropped, but the next block keeps
// its place in the stream.
TEST(SoundMirror, ConverterKeepsItsPlacePastAFullBuffer) {
  RateConverter whole{};
  RateConverter clipped{};
  InitRateConverter(whole, 9600, kSoundPathRate);
  InitRateConverter(clipped, 9600, kSoundPathRate);
  const std::vector<std::int16_t> x = RandomSamples(2 * 96, 4);
  const auto first = std::span<const std::int16_t>(x).first(96);
  const auto second = std::span<const std::int16_t>(x).last(96);
  std::vector<std::int16_t> out(100);
  std::vector<std::int16_t> small(10);
  EXPECT_EQ(ConvertBlock(whole, first, out), 80u);
  EXPECT_EQ(ConvertBlock(clipped, first, small), 10u);
  EXPECT_TRUE(std::equal(small.begin(), small.end(), out.begin()));
  std::vector<std::int16_t> next_whole(100);
  std::vector<std::int16_t> next_clipped(100);
  EXPECT_EQ(ConvertBlock(whole, second, next_whole), ConvertBlock(clipped, second, next_clipped));
  EXPECT_EQ(next_whole, next_clipped);
}

class SoundMirrorPath : public AfeAccessTest {
 protected:
  // The sound path on, the line-to-application stream started, level 3 and
  // the line taken: the mirror's every condition met.
  void OpenSoundPath(AfeAccess& access) {
    Flags() = afe::kProfileSoundPath | afe::kProfileLineStreamStart;
    ASSERT_EQ(SoundStartLineStream(access), 0);
    ASSERT_EQ(SetAfeSpeaker(access, 3), 0);
    ASSERT_EQ(AfeLineOn(access), 0);
  }

  void ReadTick(AfeAccess& access, const std::vector<int>& pieces) {
    Tick(access, [&] {
      for (int n : pieces) {
        std::vector<std::int16_t> piece(static_cast<std::size_t>(n));
        EXPECT_EQ(ReadRxSamples(access, piece), n);
        EXPECT_EQ(access.last_status, 0) << "the read's status, whatever the sound path said";
      }
    });
  }

  void ExpectSoundPathAtPassiveLevel() {
    for (const AfeCall& call : Afe().Log()) {
      if (call.entry != AfeEntry::kSoundPath) continue;
      EXPECT_EQ(call.irql, PASSIVE_LEVEL) << "code " << call.code;
      EXPECT_FALSE(call.lock_held) << "code " << call.code;
    }
  }
};

// Nothing is mirrored while the sound path is off, the stream stopped or the
// level 0; the converter does not move either.
TEST_F(SoundMirrorPath, GatedByTheSoundPathTheStreamAndTheLevel) {
  struct Case {
    const char* name;
    std::function<void(AfeAccess&)> spoil;
  };
  const Case cases[] = {
      {"sound path disabled", [&](AfeAccess&) { Flags() &= ~afe::kProfileSoundPath; }},
      {"stream stopped", [&](AfeAccess& a) { SoundStopLineStreamNow(a); }},
      {"level 0", [&](AfeAccess& a) { SetAfeSpeaker(a, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run([&](AfeAccess& access) {
      Afe().FeedLine(RandomSamples(100 * 96, 21));
      OpenSoundPath(access);
      c.spoil(access);
      Afe().ClearLog();
      for (int t = 0; t < 100; ++t) ReadTick(access, {96});
      EXPECT_TRUE(Calls(AfeEntry::kSoundPath, afe::kSoundPutSamples).empty());
      EXPECT_EQ(Calls(AfeEntry::kSoundPath, afe::kSoundQueryLineStream).size(), 100u);
      EXPECT_TRUE(Afe().SoundPuts().empty());
      EXPECT_EQ(access.converter.phase, 0);
      EXPECT_EQ(access.converter.start_index, 0);
      ExpectSoundPathAtPassiveLevel();
    });
  }
}

// After a line-on the first mute count + 5 blocks go as 80 zeros each; then
// the received blocks follow at 8000 Hz. Another line-on mutes anew; with
// the line off, only silence goes.
TEST_F(SoundMirrorPath, MutedForTheMuteCountPlusFiveAfterLineOn) {
  Run([&](AfeAccess& access) {
    constexpr int kMuted = 78 + 5;
    constexpr int kHeard = 20;
    const std::vector<std::int16_t> line = RandomSamples((kMuted + kHeard) * 96, 22);
    Afe().FeedLine(line);
    OpenSoundPath(access);
    for (int t = 0; t < kMuted + kHeard; ++t) ReadTick(access, {96});

    const auto& puts = Afe().SoundPuts();
    ASSERT_EQ(puts.size(), static_cast<std::size_t>(kMuted + kHeard));
    for (int b = 0; b < kMuted; ++b) {
      EXPECT_EQ(puts[b], std::vector<std::int16_t>(80, 0)) << "block " << b;
    }
    const std::vector<std::int16_t> heard(line.begin() + kMuted * 96, line.end());
    std::int64_t i = 0;
    for (int b = kMuted; b < kMuted + kHeard; ++b) {
      for (const std::int16_t sample : puts[b]) {
        EXPECT_LT(std::abs(sample - Interpolated(heard, i, 39321)), 1.0) << "output " << i;
        ++i;
      }
    }
    // Positions i * step below the last sample: ceil((samples - 1) * 32768 / step).
    EXPECT_EQ(i, ((kHeard * 96 - 1) * 32768 - 1) / 39321 + 1) << "every position the blocks held";
    ExpectSoundPathAtPassiveLevel();

    AfeLineOn(access);
    ReadTick(access, {96});
    EXPECT_EQ(puts.back(), std::vector<std::int16_t>(80, 0)) << "a new line-on mutes again";
    AfeLineOff(access);
    access.sound_start_count = 1000;
    ReadTick(access, {96});
    EXPECT_EQ(puts.back(), std::vector<std::int16_t>(80, 0)) << "nothing heard with the line off";
  });
}

// However a mode splits its reads, each block goes to the sound path once,
// and the same as when it is read whole.
TEST_F(SoundMirrorPath, SplitReadsMirrorEachBlockOnce) {
  constexpr int kBlocks = 83 + 12;
  std::vector<std::vector<std::int16_t>> whole;
  for (const std::vector<int>& pieces :
       std::vector<std::vector<int>>{{96}, {48, 48}, {0, 96, 0}, {95, 1}, {32, 32, 32}}) {
    SCOPED_TRACE(pieces.size());
    Run([&](AfeAccess& access) {
      Afe().FeedLine(RandomSamples(kBlocks * 96, 23));
      OpenSoundPath(access);
      Afe().ClearLog();
      for (int t = 0; t < kBlocks; ++t) ReadTick(access, pieces);
      EXPECT_EQ(Calls(AfeEntry::kSoundPath, afe::kSoundPutSamples).size(),
                static_cast<std::size_t>(kBlocks));
      EXPECT_EQ(Calls(AfeEntry::kSoundPath, afe::kSoundQueryLineStream).size(),
                static_cast<std::size_t>(kBlocks));
      if (whole.empty()) {
        whole = Afe().SoundPuts();
      } else {
        EXPECT_EQ(Afe().SoundPuts(), whole);
      }
    });
  }
}

}  // namespace
}  // namespace pump::testing
