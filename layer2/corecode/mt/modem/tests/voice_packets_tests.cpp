// The voice operations: their packets, the path control words the channel
// operations leave in the data pump, the voice line rows, muting, and the
// voice start-up's parameter writes read back from the real data pump.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/fax_voice_standin.h"
#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/voice_commands.h"
#include "layer2/corecode/mt/modem/voice_line.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

// The path control words of both channels after the 0x9C packets sent,
// from `start`: word := (word AND mask) OR value.
std::array<std::uint16_t, 2> PathWords(const FakeDataPump& pump,
                                       std::array<std::uint16_t, 2> words = {0, 0}) {
  for (const FakePacket& p : pump.Commands()) {
    if (p.code != 0x9C) continue;
    const std::uint16_t mask = static_cast<std::uint16_t>(p.payload[0] | p.payload[1] << 8);
    const std::uint16_t value = static_cast<std::uint16_t>(p.payload[2] | p.payload[3] << 8);
    std::uint16_t& word = words.at(p.payload[4]);
    word = static_cast<std::uint16_t>((word & mask) | value);
  }
  return words;
}

int RouteOf(std::uint16_t word) { return (word >> 12) & 3; }
bool EnabledOf(std::uint16_t word) { return (word & 0x000C) == 0x000C; }

TEST(VoicePackets, EachOperationSendsItsPacket) {
  struct Row {
    const char* what;
    std::function<void()> call;
    std::vector<SentCommand> sent;
  };
  const std::vector<Row> rows = {
      {"voice mode", [] { ModemTask_SetVoiceMode(5); }, {{0x95, {5, 0}}}},  // lengths are even
      {"voice parameters", [] { ModemTask_SetVoiceParams(1, 2); }, {{0x96, {1, 2}}}},
      {"voice start", [] { ModemTask_VoiceStart(7, 8, 9); }, {{0x97, {7, 8, 9, 0}}}},
      {"voice idle", [] { ModemTask_VoiceIdle(); }, {{0x98, {}}}},
      {"voice gain", [] { ModemTask_SetVoiceGain(6); }, {{0x99, {6, 0}}}},
      {"routing", [] { ModemTask_SetVoiceRouting(0x1234, 0xABCD, 1); },
       {{0x9C, {0x34, 0x12, 0xCD, 0xAB, 1, 0}}}},
      {"enable", [] { ModemTask_SetVoiceChannelEnable(1, 0); },
       {{0x9C, {0xF3, 0xFF, 0x0C, 0x00, 0, 0}}}},
      {"disable (any value but 1)", [] { ModemTask_SetVoiceChannelEnable(2, 1); },
       {{0x9C, {0xF3, 0xFF, 0x00, 0x00, 1, 0}}}},
      {"route mode", [] { ModemTask_SetVoiceRouteMode(2, 1); },
       {{0x9C, {0xFF, 0xCF, 0x00, 0x20, 1, 0}}}},
      {"speaker gain", [] { ModemTask_SetVoiceSpeakerGain(3, 0); },
       {{0x9C, {0xFF, 0xF3, 0x00, 0x0C, 0, 0}}}},
      {"microphone gain", [] { ModemTask_SetVoiceMicGain(1, 1); },
       {{0x9C, {0xFF, 0xFC, 0x00, 0x01, 1, 0}}}},
      {"voice end", [] { ModemTask_VoiceEnd(); }, {{0xA2, {0, 0}}, {0x60, {}}}},
      {"call progress mode", [] { ModemTask_VoiceCallProgressMode(2); }, {{0x65, {2, 1}}}},
      {"caller ID kind from the mode",
       [] {
         ModemTask_SetCidDetect(0x23);
         EXPECT_EQ(voice_channel_state().caller_id_path.load(), 2);
       },
       {{0x93, {3, 0, 2, 0}}}},
      {"caller ID kind of calling code 81",
       [] {
         acu_country_calling_code() = 81;
         ModemTask_SetCidDetect(0x05);
       },
       {{0x93, {5, 0, 1, 0}}}},
      {"caller ID kind of calling code 44",
       [] {
         acu_country_calling_code() = 44;
         ModemTask_SetCidDetect(0x05);
       },
       {{0x93, {5, 0, 0, 0}}}},
      {"voice gain word", [] { ModemTask_WriteVoiceGainWord(3); },
       {{pump::kCpParamWriteHigh, {0x34, 0x02, 0x00, 0x03}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      row.call();
      EXPECT_EQ(SentCommands(pump), row.sent);
    });
  }
}

TEST(VoicePackets, OutOfRangeChannelsAndLevelsAreRefusedAndChangeNothing) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    const VoiceChannelState& voice = voice_channel_state();
    EXPECT_FALSE(ModemTask_SetVoiceRouting(0, 0, 2));
    EXPECT_FALSE(ModemTask_SetVoiceChannelEnable(1, 2));
    EXPECT_FALSE(ModemTask_SetVoiceRouteMode(4, 0));
    EXPECT_FALSE(ModemTask_SetVoiceRouteMode(1, 255));
    EXPECT_FALSE(ModemTask_SetVoiceSpeakerGain(4, 1));
    EXPECT_FALSE(ModemTask_SetVoiceMicGain(0, 2));
    EXPECT_TRUE(pump.Commands().empty());
    EXPECT_EQ(voice.route, (std::array<std::uint8_t, 2>{3, 3}));
    EXPECT_EQ(voice.enabled, (std::array<std::uint8_t, 2>{0, 0}));
  });
}

