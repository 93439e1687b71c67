// The handshake's start on the scripted data pump: the packets a call's
// start sends (rate masks 0x64, V.8 options 0x90, connect parameters 0x68)
// by the settings and the V.8 exchange's outcome, and the direct start.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controller/acu/acu_settings.h"
#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/handshake.h"
#include "layer2/corecode/mt/modem/rate_tables.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

void Limits(std::uint16_t tmin, std::uint16_t tmax, std::uint16_t rmin, std::uint16_t rmax) {
  AcuCallSettings& s = acu_call_settings();
  s.min_tx_rate = tmin;
  s.max_tx_rate = tmax;
  s.min_rx_rate = rmin;
  s.max_rx_rate = rmax;
}

void Disable(std::initializer_list<MsEntry> entries) {
  for (MsEntry e : entries) acu_call_settings().modulations[e].enabled = 0;
}

// The V.8 exchange negotiated `negotiated` where `requested` was asked for
// and received the peer's menu.
void AfterV8(std::uint8_t requested, std::uint8_t negotiated) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.requested_modulation = requested;
  task.modulation = negotiated;
  task.v8_mode = 1;
  task.v8_result = 1;
  task.v8_frame_received = 1;
  task.v8_substate = 4;
}

struct StartCase {
  const char* name;
  std::function<void()> setup;
  // ModemTask_StartConnect when true, else ModemTask_StartHandshake alone
  // (as the V.8 steps call it).
  bool connect;
  std::vector<SentCommand> sent;
  std::uint8_t state;  // after ModemTask_StartConnect
};

// The payload of 0x64 for masks a, b, c.
std::vector<std::uint8_t> Masks(std::uint16_t a, std::uint16_t b, std::uint32_t c) {
  return {static_cast<std::uint8_t>(a),       static_cast<std::uint8_t>(a >> 8),
          static_cast<std::uint8_t>(b),       static_cast<std::uint8_t>(b >> 8),
          static_cast<std::uint8_t>(c),       static_cast<std::uint8_t>(c >> 8),
          static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 24)};
}

void RequestModulation(std::uint8_t m) { MachineState<ModemTaskState>().requested_modulation = m; }

// Byte 3 of 0x68 with the factory settings: bit 2 (not V.23) and "%E".
constexpr std::uint8_t kByte3 = 0x0C;
// Byte 4: V.92 enabled ("+PIG" 1: no upstream PCM).
constexpr std::uint8_t kByte4 = 0x02;

