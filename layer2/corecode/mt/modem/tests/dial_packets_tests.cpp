// The dialling, tone, level and speaker packets on the scripted data pump,
// each against the bytes the data pump's command table reads.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "pump/core/comram.h"

namespace vxctl::testing {
namespace {

using Sent = std::vector<SentCommand>;

// Runs `send` on a fresh scripted data pump and gives what it was sent.
Sent SentBy(FakeDataPump& pump, const std::function<void()>& send) {
  pump.ClearTraces();
  send();
  return SentCommands(pump);
}

TEST(DialPackets, DigitsCarryTheirDialCodes) {
  struct Row {
    char digit;
    std::uint8_t code;
  };
  std::vector<Row> rows = {{'#', 15}, {'*', 14}, {'A', 10}, {'B', 11}, {'C', 12}, {'D', 13}};
  for (char d = '0'; d <= '9'; ++d) rows.push_back({d, static_cast<std::uint8_t>(d - '0')});
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    for (const Row& row : rows) {
      EXPECT_EQ(SentBy(pump, [&] { ModemTask_DialDigit(row.digit); }),
                (Sent{{0x67, {row.code, 0}}}))  // lengths are sent even
          << row.digit;
    }
  });
}

TEST(DialPackets, BuildersSendTheirTablesBytes) {
  struct Row {
    const char* name;
    std::function<void()> send;
    Sent sent;
  };
  const std::vector<Row> rows = {
      {"tone dialling keeps a, b", [] { ModemTask_SendDialParams(80, 60, 0, 0x02BC); },
       {{0x66, {80, 60, 0, 0, 0xBC, 0x02}}}},
      {"pulse dialling swaps a, b", [] { ModemTask_SendDialParams(60, 40, 1, 700); },
       {{0x66, {40, 60, 1, 0, 0xBC, 0x02}}}},
      {"kind 2 keeps a, b", [] { ModemTask_SendDialParams(1, 2, 2, 0xFFFF); },
       {{0x66, {1, 2, 2, 0, 0xFF, 0xFF}}}},
      {"handshake parameters", [] { ModemTask_SendHandshakeParams(); },
       {{0x68, {9, 16, 0x10, 0, 0, 0}}}},
      {"call progress mode", [] { ModemTask_SendCallProgressMode(2); }, {{0x65, {2, 1}}}},
      {"call progress off", [] { ModemTask_CallProgressOff(); }, {{0x65, {0, 1}}}},
      {"reset for dialling", [] { ModemTask_DspResetForDial(); },
       {{0x60, {0, 0}}, {12, {0x11, 0, 0, 0, 7, 0}}}},  // memory key 0x11 := 7
      {"the maximum to parameter 0xB9", [] { ModemTask_WriteDspMax(); },
       {{13, {0xB9, 0, 0xFF, 0x7F}}}},
      {"tone 1375 Hz and 0 Hz, flags 4",  // 1375 x 68265 / 10000 = 9386.4
       [] { ModemTask_PlayDualTone(1375, 0, 4); },
       {{0x7C, {0xAA, 0x24, 0, 0, 4, 0}}}},
  };
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    for (const Row& row : rows) EXPECT_EQ(SentBy(pump, row.send), row.sent) << row.name;
  });
}

// The phase step of f Hz per sample at 9600 Hz is f x 65536 / 9600; the
// data pump's tone generator is off by at most one step over the band.
TEST(DialPackets, TonePhaseStepsFollowTheSampleRate) {
  for (unsigned f = 0; f <= 4000; ++f) {
    const double exact = std::floor(f * 65536.0 / 9600.0);
    ASSERT_LE(std::abs(tone_phase_step(static_cast<std::uint16_t>(f)) - exact), 1.0) << f;
  }
  EXPECT_EQ(tone_phase_step(1375), 9386);
}

TEST(DialPackets, TransmitLevelsComeFromTheToneLevelsAndS84) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    auto& levels = MachineState<CommandInterpreterStandin>().tone_levels;
    for (std::uint8_t kind = 0; kind < levels.size(); ++kind) {
      levels[kind] = {static_cast<std::uint8_t>(10 + kind), static_cast<std::uint8_t>(20 + kind)};
    }
    // Kinds 0 and 5 send kind 1's level, then their own DTMF levels.
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetTxLevel(0); }),
              (Sent{{0x7B, {21, 11, 0, 0}}, {0x88, {20, 10}}}));
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetTxLevel(5); }),
              (Sent{{0x7B, {21, 11, 0, 0}}, {0x88, {25, 15}}}));
    acu_settings().s[84] = 0;
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetTxLevel(3); }), (Sent{{0x7B, {23, 13, 0, 0}}}));
    acu_settings().s[84] = 7;
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetTxLevel(3); }), (Sent{{0x7B, {23, 13, 1, 0}}}));
    // Kinds 0 and 5 carry no level flag whatever S84 says.
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetTxLevel(0); })[0], (SentCommand{0x7B, {21, 11, 0, 0}}));
  });
}

