// The hang-up, the retrain and renegotiation requests and the monitors of
// task states 8 and 17, on the scripted data pump.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

const std::vector<std::uint8_t> kNoRates(8, 0);

// A connected call on `m` at `rate` both ways.
void ConnectedOn(FakeDataPump& pump, std::uint8_t m, std::uint16_t rate,
                 std::uint8_t state = kTaskConnected, std::uint8_t code = kCodeConnected) {
  PutTask(pump, state, code);
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.connected = 1;
  task.modulation = m;
  task.tx_rate = rate;
  task.rx_rate = rate;
}

TEST(Hangup, GracefulByModulationAndCallState) {
  struct Case {
    const char* name;
    std::uint8_t m;
    std::function<void()> setup;
    std::uint8_t graceful;
    std::vector<SentCommand> sent;
    std::uint8_t state;
  };
  const Case cases[] = {
      {"V.34: an empty renegotiation", 18, [] {}, 1,
       {{0x64, kNoRates}, {0x6B, {21, 0}}}, kTaskRenegotiating},
      // V.32bis refuses its own rate: the call clears down at once.
      {"V.32bis", 16, [] {}, 1, {{0x64, kNoRates}}, kTaskHangupRequested},
      {"V.32: a retrain", 12, [] {}, 1, {{0x64, kNoRates}, {0x69, {}}}, kTaskRetraining},
      {"V.22bis at once", 7, [] {}, 1, {}, kTaskHangupRequested},
      {"not graceful", 18, [] {}, 0, {}, kTaskHangupRequested},
      {"never connected", 18, [] { MachineState<ModemTaskState>().connected = 0; }, 1, {},
       kTaskHangupRequested},
      {"already hanging up", 18, [] { MachineState<RetrainState>().hangup_in_progress = 1; }, 1,
       {}, kTaskHangupRequested},
      {"line idle", 18, [] { MachineState<ModemTaskState>().code = kCodeIdle; }, 1, {},
       kTaskHangupRequested},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      const std::uint16_t rate = c.m == 18 ? 33600 : c.m == 16 ? 14400 : c.m == 12 ? 9600 : 2400;
      ConnectedOn(pump, c.m, rate);
      MachineState<CommandInterpreterStandin>().moh_grant = 5;
      c.setup();
      ModemTask_Hangup(c.graceful);
      EXPECT_EQ(SentCommands(pump), c.sent);
      EXPECT_EQ(MachineState<ModemTaskState>().state, c.state);
      EXPECT_EQ(MachineState<CommandInterpreterStandin>().moh_grant, 0);
      const EventTraceRing& trace = modem_event_trace();
      bool traced = false;
      for (const auto& entry : trace.entries) traced |= std::string(entry.text.data()) == "Hangup";
      EXPECT_TRUE(traced);
    });
  }
}

TEST(Retrain, OnlyInACallAboveV22) {
  struct Case {
    std::uint8_t m;
    std::uint8_t code;
    bool confirmed_waiting_call;
    bool sent;
    std::uint16_t timer;
  };
  const Case cases[] = {
      {12, kCodeConnected, false, true, 6000},  {23, kCodeConnected, false, true, 9000},
      {18, kCodeRetraining, false, true, 6000}, {18, kCodeRenegotiating, false, true, 6000},
      {6, kCodeConnected, false, false, 0},     {18, kCodeDropping, false, false, 0},
      {18, kCodeDropping, true, true, 6000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "m " << int(c.m) << " code " << int(c.code));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ConnectedOn(pump, c.m, 9600, kTaskConnected, c.code);
      if (c.confirmed_waiting_call) MachineState<CallWaitingState>().flags = kCallWaitingConfirmed;
      ModemTask_Retrain();
      const std::vector<SentCommand> retrain = {{0x69, {}}};
      EXPECT_EQ(SentCommands(pump), c.sent ? retrain : std::vector<SentCommand>{});
      EXPECT_EQ(MachineState<ModemTaskState>().state, c.sent ? kTaskRetraining : kTaskConnected);
      EXPECT_EQ(MachineState<RetrainState>().retrain_timer, c.timer);
      if (c.sent) {
        EXPECT_EQ(MachineState<LinkProtocolsStandin>().v80_state, kCodeRetraining);
      }
    });
  }
}