TEST(StartHandshake, PacketsByCallAndSettings) {
  const std::vector<StartCase> cases = {
      {"originate V.22bis",
       [] {
         RequestModulation(7);
         Limits(0, 2400, 0, 2400);
       },
       true, {{0x68, {0x04, 7, 0x04, kByte3, kByte4, 0}}}, kTaskOriginating},
      {"answer V.22bis",
       [] {
         RequestModulation(7);
         Limits(0, 2400, 0, 2400);
         acu_call_settings().originate = 0;
       },
       true, {{0x68, {0x04, 7, 0x00, kByte3, kByte4, 0}}}, kTaskAnswering},
      {"originate V.32 4800-9600",
       [] {
         RequestModulation(12);
         Limits(4800, 9600, 4800, 9600);
       },
       true, {{0x64, Masks(0x000E, 0x000E, 0)}, {0x68, {0x07, 12, 0x04, kByte3, kByte4, 0}}},
       kTaskOriginating},
      {"fax call: 19200, no masks",
       [] {
         RequestModulation(14);
         acu_call_settings().fax_call = 1;
       },
       true, {{0x68, {11, 14, 0x24, kByte3, kByte4, 0}}}, kTaskFaxOriginating},
      {"answered fax call",
       [] {
         RequestModulation(14);
         acu_call_settings().fax_call = 1;
         acu_call_settings().originate = 0;
       },
       true, {{0x68, {11, 14, 0x20, kByte3, kByte4, 0}}}, kTaskFaxAnswering},
      // V.34 without the controller's V.8: the best enabled classic entry
      {"V.34 without V.8 falls back to V.32bis at 14400",
       [] { RequestModulation(18); },
       true, {{0x64, Masks(0x003F, 0x003F, 0)}, {0x68, {9, 16, 0x04, kByte3, kByte4, 0}}},
       kTaskOriginating},
      {"V.90 without V.8, V.32bis off: V.32 at 9600",
       [] {
         RequestModulation(23);
         Disable({kMsV32bis});
       },
       true, {{0x0C, {0x0F, 0x18, 0, 0, 0, 0}}, {0x64, Masks(0x000F, 0x000F, 0)},
              {0x68, {7, 12, 0x04, kByte3, kByte4, 0}}},
       kTaskOriginating},
      {"fallback to V.22bis sets 2400",
       [] {
         RequestModulation(18);
         Limits(0, 1200, 0, 1200);
         Disable({kMsV32bis, kMsV32});
       },
       true, {{0x68, {4, 7, 0x04, kByte3, kByte4, 0}}}, kTaskOriginating},
      {"fallback to Bell 212",
       [] {
         RequestModulation(18);
         Disable({kMsV32bis, kMsV32, kMsV22bis, kMsV22});
       },
       true, {{0x68, {3, 1, 0x04, kByte3, kByte4, 0}}}, kTaskOriginating},
      {"fallback to V.21",
       [] {
         RequestModulation(18);
         Disable({kMsV32bis, kMsV32, kMsV22bis, kMsV22, kMsBell212, kMsV23});
       },
       true, {{0x68, {2, 2, 0x04, kByte3, kByte4, 0}}}, kTaskOriginating},
      {"nothing enabled: Bell 103",
       [] {
         RequestModulation(18);
         Disable({kMsV32bis, kMsV32, kMsV22bis, kMsV22, kMsBell212, kMsV23, kMsV21});
       },
       true, {{0x68, {2, 0, 0x04, kByte3, kByte4, 0}}}, kTaskOriginating},
      {"V.8 running but still at its start: fallback",
       [] {
         AfterV8(18, 18);
         MachineState<ModemTaskState>().v8_substate = 0;
       },
       false, {{0x64, Masks(0x003F, 0x003F, 0)}, {0x68, {9, 16, 0x14, kByte3, kByte4, 0}}}, 0},
      // V.8 negotiated what was asked for: the four limits as set
      {"V.8 negotiated V.34 as asked",
       [] {
         AfterV8(18, 18);
         Limits(2400, 33600, 2400, 33600);
       },
       false,
       {{0x64, Masks(0x3FFF, 0x3FFF, 0x001F0001)}, {0x68, {21, 18, 0x14, 0x0D, kByte4, 0}}}, 0},
      {"V.8 negotiated V.34, answering",
       [] {
         AfterV8(18, 18);
         Limits(2400, 33600, 2400, 33600);
         acu_call_settings().originate = 0;
       },
       false,
       {{0x64, Masks(0x3FFF, 0x3FFF, 0x001F0001)}, {0x68, {21, 18, 0x10, 0x0E, kByte4, 0}}}, 0},
      {"V.8 negotiated V.34 with a maximum of 2400",
       [] {
         AfterV8(18, 18);
         Limits(2400, 2400, 2400, 33600);
       },
       false, {{0x64, Masks(0x0001, 0x0001, 0)}, {0x68, {4, 18, 0x14, 0x0D, kByte4, 0}}}, 0},
      {"V.8 negotiated V.90 as asked: the receive maximum",
       [] { AfterV8(23, 23); },
       false,
       {{0x64, Masks(0x3FFF, 0x3FFF, 0x07FF0FFF)}, {0x68, {43, 23, 0x14, 0x0D, kByte4, 0}}}, 0},
      // V.8 negotiated less than V.90: the receive limits move to V.34's
      {"V.8 negotiated V.34 where V.90 was asked",
       [] { AfterV8(23, 18); },
       false,
       {{0x64, Masks(0x3FFF, 0x3FFF, 0x001F0001)}, {0x68, {21, 18, 0x14, 0x0D, kByte4, 0}}}, 0},
      {"V.34 for V.90 with receive limits 30000-32000 (31200 both)",
       [] {
         AfterV8(23, 18);
         Limits(0, 33600, 30000, 32000);
       },
       false, {{0x64, Masks(0x1000, 0x1000, 0)}, {0x68, {21, 18, 0x14, 0x0D, kByte4, 0}}}, 0},
      {"V.8 negotiated V.32bis where V.90 was asked",
       [] {
         AfterV8(23, 16);
         acu_call_settings().and_u = 3;
       },
       false, {{0x64, Masks(0x003F, 0x003F, 0)}, {0x68, {9, 16, 0x14, 0x6D, kByte4, 0}}}, 0},
      {"V.8 negotiated V.22bis where V.34 was asked",
       [] { AfterV8(18, 7); },
       false, {{0x68, {4, 7, 0x14, 0x0D, kByte4, 0}}}, 0},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskIdle, kCodeIdle);
      c.setup();
      if (c.connect) {
        ModemTask_StartConnect();
        EXPECT_EQ(MachineState<ModemTaskState>().state, c.state);
      } else {
        ModemTask_StartHandshake();
      }
      EXPECT_EQ(SentCommands(pump), c.sent);
    });
  }
}

