// Hostile line input into a V.22bis call: silence, clipped random samples,
// noise and bursts of it at random levels, in each role. Nothing crashes,
// no byte reaches the controller, data is never reported, and each run
// ends in the fallback its role has (Bell 103 for the caller, V.32 for the
// answerer).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "platform/line/levels.h"
#include "pump/core/comram.h"
#include "pump/core/host_interface.h"
#include "pump/fsk/fsk_start.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v22/v22_receiver.h"
#include "pump/v22/v22_start.h"
#include "pump/v22/v22_tx_states.h"

namespace pump {
namespace {

// The next block of 96 line samples from a seeded generator.
using HostileBlock = std::function<void(std::mt19937&, std::vector<std::int16_t>&)>;

struct HostileCase {
  const char* name;
  HostileBlock block;
};

void HostileSilence(std::mt19937&, std::vector<std::int16_t>& out) { std::ranges::fill(out, 0); }

void HostileClipped(std::mt19937& random, std::vector<std::int16_t>& out) {
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (auto& s : out) s = static_cast<std::int16_t>(sample(random) < 0 ? -32768 : 32767);
}

void HostileFullScale(std::mt19937& random, std::vector<std::int16_t>& out) {
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (auto& s : out) s = static_cast<std::int16_t>(sample(random));
}

void HostileNoise(std::mt19937& random, std::vector<std::int16_t>& out) {
  std::normal_distribution<double> noise(0, 2000);
  for (auto& s : out) s = static_cast<std::int16_t>(std::clamp(noise(random), -32768.0, 32767.0));
}

// Bursts of noise at a random level (silent to clipping), a random number
// of blocks each.
void HostileBursts(std::mt19937& random, std::vector<std::int16_t>& out) {
  std::uniform_int_distribution<int> level(0, 15);
  std::normal_distribution<double> noise(0, 1);
  const double sigma = random() % 3 == 0 ? 0 : std::ldexp(1.0, level(random));
  for (auto& s : out) s = static_cast<std::int16_t>(std::clamp(sigma * noise(random), -32768.0, 32767.0));
}

const HostileCase kHostileCases[] = {
    {"silence", HostileSilence},
    {"clipped random", HostileClipped},
    {"full-scale random", HostileFullScale},
    {"noise", HostileNoise},
    {"bursts at random levels", HostileBursts},
};

TEST(V22Hostile, LineInputNeverGivesDataAndEndsInTheFallback) {
  constexpr int kBlocks = 330;  // past the answerer's 3 s and the caller's 1.6 s
  for (const HostileCase& c : kHostileCases) {
    for (const int direction : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << c.name << (direction == 1 ? ", caller" : ", answerer"));
      testing::PumpHarness harness;
      harness.Run([&] {
        harness.Controller().Post(0x60, {0});
        harness.RunBlocks(1);
        DspContext& context = harness.Context();
        context.fsk.start_type = -1;
        context.call.direction = direction;
        context.call.mode = 7;
        context.call.max_rate_code = 4;
        V22bConfig(context);
        std::mt19937 random(17);
        std::vector<std::int16_t> block(kBlockSamples);
        bool reported_data = false;
        for (int b = 0; b < kBlocks; ++b) {
          c.block(random, block);
          harness.Afe().FeedLine(block);
          harness.RunBlocks(1);
          const std::uint8_t code = ReadDspReg(harness.Host(), kRegStatus) & kStatusCodeMask;
          reported_data |= code == kStatusConnected || (context.v22.rx.control & kV22Deliver) != 0;
        }
        EXPECT_FALSE(reported_data);
        EXPECT_TRUE(harness.Controller().RxBlocks().empty());
        if (direction == 1) {
          EXPECT_EQ(context.fsk.start_type, kFskBell103Originate);
        } else {
          EXPECT_EQ(context.pending[Pending::kStartV32Connection].count, 1u);
        }
      });
    }
  }
}

// Steady line noise, from well under to far over the receiver's level
// threshold, before any caller: the answerer keeps listening for the
// caller's S1 or training signal and never trains on the noise, in both
// V.22bis and V.22. (Taking noise for the caller, it would start training
// before the caller sends, and miss the caller's training.)
TEST(V22Hostile, AnswererNeverTrainsOnSteadyLineNoise) {
  constexpr int kBlocks = 290;  // until just before the answerer gives up
  for (const double dbm0 : {-60.0, -45.0, -35.0, -25.0, -15.0}) {
    for (const int mode : {7, 6}) {
      SCOPED_TRACE(::testing::Message() << dbm0 << " dBm0, mode " << mode);
      testing::PumpHarness harness;
      harness.Run([&] {
        harness.Controller().Post(0x60, {0});
        harness.RunBlocks(1);
        DspContext& context = harness.Context();
        context.call.direction = 0;
        context.call.mode = mode;
        context.call.max_rate_code = mode == 7 ? 4 : 3;
        V22bConfig(context);
        std::mt19937 random(23);
        std::normal_distribution<double> noise(0, plat::line::RmsAt(dbm0));
        std::vector<std::int16_t> block(kBlockSamples);
        std::int32_t furthest = 0;
        bool heard_signal = false;
        for (int b = 0; b < kBlocks; ++b) {
          for (auto& s : block) s = static_cast<std::int16_t>(std::clamp(noise(random), -32768.0, 32767.0));
          harness.Afe().FeedLine(block);
          harness.RunBlocks(1);
          furthest = std::max(furthest, context.v22.rx_machine.position);
          heard_signal |= (context.v22.rx.status & kV22SignalPresent) != 0;
        }
        EXPECT_EQ(furthest, kV22RxS1DetIndex);
        // The louder noise is over the level threshold: the test is about
        // noise the threshold alone takes for a signal.
        if (dbm0 >= -45) {
          EXPECT_TRUE(heard_signal);
        }
      });
    }
  }
}

}  // namespace
}  // namespace pump
