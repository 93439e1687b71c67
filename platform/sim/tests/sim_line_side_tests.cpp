// The DAA towards the line: hook changes with their instants, the loop
// current and voltage readings, ringing, what the ADC hears on and off hook,
// the line-path gain stages, and the speaker.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sim/tests/sim_rig.h"

namespace plat::sim::testing {
namespace {

TEST(SimLineSide, HookChangesReachTheLineWithTheirInstants) {
  SimRig rig;
  rig.RunUntil(1 * hal::kMillisecond);
  rig.Write(reg::kHook, reg::kOffHook);
  rig.RunUntil(2 * hal::kMillisecond);
  rig.Write(reg::kHook, reg::kOffHook | reg::kOnHookListen);  // no hook change
  rig.RunUntil(3 * hal::kMillisecond);
  rig.Write(reg::kHook, 0);
  rig.Write(reg::kHook, reg::kOffHook);
  const std::vector<StubLine::HookEvent> expected{
      {1 * hal::kMillisecond, true}, {3 * hal::kMillisecond, false}, {3 * hal::kMillisecond, true}};
  EXPECT_EQ(rig.line.hook_log(), expected);
}

TEST(SimLineSide, ReadingsFollowTheLine) {
  struct Row {
    const char* what;
    bool off_hook, dead, ringing;
    std::int32_t millivolts;
    std::uint8_t reading;
    bool loop_current, reading_invalid;
  };
  const Row rows[] = {
      {"on hook", false, false, false, 48'000, 31, false, false},
      {"off hook 16 V", true, false, false, 16'000, 5, true, false},
      {"off hook 6 V", true, false, false, 6'000, 2, true, false},
      {"round half up", true, false, false, 1'650, 1, true, false},
      {"just below a half", true, false, false, 1'649, 0, true, false},
      {"30 is the highest reading", true, false, false, 99'000, 30, true, false},
      {"above 30", true, false, false, 100'650, 31, true, false},
      {"reversed polarity", true, false, false, -16'000, 5, true, false},
      {"dead line", true, true, false, 16'000, 0, false, false},
      {"ringing", false, false, true, 48'000, 31, false, true},
  };
  for (const Row& row : rows) {
    SimRig rig;
    rig.line.dead = row.dead;
    rig.line.ringing = row.ringing;
    rig.line.on_hook_millivolts = rig.line.off_hook_millivolts = row.millivolts;
    if (row.off_hook) rig.Write(reg::kHook, reg::kOffHook);
    EXPECT_EQ(rig.Read(reg::kCodecReadings) & reg::kVoltageMask, row.reading) << row.what;
    EXPECT_EQ((rig.Read(reg::kHook) & reg::kLoopCurrent) != 0, row.loop_current) << row.what;
    EXPECT_EQ(rig.Read(reg::kLineFlags), row.reading_invalid ? 1 : 0) << row.what;
  }
}

std::vector<TapSample> Listen(SimRig& rig, Instant duration) {
  rig.tap.clear();
  rig.Stall(duration);
  return rig.tap;
}

TEST(SimLineSide, WhatTheAdcHearsOnAndOffHook) {
  struct Row {
    const char* what;
    std::uint8_t hook;
    bool ringing;
    bool hears_line;
    bool hears_ring;
  };
  const Row rows[] = {
      {"on hook", 0, false, false, false},
      {"on hook, listening", reg::kOnHookListen, false, true, false},
      {"off hook", reg::kOffHook, false, true, false},
      {"on hook while ringing", 0, true, false, true},
      {"on hook while ringing, listening", reg::kOnHookListen, true, false, true},
  };
  for (const Row& row : rows) {
    SimRig rig;
    rig.line.ringing = row.ringing;
    rig.line.input = [](Instant at) { return static_cast<std::int16_t>(at / 1000 % 2000); };
    rig.Write(reg::kHook, row.hook);
    const auto taps = Listen(rig, 100 * hal::kMillisecond);
    int peak = 0;
    bool all_line = true;
    for (const TapSample& s : taps) {
      peak = std::max(peak, std::abs(int{s.adc}));
      all_line = all_line && s.adc == static_cast<std::int16_t>(s.at / 1000 % 2000);
    }
    EXPECT_EQ(all_line, row.hears_line) << row.what;
    if (row.hears_ring) {
      EXPECT_NEAR(peak, 30000, 30) << row.what;
      // 20 Hz: the sign changes twice per 50 ms.
      int changes = 0;
      for (std::size_t i = 1; i < taps.size(); ++i) {
        changes += (taps[i].adc >= 0) != (taps[i - 1].adc >= 0);
      }
      EXPECT_NEAR(changes, 4, 1) << row.what;
    } else if (!row.hears_line) {
      EXPECT_EQ(peak, 0) << row.what;
    }
  }
}

TEST(SimLineSide, LinePathGainStagesAndOutputOnlyOffHook) {
  struct Row {
    std::uint8_t levels;
    std::int16_t out, in;  // for a DAC of 10000 and a line of 1000
  };
  const Row rows[] = {
      {0x00, 10000, 1000}, {0x10, 7079, 1000}, {0x21, 5012, 1413}, {0x30, 3548, 1000},
      {0x44, 2512, 3981},  {0x80, 0, 1000},    {0x08, 10000, 0},
  };
  for (const Row& row : rows) {
    SimRig rig;
    rig.line.input = [](Instant) { return std::int16_t{1000}; };
    rig.Write(reg::kLineLevels, row.levels);
    // The transmit word comes from the DMA ring: one word repeated.
    auto buffer = rig.hal.AllocateCommonBuffer(4096);
    for (int i = 0; i < 4; ++i) buffer->host[i] = static_cast<std::uint8_t>(10000 >> 8 * i);
    rig.Write32(24, buffer->bus_address);
    rig.Write32(28, buffer->bus_address);
    rig.Write32(32, buffer->bus_address + 8);
    rig.Write32(8, buffer->bus_address + 4);
    rig.Write32(12, buffer->bus_address + 4);
    rig.Write32(16, buffer->bus_address + 16);
    rig.Set(reg::kDmaControl, reg::kDmaRewind);
    rig.Set(reg::kRun, reg::kRunEngines);
    rig.Stall(5 * hal::kMillisecond);
    for (const auto& s : rig.line.output()) ASSERT_EQ(s.sample, 0) << "on hook: nothing sent";
    rig.Write(reg::kHook, reg::kOffHook);
    rig.line.ClearOutput();
    const auto taps = Listen(rig, 5 * hal::kMillisecond);
    ASSERT_FALSE(rig.line.output().empty());
    EXPECT_NEAR(rig.line.output().back().sample, row.out, 1) << int{row.levels};
    EXPECT_NEAR(taps.back().adc, row.in, 1) << int{row.levels};
    rig.Clear(reg::kRun, reg::kRunEngines);
    rig.hal.FreeCommonBuffer(buffer->host, buffer->bus_address, buffer->length);
  }
}

TEST(SimLineSide, SpeakerIsTheLineScaledByItsLevel) {
  for (std::uint8_t level : {0, 32, 63, 127}) {
    SimRig rig;
    rig.line.input = [](Instant) { return std::int16_t{-20000}; };
    rig.Write(reg::kHook, reg::kOffHook);
    rig.Write(reg::kSpeakerLevel, level);
    rig.Write(reg::kCodecPaths, 0x30);  // mute-control bits alone change nothing
    EXPECT_EQ(Listen(rig, hal::kMillisecond).back().speaker, 0) << "speaker off";
    rig.Write(reg::kCodecPaths, 0x30 | reg::kSpeakerOn);
    EXPECT_EQ(Listen(rig, hal::kMillisecond).back().speaker, -20000 * level / 127);
  }
}

}  // namespace
}  // namespace plat::sim::testing