// A V.90 request the V.8 exchange moved to V.34 takes V.34 receive limits
// for that call: its masks are those of the moved limits, and "+MS" keeps
// what was typed.
TEST(StartHandshake, V90ReceiveLimitsMoveToV34RatesForTheCall) {
  struct Case {
    std::uint16_t rmin, rmax;
    std::uint16_t moved_min, moved_max;
  };
  const Case cases[] = {
      {0, 53333, 0, 33600}, {28000, 34666, 28800, 33600}, {26400, 34665, 26400, 33600},
      {30000, 32000, 31200, 31200}, {2400, 9700, 2400, 9600},
      // Hostile minimums stay within V.34's rates.
      {34000, 34665, 33600, 33600}, {64800, 65535, 33600, 33600}, {65535, 65535, 33600, 33600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rmin) + "-" + std::to_string(c.rmax));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      AfterV8(23, 18);
      Limits(0, 33600, c.rmin, c.rmax);
      ModemTask_StartHandshake();
      const RateMasks moved = rate_masks(18, 0, 33600, c.moved_min, c.moved_max, {});
      const std::vector<SentCommand> sent = SentCommands(pump);
      ASSERT_FALSE(sent.empty());
      EXPECT_EQ(sent.front(), (SentCommand{0x64, Masks(moved.a, moved.b, moved.c)}));
      EXPECT_EQ(acu_call_settings().min_rx_rate, c.rmin);
      EXPECT_EQ(acu_call_settings().max_rx_rate, c.rmax);
    });
  }
}

// Two calls in a row: the first asks for V.90 and gets V.34, the second
// gets V.90 and is offered the full "+MS" receive range again.
TEST(StartHandshake, V34FallbackDoesNotCapTheNextV90Call) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    AfterV8(23, 18);
    ModemTask_StartHandshake();
    pump.ClearTraces();
    AfterV8(23, 23);
    ModemTask_StartHandshake();
    const std::vector<SentCommand> expected = {
        {0x64, Masks(0x3FFF, 0x3FFF, 0x07FF0FFF)}, {0x68, {43, 23, 0x14, 0x0D, kByte4, 0}}};
    EXPECT_EQ(SentCommands(pump), expected);
  });
}

// S119 masks the V.8 options of 0x90, which goes between the masks and
// the connect parameters after a V.8 exchange that negotiated 18 or more.
TEST(StartHandshake, S119MasksTheV8Options) {
  struct Case {
    std::uint8_t s119;
    std::vector<std::uint8_t> options;  // empty: no 0x90
  };
  const Case cases[] = {
      {0, {}},
      {1, {0x00, 0x21, 0x7F, 0x75, 0xC1, 0x01, 0x07, 0x00}},
      {2, {0x01, 0x21, 0x7F, 0x75, 0xC3, 0x01, 0x07, 0x00}},
      {3, {0x03, 0x21, 0x7F, 0x75, 0xC7, 0x01, 0x07, 0x00}},
      {4, {0x1B, 0x21, 0x7F, 0x75, 0xCF, 0x01, 0x07, 0x00}},
      {5, {0x7B, 0x21, 0x7F, 0x75, 0xDF, 0x01, 0x07, 0x00}},
      {6, {0xFF, 0x21, 0x7F, 0x75, 0xFF, 0x01, 0x07, 0x00}},
  };
  for (const Case& c : cases) {
    for (std::uint8_t negotiated : {std::uint8_t{18}, std::uint8_t{23}, std::uint8_t{16}}) {
      SCOPED_TRACE("S119 " + std::to_string(c.s119) + " negotiated " + std::to_string(negotiated));
      DspLinkRig rig;
      rig.Run([&](FakeDataPump& pump) {
        AfterV8(negotiated, negotiated);
        acu_settings().s[119] = c.s119;
        ModemTask_StartHandshake();
        std::vector<std::uint8_t> codes;
        for (const SentCommand& sent : SentCommands(pump)) codes.push_back(sent.code);
        const bool options = !c.options.empty() && negotiated >= 18;
        const std::vector<std::uint8_t> with_options = {0x64, 0x90, 0x68};
        const std::vector<std::uint8_t> without = {0x64, 0x68};
        EXPECT_EQ(codes, options ? with_options : without);
        if (options) {
          EXPECT_EQ(SentCommands(pump)[1].payload, c.options);
        }
      });
    }
  }
}