TEST(VoicePackets, ACallProgressModeEndsARunningCallerIdDetection) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    CommandInterpreterStandin& acu = MachineState<CommandInterpreterStandin>();
    acu.caller_id_substate = 2;
    ModemTask_VoiceCallProgressMode(0);
    EXPECT_EQ(acu.caller_id_polls.load(), 0u) << "mode 0 leaves the detection running";
    ModemTask_VoiceCallProgressMode(1);
    EXPECT_EQ(acu.caller_id_polls.load(), 1u);
    EXPECT_EQ(acu.caller_id_substate.load(), 0);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x65, {0, 1}}, {0x65, {1, 1}}}));
  });
}

TEST(VoicePackets, EnablingTheChannelsOnlyRemembers) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ModemTask_EnableVoiceChannels(0);
    EXPECT_EQ(voice_channel_state().enabled, (std::array<std::uint8_t, 2>{1, 1}));
    ModemTask_EnableVoiceChannels(1);
    EXPECT_EQ(voice_channel_state().enabled, (std::array<std::uint8_t, 2>{0, 0}));
    EXPECT_TRUE(pump.Commands().empty());
  });
}

TEST(VoicePackets, MuteAndUnmuteKeepTheRouteModes) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ModemTask_SetVoiceRouteMode(2, 0);
    ModemTask_SetVoiceRouteMode(1, 1);
    ModemTask_MuteVoiceRoute(1);
    std::array<std::uint16_t, 2> words = PathWords(pump);
    EXPECT_EQ(RouteOf(words[0]), 0);
    EXPECT_EQ(RouteOf(words[1]), 0);
    // Muting again must not keep the muted modes.
    ModemTask_MuteVoiceRoute(1);
    ModemTask_MuteVoiceRoute(0);
    words = PathWords(pump);
    EXPECT_EQ(RouteOf(words[0]), 2);
    EXPECT_EQ(RouteOf(words[1]), 1);
    EXPECT_EQ(voice_channel_state().route, (std::array<std::uint8_t, 2>{2, 1}));
    // Unmuting while not muted changes nothing.
    pump.ClearTraces();
    ModemTask_MuteVoiceRoute(0);
    EXPECT_TRUE(pump.Commands().empty());
  });
}

