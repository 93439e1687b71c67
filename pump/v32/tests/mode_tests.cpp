// The V.32 mode on a started data pump: command 0x6E's loopback start with
// the line output looped back to the input, through training, the rate word
// and E into data carried by the framer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/pending/pending_log.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v32/rate_words.h"
#include "pump/v32/v32_mode.h"

namespace pump::v32 {
namespace {

using testing::PumpHarness;

struct LoopbackRun {
  std::uint8_t status = 0;
  std::uint8_t quality = 0;
  std::vector<std::uint16_t> connect_words;
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> received;
  DataRate rate = DataRate::k4800;
  int mode = 0;
  std::uint32_t echo_resets = 0;
  double data_power = 0;  // mean square of the looped line over data's first 100 blocks
  bool ended = false;     // the mode gave the block handler back
};

// Runs a loopback start with the line looped back, then offers `bytes`
// random bytes to the transmitter; 100 blocks into data the loop's gain
// becomes `later_gain`.
LoopbackRun RunLoopback(std::uint8_t mode, std::uint8_t allowed, int bytes, double noise_rms = 0,
                        double later_gain = 1.0) {
  LoopbackRun run;
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x64, {allowed, 0x00});
    controller.Exchange(0x6E, {0x00, mode, 0x04, 0x00});
    std::mt19937 random(allowed);
    std::normal_distribution<double> noise(0, noise_rms);
    std::size_t looped = 0;
    std::size_t offered = 0;
    int data_blocks = 0;
    double power = 0;
    std::size_t powered = 0;
    for (int block = 0; block < 1400; ++block) {
      harness.RunBlocks(1);
      const bool connected = harness.Context().receive.v32.connected != 0;
      data_blocks += connected ? 1 : 0;
      const double gain = data_blocks > 100 ? later_gain : 1.0;
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      std::vector<std::int16_t> back;
      for (; looped < out.size(); ++looped) {
        const double x = out[looped] * gain + noise(random);
        if (connected && data_blocks <= 100) {
          power += x * x;
          ++powered;
        }
        back.push_back(static_cast<std::int16_t>(std::clamp(std::lround(x), -32768L, 32767L)));
      }
      harness.Afe().FeedLine(back);
      if (harness.Context().receive.v32.connected != 0 && offered < static_cast<std::size_t>(bytes)) {
        std::vector<std::uint8_t> chunk(std::min<std::size_t>(32, bytes - offered));
        for (auto& b : chunk) b = static_cast<std::uint8_t>(random());
        if (controller.FillTx(0, chunk)) {
          run.sent.insert(run.sent.end(), chunk.begin(), chunk.end());
          offered += chunk.size();
        }
      }
    }
    for (const auto& p : controller.TakePackets()) {
      if (p.code == kDpModemConnectRate) run.connect_words.push_back(static_cast<std::uint16_t>(p.payload[0] | p.payload[1] << 8));
    }
    for (const auto& b : controller.RxBlocks()) run.received.insert(run.received.end(), b.data.begin(), b.data.end());
    run.status = harness.Host().comram.reg[kRegStatus];
    run.quality = harness.Host().comram.reg[kRegLineQuality];
    run.rate = harness.Context().receive.v32.rx.rate;
    run.mode = harness.Context().call.mode;
    run.echo_resets = harness.Context().pending[Pending::kV32EchoReset].count;
    run.data_power = powered == 0 ? 0 : power / static_cast<double>(powered);
    run.ended = harness.Context().mode_block != V32Block;
  });
  return run;
}

TEST(V32Loopback, DirectStartConnectsAtEachAllowedRateAndCarriesFramerData) {
  struct Case {
    std::uint8_t mode;
    std::uint8_t allowed;
    DataRate rate;
  };
  const Case cases[] = {{16, 0x20, DataRate::k14400}, {16, 0x10, DataRate::k12000},
                        {16, 0x08, DataRate::k9600Trellis}, {16, 0x04, DataRate::k7200},
                        {16, 0x02, DataRate::k4800}, {12, 0x00, DataRate::k9600Trellis},
                        {12, 0x02, DataRate::k4800}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << int{c.mode} << " allowed " << int{c.allowed});
    const LoopbackRun run = RunLoopback(c.mode, c.allowed, 600);
    EXPECT_EQ(run.status & (kStatusCodeMask | kStatusCarrier), kStatusConnectedRestart | kStatusCarrier);
    EXPECT_EQ(run.rate, c.rate);
    EXPECT_EQ(run.mode, c.mode);
    EXPECT_EQ(run.echo_resets, 1u);
    const std::uint16_t word = LocalRateWord(c.mode, c.allowed) & HighestRateWord(LocalRateWord(c.mode, c.allowed));
    EXPECT_EQ(run.connect_words, std::vector<std::uint16_t>{word});
    ASSERT_EQ(run.sent.size(), 600u);
    ASSERT_GE(run.received.size(), run.sent.size());
    EXPECT_TRUE(std::equal(run.sent.begin(), run.sent.end(), run.received.begin()));
  }
}

