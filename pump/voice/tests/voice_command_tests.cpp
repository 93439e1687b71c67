// The voice commands through the controller's packets, and their effects
// on the voice area, the streams and the front end's requests.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/voice/tests/voice_rig.h"
#include "pump/voice/voice_mode.h"

namespace pump::voice_test {
namespace {

ReceivedPacket Ack(std::uint8_t code) { return {kDpAck, 1, {code}}; }

std::string RxSequence(const DspContext& c) { return c.voice.rx.table[0].name; }
std::string TxSequence(const DspContext& c) { return c.voice.tx.table[0].name; }

struct LineModeCase {
  std::uint8_t mode;
  const char* rx;
  const char* tx;
  int line_to_app;
  int app_to_line;
  int speakerphone;
};

// 0x95 while voice runs: the sequences and the streams of each mode.
TEST(VoiceCommands, LineModeWhileActive) {
  const LineModeCase cases[] = {
      {0, "VoiceIdleSeqRx", "VoiceIdleSeqTx", 0, 0, 0},
      {2, "VoiceRecSeqRx", "VoiceRecSeqTx", 0, 0, 0},
      {4, "VoiceRecSeqRx", "VoiceRecSeqTx", 0, 0, 0},
      {3, "VoicePlaySeqRx", "VoicePlaySeqTx", 0, 0, 0},
      {5, "VoicePlaySeqRx", "VoicePlaySeqTx", 0, 0, 0},
      {6, "VoiceRecMicSeqRx", "VoiceRecMicSeqTx", 0, 1, 0},
      {7, "VoicePlaySpkSeqRx", "VoicePlaySpkSeqTx", 1, 0, 0},
      {8, "VoicePlaySpkSeqRx", "VoicePlaySpkSeqTx", 1, 1, 1},
      {9, "VoiceIdleSeqRx", "VoiceIdleSeqTx", 1, 1, 1},
      {20, "VoiceIdleSeqRx", "VoiceIdleSeqTx", 1, 1, 1},
      {21, "VoiceIdleSeqRx", "VoiceIdleSeqTx", 1, 1, 1},
      {15, "VoicePlaySeqRx", "VoicePlaySeqTx", 0, 0, 0},  // unlisted: the common steps only
  };
  for (const LineModeCase& c : cases) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, 0);
      DspContext& context = harness.Context();
      EXPECT_EQ(harness.Controller().Exchange(0x95, {c.mode}), std::vector{Ack(0x95)});
      EXPECT_EQ(RxSequence(context), c.rx) << int{c.mode};
      EXPECT_EQ(TxSequence(context), c.tx) << int{c.mode};
      EXPECT_EQ(context.voice.streams.line_to_app, c.line_to_app) << int{c.mode};
      EXPECT_EQ(context.voice.streams.app_to_line, c.app_to_line) << int{c.mode};
      EXPECT_EQ(context.voice.streams.speakerphone, c.speakerphone) << int{c.mode};
      EXPECT_EQ(harness.Afe().line_stream().accepting, c.line_to_app != 0) << int{c.mode};
      EXPECT_EQ(harness.Afe().app_stream().active, c.app_to_line != 0) << int{c.mode};
      EXPECT_EQ(context.voice_active, 1u);
    });
  }
}

TEST(VoiceCommands, LineModeOneReturnsToIdle) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {1});
    EXPECT_EQ(harness.Context().voice_active, 0u);
    EXPECT_NE(harness.Context().mode_block, &VoiceBlock);
  });
}

// Outside voice mode the command comes back as itself; mode 0 still turns
// the speakerphone off.
TEST(VoiceCommands, LineModeWhileInactiveIsEchoed) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    TakeLine(harness);
    harness.Controller().Exchange(0xA2, {1});
    ASSERT_EQ(harness.Context().voice.streams.speakerphone, 1);
    const auto got = harness.Controller().Exchange(0x95, {0});
    EXPECT_EQ(got, (std::vector<ReceivedPacket>{{0x95, 1, {0}}}));
    EXPECT_EQ(harness.Context().voice.streams.speakerphone, 0);
    EXPECT_FALSE(harness.Afe().app_stream().active);
    EXPECT_EQ(harness.Controller().Exchange(0x95, {3}),
              (std::vector<ReceivedPacket>{{0x95, 1, {3}}}));
  });
}

