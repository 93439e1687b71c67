// The state monitor: sequences of connection-state codes from the data
// pump and what the modem task makes of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/link_protocols_standin.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// The data pump's answers to the connect's queries: the modulation, the
// classic rate code 7 (9600 both ways) and the V.34 and PCM rate reply
// (V.34 indices 12 and 14: 28800 and 33600; V.90: upstream index 12,
// 28800, and downstream index 14, 56000).
void ScriptConnectQueries(FakeDataPump& pump, std::uint8_t modulation) {
  pump.Script(0x72, FakeAnswer::Reply(0xC2, {modulation}));
  pump.Script(0x70, FakeAnswer::Reply(0xC1, {7}));
  pump.Script(0x91, FakeAnswer::Reply(0xC6, {0xB0, 0x03, 0, 0, 0, 0, 12, 14}));
}

void MonitorCodes(FakeDataPump& pump, const std::vector<std::uint8_t>& codes) {
  for (std::uint8_t code : codes) {
    pump.SetRegister(pump::kRegStatus, code);
    ModemTask_MonitorDsp();
  }
}

// The event trace's texts, oldest first.
std::vector<std::string> MonitorTraceLines() {
  const EventTraceRing& ring = modem_event_trace();
  std::vector<std::string> lines;
  for (std::uint32_t i = ring.tail; i != ring.head; i = (i + 1) % EventTraceRing::kEntries) {
    lines.emplace_back(ring.entries[i].text.data());
  }
  return lines;
}

struct MonitorOutcome {
  std::uint8_t state;
  std::uint8_t connected;
  std::uint32_t phase;           // the statistics output mask's bits 4-7
  std::uint32_t call_mode;       // key 0x02
  std::uint32_t termination;     // key 0x60
  std::uint32_t retrains;        // key 0x33 and the report count
  std::uint32_t retrain_starts;  // key 0x32
  std::uint32_t renegs;          // key 0x31 and the report count
  std::uint16_t timer;           // the retrain and renegotiation timer
  std::vector<std::string> traces;
  std::vector<std::string> calls;
};

struct MonitorCase {
  const char* name;
  std::uint8_t state;       // the task state before
  std::uint8_t modulation;  // what the connection runs, as the data pump reports it
  std::uint8_t sync_access;
  std::vector<std::uint8_t> codes;
  MonitorOutcome outcome;
};

constexpr std::uint32_t kReset = kStatsPhaseReset;
constexpr std::uint32_t kConnected = kStatsPhaseConnected;
constexpr std::uint32_t kDropped = kStatsPhaseDropped;
// The state line a connect traces, with the rates ScriptConnectQueries
// gives (the originating side's view).
const std::string kLineV32 = "Connected V32 TX=9600 RX=9600";
const std::string kLineV34 = "Connected V34 TX=28800 RX=33600";
const std::string kLineV90 = "Connected V90 TX=28800 RX=56000";
// A connect calls nothing into parts not built yet below V.34.
const std::vector<std::string> kConnectCalls = {};