// The voice line rows: hook, voice relay, caller-ID relay, channel 0
// enable and route, channel 1 enable and route, speaker/handset relay.
struct VoiceRowCase {
  std::uint8_t row;
  std::array<std::uint8_t, 8> values;
};
constexpr VoiceRowCase kVoiceRowCases[] = {
    {0, {0, 0, 0, 0, 0, 0, 0, 0}},  {1, {1, 0, 0, 2, 3, 0, 0, 0}},
    {2, {0, 1, 0, 2, 3, 0, 0, 1}},  {3, {0, 1, 0, 2, 3, 0, 0, 1}},
    {4, {1, 1, 0, 0, 0, 0, 0, 0}},  {5, {1, 1, 0, 2, 3, 0, 0, 0}},
    {6, {0, 1, 0, 1, 0, 0, 0, 0}},  {7, {0, 1, 0, 0, 1, 0, 0, 0}},
    {8, {0, 0, 0, 0, 1, 0, 0, 1}},  {9, {1, 1, 0, 1, 2, 0, 0, 1}},
    {10, {0, 0, 1, 2, 0, 0, 0, 0}}, {11, {0, 0, 1, 2, 0, 0, 0, 0}},
};

// The line services started on a line on hook with every relay off.
LineServicesState& VoiceLineStart(FakeDataPump& pump) {
  LS_init();
  CTY_load_default_record();  // the relay sequences come from the country record
  LineServicesState& services = MachineState<LineServicesState>();
  MK_dispatch(&services.kernel);
  pump.Page().reg[242] = 0xFF;
  pump.ClearTraces();
  return services;
}

TEST(VoicePackets, EachVoiceLineRowSetsHookRelaysAndChannels) {
  for (const VoiceRowCase& c : kVoiceRowCases) {
    SCOPED_TRACE("row " + std::to_string(c.row));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      LineServicesState& services = VoiceLineStart(pump);
      ASSERT_TRUE(ModemTask_SelectVoiceLine(c.row));
      MK_dispatch(&services.kernel);  // the line services act on the hook request
      MK_clock_advance(&services.kernel, 100);  // and go off hook after the seize time
      LS_poll();
      const std::uint8_t reg = pump.Page().reg[242];
      EXPECT_EQ((reg & 0x04) == 0, c.values[0] == 1) << "hook";
      EXPECT_EQ((reg & 0x40) == 0, c.values[1] == 1) << "voice relay";
      EXPECT_EQ((reg & 0x80) == 0, c.values[2] == 1) << "caller-ID relay";
      EXPECT_EQ((reg & 0x10) == 0, c.values[7] == 1) << "speaker/handset relay";
      const std::array<std::uint16_t, 2> words = PathWords(pump);
      EXPECT_EQ(EnabledOf(words[0]), c.values[3] == 1);
      EXPECT_EQ(RouteOf(words[0]), c.values[4]);
      EXPECT_EQ(EnabledOf(words[1]), c.values[5] == 1);
      EXPECT_EQ(RouteOf(words[1]), c.values[6]);
      if (c.row == 0) {
        for (const std::uint16_t word : words) {
          EXPECT_EQ((word >> 10) & 3, 2) << "speaker gain";
          EXPECT_EQ((word >> 8) & 3, 3) << "microphone gain";
        }
      }
      const VoiceChannelState& voice = voice_channel_state();
      EXPECT_EQ(voice.line.load(), c.row);
      EXPECT_EQ(voice.route, (std::array<std::uint8_t, 2>{c.values[4], c.values[6]}));
    });
  }
}

TEST(VoicePackets, AVoiceLineOffHookAlreadyKeepsTheHook) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    LineServicesState& services = VoiceLineStart(pump);
    ASSERT_TRUE(ModemTask_SelectVoiceLine(1));
    MK_dispatch(&services.kernel);
    MK_clock_advance(&services.kernel, 100);  // the country's seize time
    LS_poll();
    ASSERT_EQ(pump.Page().reg[242] & 0x04, 0);
    // Row 0 asks for on hook, but the line is off hook already.
    ASSERT_TRUE(ModemTask_SelectVoiceLine0());
    MK_dispatch(&services.kernel);
    EXPECT_EQ(pump.Page().reg[242] & 0x04, 0);
  });
}