// V.32bis renegotiates only to rates the peer's rate signal offers: the
// walk goes on in the direction of the request, and ends outside
// 4800..14400 with nothing sent.
TEST(Renegotiate, V32bisRateBitWalkAndV34AsymmetricByte) {
  constexpr std::uint16_t kAll = kPeerRateWordReset;  // every V.32bis rate
  struct Case {
    const char* name;
    std::uint8_t m;
    std::uint16_t word;
    std::uint16_t rate;
    bool asymmetric_accepted;
    std::vector<SentCommand> sent;
  };
  const Case cases[] = {
      {"up to 12000", 16, kAll, 12000, false, {{0x6B, {8, 0}}}},
      {"12000 not offered: 14400", 16, kAll & ~0x400, 12000, false, {{0x6B, {9, 0}}}},
      {"12000 and 14400 not offered", 16, kAll & ~0x1400, 12000, false, {}},
      {"16800 has no rate bit", 16, kAll, 16800, false, {}},
      {"the transmit rate itself", 16, kAll, 9600, false, {}},
      {"7200 not offered: 4800", 16, kAll & ~0x200, 7200, false, {{0x6B, {5, 0}}}},
      {"nothing below", 16, kAll & ~0x220, 7200, false, {}},
      {"V.34 sends the asymmetric byte when accepted", 18, kAll, 12000, true, {{0x6B, {8, 3}}}},
      {"V.34 without the peer's acceptance", 18, kAll, 12000, false, {{0x6B, {8, 0}}}},
      {"V.32 is never renegotiated", 12, kAll, 7200, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ConnectedOn(pump, c.m, 9600);
      MachineState<RetrainState>().peer_rate_word = c.word;
      MachineState<ModemTaskState>().asymmetric_reneg = c.asymmetric_accepted ? 1 : 0;
      ModemTask_Renegotiate(c.rate, 3);
      EXPECT_EQ(SentCommands(pump), c.sent);
      EXPECT_EQ(MachineState<ModemTaskState>().state,
                c.sent.empty() ? kTaskConnected : kTaskRenegotiating);
      EXPECT_EQ(MachineState<RetrainState>().retrain_timer, c.sent.empty() ? 0 : 301);
    });
  }
}