// Without tone-detection mode 2 the start waits; 0x95 modes 7, 9 and 20
// complete it once the line is on, other modes do not.
TEST(VoiceCommands, PendingStartCompletedByLineMode) {
  for (std::uint8_t mode : {7, 9, 20, 3, 0, 21}) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      harness.Controller().Post(0x60, {0});
      harness.RunBlocks(1);
      harness.Host().comram.reg[kRegLineLevelA] &= static_cast<std::uint8_t>(~kLineHookRelay);
      harness.RunBlocks(2);
      EXPECT_EQ(harness.Controller().Exchange(0x97, {0, 6, 1, 0}), std::vector{Ack(0x97)});
      DspContext& context = harness.Context();
      EXPECT_EQ(context.voice.start_pending, 1);
      EXPECT_EQ(context.voice_active, 0u);
      harness.Controller().Exchange(0x95, {mode});
      const bool enters = mode == 7 || mode == 9 || mode == 20;
      EXPECT_EQ(context.voice_active, enters ? 1u : 0u) << int{mode};
      EXPECT_EQ(context.voice.start_pending, enters ? 0 : 1) << int{mode};
    });
  }
}

// Entering voice: 80 samples at 8000 Hz, status 12 and an interrupt.
TEST(VoiceCommands, EnterVoiceSetsStatusTwelveAndInterrupts) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    TakeLine(harness);
    harness.Afe().ClearLog();
    const int interrupts = harness.Controller().Interrupts();
    harness.Controller().Exchange(0x97, {2, 8, 2, 0});
    EXPECT_EQ(harness.Host().comram.reg[kRegStatus] & kStatusCodeMask, kStatusVoice);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts + 1);
    EXPECT_EQ(harness.Context().mode_block, &VoiceBlock);
    const auto requests = testing::Requests(harness.Afe().Log());
    EXPECT_NE(std::find(requests.begin(), requests.end(),
                        testing::Request{afe::kAfeSetRate, 80u << 16 | 8000}),
              requests.end());
    EXPECT_EQ(harness.Context().voice.codec_type, 8);
  });
}

TEST(VoiceCommands, SilenceParameters) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    TakeLine(harness);
    harness.Context().voice.silence.report_count = 4;
    EXPECT_EQ(harness.Controller().Exchange(0x96, {3, 50}), std::vector{Ack(0x96)});
    const VoiceSilence& s = harness.Context().voice.silence;
    EXPECT_EQ(s.sensitivity, 3);
    EXPECT_EQ(s.time, 50);
    EXPECT_EQ(s.report_count, 0u);
    EXPECT_EQ(s.enabled, 1u);
  });
}

TEST(VoiceCommands, LevelByGain) {
  const std::pair<std::uint8_t, int> cases[] = {{0, 0},   {120, 0}, {121, 1}, {124, 1},
                                                {125, 2}, {127, 2}, {128, 3}, {255, 3}};
  for (const auto& [gain, level] : cases) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, 0);
      harness.Controller().Exchange(0x95, {9});  // both streams on: the levels reach the front end
      EXPECT_EQ(harness.Controller().Exchange(0x99, {gain, 0}), std::vector{Ack(0x99)});
      EXPECT_EQ(harness.Context().voice.levels[0], level) << int{gain};
      EXPECT_EQ(harness.Context().voice.levels[1], level) << int{gain};
      EXPECT_EQ(harness.Afe().line_stream().level, static_cast<ULONG>(level)) << int{gain};
      EXPECT_EQ(harness.Afe().app_stream().level, static_cast<ULONG>(level)) << int{gain};
    });
  }
}

struct RouteCase {
  const char* name;
  std::vector<std::uint8_t> payload;  // b0, mask, w_lo, w_hi, channel
  int line_to_app, app_to_line, speakerphone;
  int line_level, app_level;  // -1: unchanged from 3
};