TEST(MonitorDsp, CodeSequences) {
  const std::vector<MonitorCase> cases = {
      {"connect", kTaskOriginating, 12, 0, {1, 2},
       {kTaskOriginating, 1, kConnected, 0, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"connect, V.80 access", kTaskOriginating, 12, 1, {1, 2},
       {kTaskOriginating, 1, kConnected, 9, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"connect at V.90", kTaskAnswering, 23, 1, {1, 2},
       {kTaskAnswering, 1, kConnected, 0, 2, 0, 0, 0, 0, {kLineV90},
        {"ModemTask_SetV92StartOptions(0)",
         "ModemTask_ArmCallWaiting(8)"}}},
      {"connect while idle", kTaskIdle, 12, 0, {2},
       {kTaskIdle, 0, kReset, 0, 1, 0, 0, 0, 0, {}, {}}},
      {"retrain before any connect", kTaskOriginating, 12, 0, {1, 3},
       {kTaskOriginating, 0, kReset, 0, 1, 0, 0, 0, 0, {}, {}}},
      {"retrain before connect, then connect", kTaskOriginating, 12, 0, {3, 2},
       {kTaskOriginating, 1, kConnected, 0, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"retrain", kTaskConnected, 12, 0, {2, 3},
       {kTaskRetraining, 1, kConnected, 0, 2, 1, 1, 0, 6000, {kLineV32, "Retrain"},
        {"ModemTask_ArmCallWaiting(0)"}}},
      {"retrain at V.90", kTaskConnected, 23, 0, {2, 3},
       {kTaskRetraining, 1, kConnected, 0, 2, 1, 1, 0, 9000, {kLineV90, "Retrain"},
        {"ModemTask_SetV92StartOptions(0)",
         "ModemTask_ArmCallWaiting(8)", "ModemTask_ArmCallWaiting(0)"}}},
      {"the same code twice acts once", kTaskConnected, 12, 0, {2, 2, 3, 3},
       {kTaskRetraining, 1, kConnected, 0, 2, 1, 1, 0, 6000, {kLineV32, "Retrain"},
        {"ModemTask_ArmCallWaiting(0)"}}},
      {"a second retrain while retraining", kTaskConnected, 12, 0, {2, 3, 2, 3},
       // the second connect stopped the timer; a retrain while retraining
       // does not start it again
       {kTaskRetraining, 1, kConnected, 0, 2, 2, 1, 0, 0, {kLineV32, "Retrain", kLineV32, "Retrain"},
        {"ModemTask_ArmCallWaiting(0)",
         "ModemTask_ArmCallWaiting(0)"}}},
      {"dropping", kTaskConnected, 12, 0, {2, 4},
       {kTaskHangupRequested, 1, kConnected, 0, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"idle after a connect", kTaskConnected, 12, 0, {2, 0},
       {kTaskConnected, 0, kDropped, 0, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"idle without a connect", kTaskOriginating, 12, 0, {1, 0},
       {kTaskOriginating, 0, kReset, 0, 1, 0, 0, 0, 0, {}, {}}},
      {"fax carrier", kTaskFaxOriginating, 0, 0, {8},
       {kTaskFaxOriginating, 0, kConnected, 1, 2, 0, 0, 0, 0, {}, {}}},
      {"voice", kTaskIdle, 0, 0, {12}, {kTaskIdle, 0, kConnected, 2, 2, 0, 0, 0, 0, {}, {}}},
      {"renegotiation", kTaskConnected, 18, 0, {2, 13},
       {kTaskRenegotiating, 1, kConnected, 0, 2, 0, 0, 1, 301, {kLineV34, "Renegotiate"},
        {"ModemTask_SetV92StartOptions(0)",
         "ModemTask_ArmCallWaiting(8)"}}},
      {"renegotiation at V.90", kTaskConnected, 23, 0, {2, 13},
       {kTaskRenegotiating, 1, kConnected, 0, 2, 0, 0, 1, 501, {kLineV90, "Renegotiate"},
        {"ModemTask_SetV92StartOptions(0)",
         "ModemTask_ArmCallWaiting(8)"}}},
      {"caller ID right after a renegotiation began", kTaskConnected, 12, 0, {2, 13, 14},
       {kTaskCallerIdInCall, 1, kConnected, 0, 2, 0, 0, 0, 301, {kLineV32, "Renegotiate"},
        kConnectCalls}},
      {"caller ID during a call", kTaskConnected, 12, 0, {2, 14},
       {kTaskCallerIdInCall, 1, kConnected, 0, 2, 0, 0, 0, 0, {kLineV32}, kConnectCalls}},
      {"reconnect after a renegotiation keeps call waiting", kTaskConnected, 23, 0, {13, 2},
       {kTaskRenegotiating, 1, kConnected, 0, 2, 0, 0, 1, 0, {"Renegotiate", kLineV90},
        kConnectCalls}},
      {"hold exchange", kTaskConnected, 24, 0, {15},
       {kTaskHoldExchange, 0, kReset, 0, 1, 0, 0, 0, 0, {}, {}}},
  };
  for (const MonitorCase& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, c.state, kCodeIdle);
      stats_reset();
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.modulation = c.modulation;
      ScriptConnectQueries(pump, c.modulation);
      MachineState<CommandInterpreterStandin>().sync_access = c.sync_access;
      MonitorCodes(pump, c.codes);
      ModemStatisticsBlock& stats = stats_block();
      const MonitorOutcome& o = c.outcome;
      EXPECT_EQ(task.state, o.state);
      EXPECT_EQ(task.connected, o.connected);
      EXPECT_EQ(stats.output_mask & 0xF0, o.phase);
      EXPECT_EQ(stats.Value(0x02), o.call_mode);
      EXPECT_EQ(stats.Value(0x60), o.termination);
      EXPECT_EQ(stats.Value(0x33), o.retrains);
      EXPECT_EQ(task.retrain_reports, o.retrains);
      EXPECT_EQ(stats.Value(0x32), o.retrain_starts);
      EXPECT_EQ(stats.Value(0x31), o.renegs);
      EXPECT_EQ(task.reneg_reports, o.renegs);
      EXPECT_EQ(MachineState<RetrainState>().retrain_timer, o.timer);
      EXPECT_EQ(MonitorTraceLines(), o.traces);
      EXPECT_EQ(DescribedPendingCalls(), o.calls);
    });
  }
}

// What the link protocols and the command interpreter are told: V.80's
// connection state, the disconnect cause of a drop (kept when one is set).
TEST(MonitorDsp, TellsV80AndSetsTheDisconnectCause) {
  struct Case {
    std::vector<std::uint8_t> codes;
    std::uint8_t cause_before;
    std::uint8_t v80_state;
    std::uint32_t v80_calls;
    std::uint8_t cause;
  };
  const std::vector<Case> cases = {
      {{2, 3}, 0, 3, 1, 0}, {{2, 13}, 0, 13, 1, 0}, {{2, 0}, 0, 0, 1, 0},
      {{2, 4}, 0, 0, 0, 18}, {{2, 4}, 7, 0, 0, 7},
  };
  for (const Case& c : cases) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskConnected, kCodeIdle);
      MachineState<CommandInterpreterStandin>().disconnect_cause = c.cause_before;
      MonitorCodes(pump, c.codes);
      const LinkProtocolsStandin& link = MachineState<LinkProtocolsStandin>();
      EXPECT_EQ(link.v80_state, c.v80_state);
      EXPECT_EQ(link.v80_state_calls, c.v80_calls);
      EXPECT_EQ(MachineState<CommandInterpreterStandin>().disconnect_cause, c.cause);
    });
  }
}