TEST(VoicePackets, RowsBeyondTheTableAreRefused) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    LineServicesState& services = VoiceLineStart(pump);
    ASSERT_TRUE(ModemTask_SelectVoiceLine(6));
    MK_dispatch(&services.kernel);
    pump.ClearTraces();
    const std::uint8_t reg = pump.Page().reg[242];
    for (const std::uint8_t row : {12, 21, 255}) {
      EXPECT_FALSE(ModemTask_SelectVoiceLine(row));
      EXPECT_EQ(services.kernel.pending.head, nullptr) << "no hook request";
      EXPECT_TRUE(pump.Commands().empty());
      EXPECT_EQ(pump.Page().reg[242], reg);
      EXPECT_EQ(voice_channel_state().line.load(), 6);
    }
  });
}

TEST(VoicePackets, TheVoiceStartUpWritesPathsFlagsAndTheFilterRecord) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    for (auto& flag : voice_flags()) flag = 1;
    ModemTask_VoiceDspInit();
    for (const auto& flag : voice_flags()) EXPECT_EQ(flag.load(), 0);
    const std::vector<SentCommand> sent = SentCommands(pump);
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_EQ(sent[0], (SentCommand{0x9C, {0, 0, 0x00, 0x12, 0, 0}}));
    EXPECT_EQ(sent[1], (SentCommand{0x9C, {0, 0, 0x0C, 0x1E, 1, 0}}));
    // Three writes of 7, 7 and 1 words, each key following the last word of
    // the write before.
    const std::array<std::uint16_t, 15> words = {0x0666, 0xF339, 0x0666, 0xC329, 0x79AE,
                                                 0x3FFF, 0xE65E, 0x3FFF, 0xC55B, 0x7129,
                                                 0x00FF, 0x7F00, 0x0100, 0x3000, 0x2000};
    std::uint32_t key = 0x101D8;
    std::size_t next = 0;
    for (int write = 2; write <= 4; ++write) {
      const SentCommand& w = sent[write];
      EXPECT_EQ(w.code, pump::kCpParamWriteHigh);
      ASSERT_GE(w.payload.size(), 4u);
      EXPECT_EQ(w.payload[0] | w.payload[1] << 8, key & 0xFFFF);
      const std::size_t count = (w.payload.size() - 2) / 2;
      for (std::size_t i = 0; i < count; ++i, ++next) {
        EXPECT_EQ(w.payload[2 + 2 * i] | w.payload[3 + 2 * i] << 8, words.at(next));
      }
      key += static_cast<std::uint32_t>(count);
    }
    EXPECT_EQ(next, words.size());
    EXPECT_EQ(sent[5], (SentCommand{pump::kCpParamWrite, {0x92, 0, 43, 0}}));
    EXPECT_EQ(sent[6], (SentCommand{pump::kCpParamWrite, {0x93, 0, 47, 0}}));
  });
}

TEST(VoicePackets, TheFilterRecordReadsBackFromTheRealDataPump) {
  RunOnVxdsp([] {
    ModemTask_VoiceDspInit();
    struct Row {
      std::uint32_t key;
      std::vector<std::uint16_t> words;
    };
    const Row rows[] = {
        {0x101D8, {0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E}},
        {0x101DF, {0x3FFF, 0xC55B, 0x7129, 0x00FF, 0x7F00, 0x0100, 0x3000}},
        {0x101E6, {0x2000}},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(std::to_string(row.key));
      ASSERT_TRUE(dsp_mem_read({row.key, kDspSpaceParameters}));
      const DspReply& reply = MachineState<DspTransportState>().reply;
      for (std::size_t i = 0; i < row.words.size(); ++i) {
        EXPECT_EQ(reply[2 * i] | reply[2 * i + 1] << 8, row.words[i]) << "word " << i;
      }
    }
    EXPECT_EQ(MachineState<DspTransportState>().failed.code, 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