TEST(DialPackets, V8bisLevelRisesByTenPerStepUpTo250) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    MachineState<CommandInterpreterStandin>().tone_levels[5] = {200, 100};  // low, high
    struct Row {
      std::uint8_t boost;
      std::uint8_t high;
      std::uint8_t low;
    };
    for (const Row& row : {Row{0, 100, 200}, Row{3, 130, 230}, Row{5, 150, 250},
                           Row{6, 160, 250}, Row{20, 250, 250}, Row{255, 250, 250}}) {
      EXPECT_EQ(SentBy(pump, [&] { ModemTask_SetV8bisLevel(row.boost); }),
                (Sent{{0x88, {row.high, row.low}}}))
          << int(row.boost);
    }
  });
}

TEST(DialPackets, SpeakerSendsItsVolumeOnlyWhileOn) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeaker(1); }), (Sent{{0x81, {1, 0}}}));
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeakerVolume(3); }), (Sent{{0x81, {3, 0}}}));
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeakerVolume(0); }), (Sent{{0x81, {1, 0}}}));
    EXPECT_EQ(task.speaker_volume, 1);
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeaker(0); }), (Sent{{0x81, {0, 0}}}));
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeakerVolume(2); }), (Sent{{0x81, {0, 0}}}));
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetSpeaker(1); }), (Sent{{0x81, {2, 0}}}));
  });
}

TEST(DialPackets, CallerIdReportingFollowsItsSetting) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    MachineState<CommandInterpreterStandin>().caller_id_enabled = 1;
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SendCidReporting(); }), (Sent{{0x7D, {0x80, 0}}}));
    MachineState<CommandInterpreterStandin>().caller_id_enabled = 0;
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SendCidReporting(); }), (Sent{{0x7D, {0, 0}}}));
  });
}

// The call-progress mode: what goes out, what is kept, and what it asks of
// the modem task's idle and of a running caller-ID detection.
TEST(DialPackets, CallProgressModeStoresEveryModeAndSendsBelowThree) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ModemTaskState& task = MachineState<ModemTaskState>();
    CommandInterpreterStandin& interpreter = MachineState<CommandInterpreterStandin>();
    PendingLog& pending = MachineState<PendingLog>();

    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetCallProgress(0); }), (Sent{{0x65, {0, 1}}}));
    EXPECT_TRUE(pending.Names().empty()) << "idle asked for while monitoring was off";

    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetCallProgress(3); }), Sent{});
    EXPECT_EQ(task.call_progress_mode, 3);

    // A caller-ID detection runs: a non-zero mode ends it first.
    interpreter.caller_id_substate = 2;
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetCallProgress(1); }), (Sent{{0x65, {1, 1}}}));
    EXPECT_EQ(interpreter.caller_id_polls.load(), 1u);
    EXPECT_EQ(interpreter.caller_id_substate.load(), 0);
    EXPECT_EQ(task.call_progress_mode, 1);

    // Off after on: the data pump goes idle first.
    EXPECT_EQ(SentBy(pump, [] { ModemTask_SetCallProgress(0); }),
              (Sent{{0x60, {0, 0}}, {0x94, {}}, {0xA4, {0, 0}}, {0x65, {0, 1}}}));
    EXPECT_EQ(task.call_progress_mode, 0);

    // Zero level: 0x7B with zeros, then mode 1.
    EXPECT_EQ(SentBy(pump, [] { ModemTask_ZeroTxLevel(); }),
              (Sent{{0x7B, {0, 0, 0, 0}}, {0x65, {1, 1}}}));
    EXPECT_EQ(task.call_progress_mode, 1);
    EXPECT_EQ(interpreter.caller_id_polls.load(), 1u);  // no detection ran this time
  });
}

// The data pump's own codes 4, 6 and from 8 win; others defer to the line
// services' detectors, whose results are each taken once.
TEST(DialPackets, CallProgressJoinsTheDataPumpAndTheToneDetectors) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    LineServicesStandin& lines = MachineState<LineServicesStandin>();
    for (std::uint8_t type = 0; type < 16; ++type) {
      lines.cpt_results = {5};
      pump.SetRegister(pump::kRegEventType, type);
      const bool own = type == 4 || type == 6 || type >= 8;
      EXPECT_EQ(ModemTask_GetCallProgress(), own ? type : 5) << int(type);
      EXPECT_EQ(MachineState<ModemTaskState>().latest_event_type, type);
    }
    pump.SetRegister(pump::kRegEventType, 0);
    lines.cpt_results = {3, 15};
    EXPECT_EQ(ModemTask_GetCallProgress(), 3);
    EXPECT_EQ(ModemTask_GetCallProgress(), 15);
    EXPECT_EQ(ModemTask_GetCallProgress(), 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
