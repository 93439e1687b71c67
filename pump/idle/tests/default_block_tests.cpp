#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "pump/framer/framer.h"
#include "pump/idle/default_block.h"
#include "pump/tests/support/key_packets.h"
#include "pump/tests/support/pump_harness.h"
#include "siglib/tests/support/random.h"

namespace pump {
namespace {

using testing::PumpHarness;

// A sine `db` below full scale (a full-scale sine reads 0 dB) at a seeded
// frequency and phase.
std::vector<std::int16_t> Sine(qvls_test::Rng& rng, int db, std::size_t samples) {
  const double amplitude = 32767.0 * std::pow(10.0, db / 20.0);
  const double hz = static_cast<double>(rng.Range(300, 3400));
  const double phase = static_cast<double>(rng.Range(0, 6283)) / 1000.0;
  std::vector<std::int16_t> sine(samples);
  for (std::size_t n = 0; n < samples; ++n) {
    sine[n] = static_cast<std::int16_t>(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * n / 9600.0 + phase)));
  }
  return sine;
}

TEST(DefaultBlock, PublishesEightMinusTheLevelOfTheLineAndSendsSilence) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    qvls_test::Rng rng("DefaultBlock.PublishedLevel");
    for (int db = -60; db <= 0; db += 3) {
      SCOPED_TRACE(db);
      constexpr int kBlocks = 4;
      harness.Afe().FeedLine(Sine(rng, db, kBlocks * kBlockSamples));
      harness.RunBlocks(kBlocks);
      const auto published = testing::ReadParam(harness.Controller(), kPublishedLevelKey);
      ASSERT_TRUE(published.has_value());
      EXPECT_NEAR(testing::Int16Of(*published), kPublishedLevelBase - db, 1);
    }
    // A byte the framer holds leaves with the next block.
    InitFramerRx(harness.Context(), kFramerRawOctets);
    FramerPutRxBits(harness.Context(), 8, 0x41);
    EXPECT_TRUE(harness.Controller().RxBlocks().empty());
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Controller().RxBlocks(),
              (std::vector<testing::ReceivedBlock>{{0, 1, {0x41}}}));

    const auto& output = harness.Afe().LineOutput();
    EXPECT_FALSE(output.empty());
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](std::int16_t s) { return s == 0; }));
  });
}

// A line held at a DC level reads as that level, and as silence once DC
// removal is on and has settled.
TEST(DefaultBlock, DcRemovalTakesAConstantLevelOutOfTheBlock) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    const auto published_level = [&] {
      const auto published = testing::ReadParam(harness.Controller(), kPublishedLevelKey);
      EXPECT_TRUE(published.has_value());
      return published ? testing::Int16Of(*published) : 0;
    };
    constexpr int kBlocks = 40;
    const std::vector<std::int16_t> dc(kBlocks * kBlockSamples, 8000);
    harness.Afe().FeedLine(dc);
    harness.RunBlocks(kBlocks);
    // 8000^2 is 9.2 dB below a full-scale sine's power, 32767^2 / 2.
    EXPECT_NEAR(published_level(), kPublishedLevelBase + 9, 1);

    harness.Context().dc_removal_enable = 1;
    harness.Afe().FeedLine(dc);
    harness.RunBlocks(kBlocks);
    // An all-zero block measures -87 dB.
    EXPECT_EQ(published_level(), kPublishedLevelBase + 87);
  });
}

}  // namespace
}  // namespace pump
