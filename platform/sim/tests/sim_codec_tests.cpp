// The codec: reset and ready timing, rate changes, power down and up, and
// the sample clock's exact instants at every rate.
#include <gtest/gtest.h>

#include "platform/sim/tests/sim_rig.h"

namespace plat::sim::testing {
namespace {

constexpr Instant kUs = hal::kMicrosecond;

bool Busy(SimRig& rig) { return rig.Read(reg::kBusy) & reg::kBusyBit; }
bool Ready(SimRig& rig) { return rig.Read(reg::kCodecReadings) & reg::kCodecReady; }

TEST(SimCodec, ResetIsBusyFor100UsThenReady50UsLater) {
  SimRig rig;
  rig.Write(reg::kCodecStatus, 0x00);
  rig.RunUntil(1000 * kUs);
  rig.Write(reg::kCodecReset, 0x01);
  struct Row {
    Instant after;
    bool busy, ready, status_bit7;
  };
  const Row rows[] = {
      {0, true, false, false},          {99 * kUs, true, false, false},
      {100 * kUs, false, false, false}, {149 * kUs, false, false, false},
      {150 * kUs, false, true, true},   {400 * kUs, false, true, true},
  };
  for (const Row& row : rows) {
    rig.RunUntil(1000 * kUs + row.after);
    EXPECT_EQ(Busy(rig), row.busy) << row.after;
    EXPECT_EQ(Ready(rig), row.ready) << row.after;
    EXPECT_EQ((rig.Read(reg::kCodecStatus) & 0x80) != 0, row.status_bit7) << row.after;
  }
  // A write without bit 0 is storage only.
  rig.Write(reg::kCodecReset, 0x02);
  EXPECT_FALSE(Busy(rig));
  EXPECT_EQ(rig.Read(reg::kCodecReset), 0x02);
}

TEST(SimCodec, ResetKeepsOtherRegisters) {
  SimRig rig;
  rig.Write(63, 0x21);
  rig.Write(53, 0x08);
  rig.Write(65, 0xE8);
  rig.Write(reg::kCodecReset, 0x01);
  rig.Stall(200 * kUs);
  EXPECT_EQ(rig.Read(63), 0x21);
  EXPECT_EQ(rig.Read(53), 0x08);
  EXPECT_EQ(rig.Read(65), 0xE8);
}

TEST(SimCodec, RateWriteClearsReadyFor50UsThenTheRateApplies) {
  SimRig rig;
  rig.RunUntil(1000 * kUs);
  rig.Write(reg::kRateCode, 7);
  EXPECT_FALSE(Ready(rig));
  EXPECT_EQ(rig.controller.CurrentRate(), (Rate{7200, 1}));
  rig.RunUntil(1049 * kUs);
  EXPECT_FALSE(Ready(rig));
  rig.RunUntil(1050 * kUs);
  EXPECT_TRUE(Ready(rig));
  EXPECT_EQ(rig.controller.CurrentRate(), (Rate{16000, 1}));
  ASSERT_FALSE(rig.line.clocks().empty());
  EXPECT_EQ(rig.line.clocks().back().at, 1050 * kUs);
}

TEST(SimCodec, PowerDownSilencesUntilAResetClearsBothBits) {
  for (std::uint32_t power_register : {reg::kPowerDownA, reg::kPowerDownB}) {
    SimRig rig;
    rig.Write(reg::kHook, reg::kOffHook);
    rig.Write(reg::kCodecPaths, reg::kAnalogLoopback);
    rig.line.input = [](Instant) { return std::int16_t{1000}; };
    rig.Write(reg::kPowerDownA, 0x80);
    rig.Write(reg::kPowerDownB, 0x80);
    rig.Clear(power_register, 0x80);  // either bit alone keeps the codec down
    rig.tap.clear();
    rig.Stall(5 * hal::kMillisecond);
    EXPECT_FALSE(Ready(rig));
    for (const TapSample& s : rig.tap) {
      ASSERT_EQ(s.adc, 0);
      ASSERT_EQ(s.dac, 0);
    }
    EXPECT_GT(rig.tap.size(), 30u) << "the clock runs while the codec is down";

    rig.Write(reg::kCodecReset, 0x01);
    EXPECT_EQ(rig.Read(reg::kPowerDownA) & 0x80, 0);
    EXPECT_EQ(rig.Read(reg::kPowerDownB) & 0x80, 0);
    rig.Stall(150 * kUs);
    EXPECT_TRUE(Ready(rig));
  }
}

TEST(SimCodec, ExactSampleInstantsAtEveryRate) {
  struct Row {
    std::uint8_t code;
    std::uint64_t numerator, denominator;
  };
  const Row rows[] = {{0, 7200, 1},  {1, 8000, 1}, {2, 57600, 7}, {3, 8400, 1},
                      {4, 9000, 1},  {5, 9600, 1}, {6, 72000, 7}, {7, 16000, 1},
                      {8, 96000, 7}, {9, 9600, 1}, {200, 9600, 1}};
  for (const Row& row : rows) {
    SimRig rig;
    rig.Write(reg::kRateCode, row.code);
    const Instant start = 50 * kUs;
    // `denominator` seconds hold exactly `numerator` samples; the first falls
    // at the instant the rate applies and every gap is the period within 1 ns.
    rig.tap.clear();
    rig.RunUntil(start + row.denominator * hal::kSecond - 1);
    ASSERT_EQ(rig.tap.size(), row.numerator) << int{row.code};
    EXPECT_EQ(rig.tap.front().at, start);
    const double period = 1e9 * row.denominator / row.numerator;
    for (std::size_t i = 1; i < rig.tap.size(); ++i) {
      const double gap = static_cast<double>(rig.tap[i].at - rig.tap[i - 1].at);
      ASSERT_LE(std::abs(gap - period), 1.0) << int{row.code} << " sample " << i;
    }
    rig.tap.clear();
    rig.RunUntil(start + row.denominator * hal::kSecond);
    ASSERT_EQ(rig.tap.size(), 1u);
    EXPECT_EQ(rig.tap.front().at, start + row.denominator * hal::kSecond);
  }
}

}  // namespace
}  // namespace plat::sim::testing