// Each field of 0x68 from its setting, on an originating V.22bis call
// unless the row says otherwise.
TEST(StartHandshake, ConnectParametersFieldByField) {
  struct Field {
    const char* name;
    std::function<void()> setup;
    int byte;
    std::uint8_t mask;
    std::uint8_t value;
  };
  const auto flags = [](std::uint16_t f) { MachineState<ModemTaskState>().call_flags = f; };
  const auto v8bis = [] { MachineState<V8bisState>().flags = kV8bisActive; };
  const auto answer = [] { acu_call_settings().originate = 0; };
  const auto v23 = [] { RequestModulation(4); };
  const std::vector<Field> fields = {
      {"rate code", [] {}, 0, 0x3F, 4},
      {"DSP option bits 4-5", [] { acu_call_settings().dsp_option = 0x30; }, 0, 0xC0, 0xC0},
      {"DSP option's other bits", [] { acu_call_settings().dsp_option = 0xCF; }, 0, 0xC0, 0x00},
      {"modulation", [] {}, 1, 0xFF, 7},
      {"calling tone", [] { acu_call_settings().calling_tone = 2; }, 2, 0x03, 2},
      {"originate", [] {}, 2, 0x04, 0x04},
      {"answer", answer, 2, 0x04, 0},
      {"automode", [] { acu_call_settings().automode = 1; }, 2, 0x08, 0x08},
      {"controller V.8", [] { MachineState<ModemTaskState>().v8_mode = 1; }, 2, 0x10, 0x10},
      {"V.8bis originating keeps automode and V.8",
       [=] {
         acu_call_settings().automode = 1;
         MachineState<ModemTaskState>().v8_mode = 1;
         v8bis();
       },
       2, 0x58, 0x58},
      {"V.8bis answering clears automode and V.8",
       [=] {
         acu_call_settings().automode = 1;
         MachineState<ModemTaskState>().v8_mode = 1;
         v8bis();
         answer();
       },
       2, 0x58, 0x40},
      {"no controller V.8: direction field 0", [] {}, 3, 0x03, 0},
      {"V.23, typed maximum transmit 75",
       [=] {
         v23();
         acu_call_settings().typed_max_tx_rate = 75;
         answer();
       },
       3, 0x04, 0x04},
      {"V.23, typed maximum receive 75",
       [=] {
         v23();
         acu_call_settings().typed_max_rx_rate = 75;
       },
       3, 0x04, 0},
      {"V.23 originating", v23, 3, 0x04, 0x04},
      {"V.23 answering",
       [=] {
         v23();
         answer();
       },
       3, 0x04, 0},
      {"%E off", [] { acu_call_settings().auto_retrain = 0; }, 3, 0x08, 0},
      {"&U below V.32", [] { acu_call_settings().and_u = 5; }, 3, 0xE0, 0},
      {"&U on V.32",
       [] {
         acu_call_settings().and_u = 5;
         RequestModulation(12);
       },
       3, 0xE0, 0xA0},
      {"&U on V.32bis",
       [] {
         acu_call_settings().and_u = 7;
         RequestModulation(16);
       },
       3, 0xE0, 0xE0},
      {"call flag 9 with +PQC bit 0 clear", [=] { flags(1u << 9); }, 4, 0x05, 0x05},
      {"call flag 9 with +PQC bit 0 set",
       [=] {
         flags(1u << 9);
         MachineState<CommandInterpreterStandin>().pqc_setting = 1;
       },
       4, 0x05, 0x01},
      {"V.92 disabled", [] { acu_settings().v92_enabled = 0; }, 4, 0x0A,
       0},
      {"+PIG 0: upstream PCM", [] { acu_settings().v92_upstream = 0; }, 4, 0x0A, 0x0A},
      {"+PIG 0, V.92 disabled",
       [] {
         acu_settings().v92_upstream = 0;
         acu_settings().v92_enabled = 0;
       },
       4, 0x0A, 0},
      {"call flags 11, 7 and 0", [=] { flags(1u << 11 | 1u << 7 | 1u << 0); }, 4, 0x70, 0x70},
      {"+MSC below V.34", [] { acu_call_settings().msc = 1; }, 5, 0xFF, 0},
      {"+MSC when V.34 was asked (the fallback's m is 16)",
       [] {
         acu_call_settings().msc = 1;
         RequestModulation(18);
       },
       5, 0xFF, 0x0F},
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskIdle, kCodeIdle);
      RequestModulation(7);
      Limits(0, 2400, 0, 2400);
      f.setup();
      ModemTask_StartConnect();
      const std::vector<SentCommand> sent = SentCommands(pump);
      ASSERT_FALSE(sent.empty());
      ASSERT_EQ(sent.back().code, 0x68);
      ASSERT_EQ(sent.back().payload.size(), 6u);
      EXPECT_EQ(sent.back().payload[f.byte] & f.mask, f.value);
    });
  }
}