// V.32 with only 12000 and 14400 allowed offers no rate: the rate word is
// confirmed and reported, but E is the clear-down E, so the mode never
// reaches data and ends once the line falls silent.
TEST(V32Loopback, AWordWithoutARateClearsDown) {
  const LoopbackRun run = RunLoopback(12, 0x30, 0);
  EXPECT_EQ(run.connect_words, std::vector<std::uint16_t>{0x8980});
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.status & (kStatusCodeMask | kStatusCarrier), kStatusIdle);
}

// White noise on the looped line, 30 dB below the 14400 signal at the
// loudest setting: the framer's bytes still come through unchanged.
TEST(V32Loopback, DataSurvivesNoiseOnTheLoop) {
  const LoopbackRun run = RunLoopback(16, 0x20, 600, 180.0);
  EXPECT_EQ(run.rate, DataRate::k14400);
  ASSERT_EQ(run.sent.size(), 600u);
  ASSERT_GE(run.received.size(), run.sent.size());
  EXPECT_TRUE(std::equal(run.sent.begin(), run.sent.end(), run.received.begin()));
}

// Carrier loss in data: the loop's level drops to a fraction of the floor
// (twice the averaged power at least 19894, about -47 dB of full scale).
// Above it the call stays up; below it, or with the line cut, the mode
// ends: status idle with the carrier bit cleared.
TEST(V32Loopback, CarrierLossBelowTheDataFloorEndsTheMode) {
  const LoopbackRun full = RunLoopback(16, 0x02, 0);
  ASSERT_GT(full.data_power, 0.0);
  EXPECT_FALSE(full.ended);
  struct Case {
    double floor_ratio;  // twice the later power over the floor
    bool ends;
  };
  const Case cases[] = {{1.5, false}, {0.7, true}, {0.0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ratio " << c.floor_ratio);
    const double gain = std::sqrt(c.floor_ratio * 19894 / 2 / full.data_power);
    const LoopbackRun run = RunLoopback(16, 0x02, 0, 0, gain);
    EXPECT_EQ(run.ended, c.ends);
    const std::uint8_t expected = c.ends ? kStatusIdle : (kStatusConnectedRestart | kStatusCarrier);
    EXPECT_EQ(run.status & (kStatusCodeMask | kStatusCarrier), expected);
  }
}

// The transmit level setting: every setting from 0 to -16 dB is heard; from
// -5 up the gain stays at the table's top, below it each step is 1 dB (but
// the table's first, whose top entry is held at 32767).
TEST(V32Loopback, EveryTransmitLevelIsHeardAndStepsByOneDecibel) {
  std::vector<double> rms_db;
  int peak = 0;
  for (int setting = 0; setting >= -16; --setting) {
    PumpHarness harness;
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      harness.Context().transmit_level = static_cast<std::int16_t>(setting);
      harness.Controller().Exchange(0x6E, {0x00, 16, 0x04, 0x00});
      harness.RunBlocks(40);
      const std::vector<std::int16_t>& out = harness.Afe().LineOutput();
      const std::size_t from = out.size() / 2;  // S, well after the start
      double power = 0;
      for (std::size_t k = from; k < out.size(); ++k) {
        power += static_cast<double>(out[k]) * out[k];
        if (setting == 0) peak = std::max(peak, std::abs(int{out[k]}));
      }
      power /= static_cast<double>(out.size() - from);
      ASSERT_GT(power, 0.0) << "setting " << setting;
      rms_db.push_back(10 * std::log10(power));
    });
  }
  for (int k = 1; k < static_cast<int>(rms_db.size()); ++k) {
    const int setting = -k;
    const double step = rms_db[k - 1] - rms_db[k];
    if (setting >= -5) {
      EXPECT_NEAR(step, 0.0, 0.01) << "setting " << setting;
    } else if (setting == -6) {
      EXPECT_GT(step, 0.1) << "setting " << setting;
    } else {
      EXPECT_NEAR(step, 1.0, 0.15) << "setting " << setting;
    }
  }
  RecordProperty("peak_at_loudest", peak);
  std::printf("peak sample at the loudest setting: %d\n", peak);
}

}  // namespace
}  // namespace pump::v32