// The monitors of states 8 (retrain) and 17 (renegotiation) by the code
// the data pump reports and by their timer.
TEST(RetrainMonitor, ByCodeAndTimer) {
  struct Case {
    const char* name;
    std::uint8_t state;
    std::uint8_t code;
    std::function<void()> setup;
    std::uint8_t next_state;
    std::uint8_t disconnect_cause;
    std::uint8_t termination;
  };
  const auto expired = [] { MachineState<RetrainState>().retrain_timer = 1; };
  const auto hanging_up = [=] {
    expired();
    MachineState<RetrainState>().hangup_in_progress = 1;
  };
  const Case cases[] = {
      {"retrain: connected again", kTaskRetraining, kCodeConnected, [] {}, kTaskConnected, 0, 0},
      {"retrain: loopback again", kTaskRetraining, kCodeReportedLoopback, [] {}, kTaskConnected,
       0, 0},
      {"retrain: still retraining", kTaskRetraining, kCodeRetraining, [] {}, kTaskRetraining, 0,
       0},
      {"retrain: renegotiating", kTaskRetraining, kCodeRenegotiating, [] {}, kTaskRetraining, 0,
       0},
      {"retrain: line dropped", kTaskRetraining, kCodeIdle, [] {}, kTaskHangupRequested, 0, 0},
      {"retrain: handshake on the fast path", kTaskRetraining, kCodeHandshake,
       [] { MachineState<ModemTaskState>().call_flags = kCallFlagFastPath; }, kTaskRetraining, 0,
       0},
      // the V.32 call's clear-down: the graceful hang-up's own retrain ends
      {"retrain: dropping during a clear-down", kTaskRetraining, kCodeDropping,
       [] { MachineState<RetrainState>().hangup_in_progress = 1; }, kTaskHangupRequested, 0, 0},
      {"retrain: timer, no clear-down", kTaskRetraining, kCodeRetraining, expired,
       kTaskHangupRequested, 0, 0},
      {"retrain: clear-down timed out before a rate", kTaskRetraining, kCodeRetraining,
       hanging_up, kTaskHangupRequested, 9, 0x3D},
      {"retrain: clear-down timed out after a rate", kTaskRetraining, kCodeRetraining,
       [=] {
         hanging_up();
         stats_block().Value(0x26) = 9600;
       },
       kTaskHangupRequested, 9, 0x3F},
      {"renegotiation: connected again", kTaskRenegotiating, kCodeConnected, [] {},
       kTaskConnected, 0, 0},
      {"renegotiation: running", kTaskRenegotiating, kCodeRenegotiating, [] {},
       kTaskRenegotiating, 0, 0},
      {"renegotiation: line dropped", kTaskRenegotiating, kCodeIdle, [] {}, kTaskHangupRequested,
       0, 0},
      {"renegotiation: timer with %E: retrain", kTaskRenegotiating, kCodeRenegotiating, expired,
       kTaskRetraining, 0, 0},
      {"renegotiation: timer without %E", kTaskRenegotiating, kCodeRenegotiating,
       [=] {
         expired();
         acu_call_settings().auto_retrain = 0;
       },
       kTaskHangupRequested, 9, 0},
      {"renegotiation: clear-down timed out", kTaskRenegotiating, kCodeRenegotiating, hanging_up,
       kTaskHangupRequested, 9, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      ConnectedOn(pump, 18, 24000, c.state, c.code);
      RetrainState& retrain = MachineState<RetrainState>();
      retrain.fall_back_timer = 7;
      retrain.fall_forward_timer = 7;
      retrain.bad_line_timer = 7;
      retrain.fall_forward_started = 1;
      c.setup();
      if (c.state == kTaskRetraining) {
        ModemTask_RetrainMonitor();
      } else {
        ModemTask_RenegMonitor();
      }
      EXPECT_EQ(MachineState<ModemTaskState>().state, c.next_state);
      EXPECT_EQ(MachineState<CommandInterpreterStandin>().disconnect_cause, c.disconnect_cause);
      EXPECT_EQ(stats_block().Value(0x60).load(), c.termination);
      if (c.next_state == kTaskConnected) {
        EXPECT_EQ(retrain.fall_back_timer + retrain.fall_forward_timer + retrain.bad_line_timer +
                      retrain.retrain_timer,
                  0);
        EXPECT_EQ(retrain.fall_forward_started, 0);
        EXPECT_EQ(MachineState<LinkProtocolsStandin>().v80_state, c.code);
      }
    });
  }
}

// A code the monitor does not recognise ends the call gracefully: on V.34
// the empty masks go out, and as the data pump renegotiates only from a
// connection (code 2) the call clears down at once rather than staying up.
TEST(RetrainMonitor, UnknownCodeClearsDown) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    ConnectedOn(pump, 18, 24000, kTaskRetraining, kCodeDropping);
    ModemTask_RetrainMonitor();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x64, kNoRates}}));
    EXPECT_EQ(MachineState<RetrainState>().hangup_in_progress, 1);
    EXPECT_EQ(MachineState<ModemTaskState>().state, kTaskHangupRequested);
  });
}

}  // namespace
}  // namespace vxctl::testing