TEST(VoiceCommands, Route) {
  const RouteCase cases[] = {
      {"OtherChannelChangesNothing", {0, 0, 0x0C, 0x31, 1}, 0, 0, 0, 3, 3},
      {"Speakerphone1200", {0, 0, 0x00, 0x12, 0}, 1, 1, 1, 3, 3},
      {"EnableBitsOn", {0, 0xFF, 0x0C, 0x00, 0}, 0, 1, 0, 3, 3},
      {"EnableMaskedLevelsAndRoute", {0x0C, 0x00, 0x0C, 0x16, 0}, 1, 0, 0, 1, 2},
      {"RouteAppToLine", {0x0C, 0x0F, 0x00, 0x20, 0}, 0, 1, 0, 3, 3},
      {"RouteBoth", {0x0C, 0x0F, 0x00, 0x30, 0}, 1, 1, 1, 3, 3},
      {"AllMasked", {0x0C, 0x3F, 0x0C, 0x31, 0}, 0, 0, 0, 3, 3},
  };
  for (const RouteCase& c : cases) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      StartVoice(harness, 2, 8, 2);
      DspContext& context = harness.Context();
      context.voice.levels[0] = context.voice.levels[1] = 3;
      EXPECT_EQ(harness.Controller().Exchange(0x9C, c.payload), std::vector{Ack(0x9C)}) << c.name;
      EXPECT_EQ(context.voice.streams.line_to_app, c.line_to_app) << c.name;
      EXPECT_EQ(context.voice.streams.app_to_line, c.app_to_line) << c.name;
      EXPECT_EQ(context.voice.streams.speakerphone, c.speakerphone) << c.name;
      EXPECT_EQ(context.voice.levels[0], c.line_level) << c.name;
      EXPECT_EQ(context.voice.levels[1], c.app_level) << c.name;
    });
  }
}

TEST(VoiceCommands, SpeakerphoneSwitch) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    StartVoice(harness, 2, 8, 2);
    DspContext& context = harness.Context();
    EXPECT_EQ(harness.Controller().Exchange(0xA2, {1}), std::vector{Ack(0xA2)});
    EXPECT_EQ(context.voice.speakerphone_request, 1);
    EXPECT_EQ(context.voice.streams.speakerphone, 1);
    EXPECT_TRUE(harness.Afe().app_stream().active);
    // The front end does not serve request 37: the second floor table.
    EXPECT_EQ(context.voice.floor_table, 1);
    harness.Controller().Exchange(0xA2, {0});
    EXPECT_EQ(context.voice.streams.speakerphone, 0);
    EXPECT_FALSE(harness.Afe().app_stream().active);
    EXPECT_FALSE(harness.Afe().line_stream().accepting);
  });
}

// The speaker-volume key: outside the speakerphone, volume (bits 8-11)
// 0-2 gives level 3, 3-6 2, 7-10 1, above 0, and the word keeps bits 12-15.
TEST(VoiceCommands, SpeakerVolumeKey) {
  const std::pair<int, int> cases[] = {{0, 3}, {2, 3}, {3, 2}, {6, 2}, {7, 1}, {10, 1}, {11, 0}};
  for (const auto& [volume, level] : cases) {
    PumpHarness harness(VoiceProfile());
    harness.Run([&] {
      TakeLine(harness);
      const std::uint16_t word = static_cast<std::uint16_t>(0x5000 | volume << 8 | 0x34);
      const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(word),
                                               static_cast<std::uint8_t>(word >> 8)};
      ASSERT_TRUE(testing::WriteParam(harness.Controller(), 0x10234, bytes));
      EXPECT_EQ(harness.Context().voice.levels[0], level) << volume;
      EXPECT_EQ(harness.Context().voice.gain_word, 0x5000) << volume;
    });
  }
}

}  // namespace
}  // namespace pump::voice_test

namespace pump::voice_test {
namespace {

// A start that waited enters voice when call progress turns to mode 2.
TEST(VoiceCommands, PendingStartCompletedByToneDetectionModeTwo) {
  PumpHarness harness(VoiceProfile());
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    harness.Controller().Exchange(0x65, {0, 0});
    harness.Controller().Exchange(0x97, {2, 8, 2, 0});
    DspContext& context = harness.Context();
    EXPECT_EQ(context.voice.start_pending, 1);
    harness.Controller().Exchange(0x65, {2, 0});
    EXPECT_EQ(context.voice.start_pending, 0);
    EXPECT_EQ(context.voice_active, 1u);
    EXPECT_EQ(context.mode_block, &VoiceBlock);
    EXPECT_STREQ(context.voice.rx.table[0].name, "VoiceIdleSeqRx");
  });
}

}  // namespace
}  // namespace pump::voice_test