// A call's start: the statistics in the handshake phase, the frame errors
// and the retrain and line-quality timers and flags cleared, one more
// connection (not for fax), the previous rates cleared.
TEST(StartHandshake, ClearsTheCallsTimersAndCounts) {
  for (const std::uint8_t fax : {0, 1}) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskIdle, kCodeIdle);
      stats_reset();
      ModemTaskState& task = MachineState<ModemTaskState>();
      RetrainState& retrain = MachineState<RetrainState>();
      task.frame_errors = 5;
      task.connection_count = 3;
      task.previous_tx_rate = task.previous_rx_rate = 2400;
      retrain.retrain_timer = retrain.fall_back_timer = 7;
      retrain.fall_forward_timer = retrain.bad_line_timer = 7;
      retrain.hangup_in_progress = retrain.fall_back_started = retrain.fall_forward_started = 1;
      RequestModulation(7);
      acu_call_settings().fax_call = fax;
      ModemTask_StartConnect();
      EXPECT_EQ(stats_block().output_mask & 0xF0, kStatsPhaseHandshake);
      EXPECT_EQ(task.frame_errors, 0);
      EXPECT_EQ(task.connection_count, fax != 0 ? 3 : 4);
      EXPECT_EQ(task.previous_tx_rate, 0);
      EXPECT_EQ(task.previous_rx_rate, 0);
      EXPECT_EQ(task.modulation, 7);
      EXPECT_EQ(retrain.retrain_timer + retrain.fall_back_timer + retrain.fall_forward_timer +
                    retrain.bad_line_timer,
                0);
      EXPECT_EQ(retrain.hangup_in_progress + retrain.fall_back_started + retrain.fall_forward_started,
                0);
    });
  }
}

// The direct start (0x6E): V.90 goes as V.92 when upstream PCM is allowed,
// else as V.34 at a V.34 rate; the task is then connected.
TEST(StartModulation, DirectStartPackets) {
  struct Case {
    const char* name;
    std::uint8_t option;
    std::uint16_t rate;
    std::uint8_t modulation;
    std::uint8_t pig;
    std::uint8_t v92;
    std::vector<std::uint8_t> payload;
  };
  const Case cases[] = {
      {"V.90 at 40000, no upstream PCM: V.34 at 33600", 0, 40000, 23, 1, 1, {21, 18, 0, 0}},
      {"V.90 at 40000, upstream PCM: V.92", 0, 40000, 23, 0, 1, {9, 24, 0, 0}},
      {"V.90 with V.92 disabled: V.34", 1, 40000, 23, 0, 0, {21, 18, 4, 0}},
      {"V.90 at 31000: V.34 at 28800", 0, 31000, 23, 1, 1, {19, 18, 0, 0}},
      {"V.90 at 34666: V.34 at 33600", 0, 34666, 23, 1, 1, {21, 18, 0, 0}},
      {"V.32 as asked", 2, 9600, 12, 1, 1, {7, 12, 8, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskIdle, kCodeIdle);
      acu_settings().v92_upstream = c.pig;
      acu_settings().v92_enabled = c.v92;
      ModemTask_StartModulation(c.option, c.rate, c.modulation);
      EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x6E, c.payload}}));
      EXPECT_EQ(MachineState<ModemTaskState>().modulation, c.modulation);
      EXPECT_EQ(MachineState<ModemTaskState>().state, kTaskConnected);
    });
  }
}

// The small set-up packets and the kept call parameters.
TEST(StartHandshake, CallSetUpPacketsAndParameters) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    ModemTask_SendCmd62(0x5A);
    ModemTask_SendCmd6C(3);
    ModemTask_SendOptions(0x1234, 0xABCD, 0x01020304);
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{
                                      {0x62, {0x5A, 0}},  // lengths are sent even
                                      {0x6C, {3, 0}},
                                      {0x64, {0x34, 0x12, 0xCD, 0xAB, 0x04, 0x03, 0x02, 0x01}}}));
    ModemTask_SetCallParams(6, 50, 255, 0x21, 1, 2, 3);
    const ModemTaskState& task = MachineState<ModemTaskState>();
    EXPECT_EQ(task.connect_wait, 5000);
    EXPECT_EQ(task.carrier_loss_delay, 255);
    EXPECT_EQ(task.call_parameter, 0x21);
  });
}

}  // namespace
}  // namespace vxctl::testing
