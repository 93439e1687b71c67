// The line's state as a front end sees it through the controller's
// registers: the hook log, loop current and voltage per condition, ringing,
// and what the DAA lets through on and off hook.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/line/levels.h"
#include "platform/line/peer_end.h"
#include "platform/line/tests/port_rig.h"
#include "platform/sim/codec_paths.h"

namespace plat::line::testing {
namespace {

constexpr sim::Instant kMs = hal::kMillisecond;

TEST(LineState, TheHookLogKeepsEveryChangeWithItsInstant) {
  PortRig rig;
  // Off hook, then the digit 3 dialled by pulses: 60 ms break, 40 ms make.
  std::vector<StateLog<bool>::Change> expected{{10 * kMs, true}};
  rig.Write(10 * kMs, reg::kHook, reg::kOffHook);
  sim::Instant t = 200 * kMs;
  for (int pulse = 0; pulse < 3; ++pulse) {
    rig.Write(t, reg::kHook, 0);
    rig.Write(t + 60 * kMs, reg::kHook, reg::kOffHook);
    expected.push_back({t, false});
    expected.push_back({t + 60 * kMs, true});
    t += 100 * kMs;
  }
  // A write that keeps the hook as it is is no change.
  rig.Write(t, reg::kHook, reg::kOffHook | reg::kOnHookListen);
  EXPECT_EQ(rig.line.HookLog(Side::kA), expected);
  EXPECT_TRUE(rig.line.HookLog(Side::kB).empty());
  EXPECT_FALSE(rig.line.OffHook(Side::kA, 230 * kMs));
  EXPECT_TRUE(rig.line.OffHook(Side::kA, 260 * kMs));
}

TEST(LineState, LoopCurrentAndVoltageFollowTheLineConditions) {
  struct Row {
    const char* what;
    bool off_hook, extension, dead, ringing;
    std::uint8_t reading;  // register 60 bits 0-4: volts x 10 / 33, 31 none
    bool loop_current, reading_invalid;
  };
  const Row rows[] = {
      {"on hook", false, false, false, false, 31, false, false},
      {"off hook: 16 V", true, false, false, false, 5, true, false},
      {"extension phone off hook too: 6 V", true, true, false, false, 2, true, false},
      {"extension phone off hook, ours on hook", false, true, false, false, 31, false, false},
      {"dead line: 0 V", true, false, true, false, 0, false, false},
      {"dead line with the extension off hook", true, true, true, false, 0, false, false},
      {"ringing, on hook", false, false, false, true, 31, false, true},
  };
  for (const Row& row : rows) {
    PortRig rig;
    rig.line.SetExtensionOffHook(Side::kA, 1 * kMs, row.extension);
    rig.line.SetDead(1 * kMs, row.dead);
    rig.line.SetRinging(Side::kA, 1 * kMs, row.ringing);
    if (row.off_hook) rig.Write(2 * kMs, reg::kHook, reg::kOffHook);
    EXPECT_EQ(rig.Read(3 * kMs, reg::kCodecReadings) & reg::kVoltageMask, row.reading) << row.what;
    EXPECT_EQ((rig.Read(3 * kMs, reg::kHook) & reg::kLoopCurrent) != 0, row.loop_current)
        << row.what;
    EXPECT_EQ(rig.Read(3 * kMs, reg::kLineFlags) & reg::kReadingInvalid,
              row.reading_invalid ? 1 : 0)
        << row.what;
    // Before the conditions were set the line was live and quiet.
    EXPECT_EQ(rig.line.Conditions(Side::kA, 0), (sim::LineConditions{false, 48'000, false}));
  }
}

TEST(LineState, APeerRingsTheMachineAndTheOnHookDaaHearsTheRing) {
  PortRig rig;
  ScriptedPeer peer;
  PeerEnd far(rig.line, Side::kB, peer);
  peer.Silence(LineSamplesInMs(100))
      .Do(rig.line.RingAction(Side::kA, true))
      .Silence(LineSamplesInMs(200))
      .Do(rig.line.RingAction(Side::kA, false));
  rig.StartAt8000Hz();
  EXPECT_EQ(rig.Read(99 * kMs, reg::kLineFlags), 0);
  EXPECT_EQ(rig.Read(101 * kMs, reg::kLineFlags), reg::kReadingInvalid);
  EXPECT_EQ(rig.Read(299 * kMs, reg::kLineFlags), reg::kReadingInvalid);
  EXPECT_EQ(rig.Read(301 * kMs, reg::kLineFlags), 0);
  rig.controller.AdvanceTo(400 * kMs);
  int ring_samples = 0;
  for (const CodecSample& s : rig.samples) {
    const bool ringing = s.at >= 100 * kMs && s.at < 300 * kMs;
    ASSERT_EQ(s.adc, ringing ? sim::RingSample(s.at) : 0) << "at " << s.at;
    ring_samples += ringing;
  }
  EXPECT_EQ(ring_samples, 1600);
}

// A 1 kHz tone from the peer, as the ADC takes it: the DAA passes the line's
// audio off hook and while listening on hook, nothing else on hook; a dead
// line passes nothing at all.
TEST(LineState, TheDaaGatesTheLinesAudio) {
  struct Row {
    const char* what;
    std::uint8_t hook;
    bool dead;
    bool hears;
  };
  const Row rows[] = {
      {"on hook", 0, false, false},
      {"on hook, listening", reg::kOnHookListen, false, true},
      {"off hook", reg::kOffHook, false, true},
      {"off hook on a dead line", reg::kOffHook, true, false},
  };
  for (const Row& row : rows) {
    PortRig rig;
    ScriptedPeer peer;
    PeerEnd far(rig.line, Side::kB, peer);
    peer.Tones({1000.0, -10.0}, LineSamplesInMs(500));
    rig.line.SetDead(0, row.dead);
    rig.StartAt8000Hz();
    rig.Write(1 * kMs, reg::kHook, row.hook);
    rig.controller.AdvanceTo(200 * kMs);
    double energy = 0;
    int count = 0;
    for (const CodecSample& s : rig.samples) {
      if (s.at < 100 * kMs) continue;
      energy += static_cast<double>(s.adc) * s.adc;
      ++count;
    }
    const double rms = std::sqrt(energy / count);
    if (row.hears) {
      EXPECT_NEAR(20 * std::log10(rms / RmsAt(-10.0)), 0.0, 0.1) << row.what;
    } else {
      EXPECT_EQ(rms, 0.0) << row.what;
    }
  }
}

// The peer answers the machine's hook: it waits for the change, then speaks;
// its first sample is the first line instant at or after the change.
TEST(LineState, APeerWaitsForTheFarHookChange) {
  PortRig rig;
  ScriptedPeer peer;
  PeerEnd far(rig.line, Side::kB, peer);
  MemoryTap heard_by_peer;
  peer.RecordTo(&heard_by_peer);
  peer.WaitUntil(rig.line.HookChanges(Side::kA)).Play({1000, 2000, 3000});
  rig.StartAt8000Hz();
  const sim::Instant hook_at = 20 * kMs + 1;
  rig.Write(hook_at, reg::kHook, reg::kOffHook);
  rig.controller.AdvanceTo(40 * kMs);
  // The tone's first line sample (161) reaches the codec after the line's
  // delay of one sample and the resampler's delay.
  const std::int64_t first = static_cast<std::int64_t>(hook_at / kSampleNs) + 1;
  const std::int64_t arrives = first + 1 + kResamplerDelay;  // line instant
  for (const CodecSample& s : rig.samples) {
    const auto line_instant = static_cast<std::int64_t>(s.at / kSampleNs);
    const std::int16_t want = line_instant == arrives       ? 1000
                              : line_instant == arrives + 1 ? 2000
                              : line_instant == arrives + 2 ? 3000
                                                            : 0;
    ASSERT_EQ(s.adc, want) << "at " << s.at;
  }
  EXPECT_GE(static_cast<std::int64_t>(heard_by_peer.samples().size()), arrives);
}

TEST(LineStateDeathTest, AnEndAttachedTwiceIsFatal) {
  Line line;
  ScriptedPeer peer;
  PeerEnd a(line, Side::kA, peer);
  EXPECT_DEATH(PeerEnd(line, Side::kA, peer), "FATAL \\[line-end-attached-twice\\]");
  EXPECT_DEATH(line.Attach(Side::kB, a), "FATAL \\[line-end-attached-twice\\]");
}

}  // namespace
}  // namespace plat::line::testing