// Any code but 2 restarts the frame-error count and its 5 s window; a
// connect at V.21 or V.17 marks the statistics for those modulations.
TEST(MonitorDsp, FrameErrorsAndLowSpeedMark) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    PutTask(pump, kTaskOriginating, kCodeHandshake);
    ModemTaskState& task = MachineState<ModemTaskState>();
    ScriptConnectQueries(pump, kModulationV17);
    task.frame_errors = 9;
    task.frame_error_window = 0;
    MonitorCodes(pump, {2});
    EXPECT_EQ(task.frame_errors, 9);
    EXPECT_EQ(task.frame_error_window, 0);
    EXPECT_NE(stats_block().output_mask & 4u, 0u);
    EXPECT_NE(stats_block().mask_copy & 4u, 0u);
    MonitorCodes(pump, {3});
    EXPECT_EQ(task.frame_errors, 0);
    EXPECT_EQ(task.frame_error_window, 500);
  });
}

// The state-6 flag: the connect is processed once and reported as 6 while
// the flag is set; a retrain clears the flag.
TEST(MonitorDsp, State6Flag) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    PutTask(pump, kTaskOriginating, kCodeHandshake);
    ModemTaskState& task = MachineState<ModemTaskState>();
    ModemTask_SetState6Flag(1);
    for (int step = 0; step < 3; ++step) MonitorCodes(pump, {2});
    EXPECT_EQ(task.connection_state, kCodeReportedLoopback);
    EXPECT_EQ(MonitorTraceLines().size(), 1u);
    EXPECT_EQ(DescribedPendingCalls(), kConnectCalls);
    ModemTask_SetState6Flag(0);
    EXPECT_EQ(task.connection_state, kCodeConnected);
    ModemTask_SetState6Flag(1);
    MonitorCodes(pump, {3});
    EXPECT_EQ(task.state6_flag, 0);
    EXPECT_EQ(task.connection_state, kCodeRetraining);
    MonitorCodes(pump, {2});
    EXPECT_EQ(task.connection_state, kCodeConnected);
    EXPECT_EQ(ModemTask_IsDspLinkActive(), 1);
    MonitorCodes(pump, {3});
    EXPECT_EQ(ModemTask_IsDspLinkActive(), 0);
  });
}

}  // namespace
}  // namespace vxctl::testing
