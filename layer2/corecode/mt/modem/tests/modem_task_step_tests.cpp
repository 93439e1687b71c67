// The modem task's step: the order of its parts, and each task state's
// action on the code the data pump reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/modem/event_trace.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

// A step's events with the doorbells named by kind: a statistics read
// (memory or parameter read), a memory write, or the command's code; runs
// of the same doorbell shown once.
std::vector<std::string> StepEvents(const FakeDataPump& pump) {
  std::vector<std::string> events;
  for (const std::string& event : Timeline(pump)) {
    std::string shown = event;
    if (event.starts_with("cmd 09") || event.starts_with("cmd 0A") ||
        event.starts_with("cmd 0B")) {
      shown = "read";
    } else if (event.starts_with("cmd 0C") || event.starts_with("cmd 0D") ||
               event.starts_with("cmd 0E")) {
      shown = "write";
    } else if (event.starts_with("cmd ")) {
      shown = event.substr(0, 6);
    }
    if (events.empty() || events.back() != shown) events.push_back(shown);
  }
  return events;
}

TEST(ModemTaskStep, RunsItsPartsInOrder) {
  struct Case {
    const char* name;
    bool v8bis;
    bool read_out;  // the statistics read-out has a V.34 item to read
    bool overlay;   // the overlay ring holds a download request
    std::vector<std::string> events;
  };
  // Retraining a V.34 call with the fast start's flag set, the hold
  // sequencer about to send its clear-down (0xA1) and the retrain
  // timer run out, so the state's action (the retrain monitor) hangs up
  // last. A command sent drains the overlay ring too, so the drain's own
  // place shows without the read-out.
  const std::vector<Case> cases = {
      {"V.8bis off",
       false,
       true,
       false,
       {"read", "cmd A1", "ModemTask_FastStartStep"}},
      {"V.8bis on (no fast start)",
       true,
       true,
       false,
       {"ModemTask_V8bisStep", "read", "cmd A1"}},
      {"an overlay record",
       false,
       false,
       true,
       {"cmd A1", "cmd A3", "ModemTask_FastStartStep"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskRetraining, kCodeRetraining);
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.modulation = kModulationV34;
      task.call_flags = kCallFlagFastStart;
      stats_block().valid = c.read_out ? 0 : 1;
      MachineState<V8bisState>().flags = c.v8bis ? kV8bisActive : 0;
      if (c.overlay) {
        const std::uint8_t download[] = {0x50, 1};
        ASSERT_TRUE(MachineState<DspTransportState>().overlay.Append(download));
      }
      MachineState<RetrainState>().retrain_timer = 1;
      MachineState<ModemOnHoldState>().state = 17;  // the hold step sends 0xA1
      ModemTask_Process();
      EXPECT_EQ(StepEvents(pump), c.events);
      EXPECT_EQ(MachineState<DspTransportState>().overlay.Used(), 0u);
      EXPECT_EQ(task.state, kTaskHangupRequested);
    });
  }
}

// The monitor runs before the state's action: a connect reported while
// originating is processed, then the task is connected.
TEST(ModemTaskStep, MonitorRunsBeforeTheStateAction) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    PutTask(pump, kTaskOriginating, kCodeHandshake);
    pump.SetRegister(pump::kRegStatus, kCodeConnected);
    ModemTask_Process();
    EXPECT_EQ(DescribedPendingCalls(), std::vector<std::string>{});
    const EventTraceRing& trace = modem_event_trace();
    ASSERT_EQ(trace.head, trace.tail + 1);
    // The scripted data pump's defaults: modulation 0, classic rate code 0.
    EXPECT_STREQ(trace.entries[trace.tail].text.data(), "Connected BELL_103 TX=1200 RX=75");
    EXPECT_EQ(MachineState<ModemTaskState>().state, kTaskConnected);
  });
}

TEST(ModemTaskStep, EachStateActsOnTheCode) {
  struct Case {
    std::uint8_t state;
    std::uint8_t code;
    std::uint8_t v8_mode;
    std::uint8_t v8_answer;  // "+A8E" answering setting
    std::uint8_t next;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {kTaskIdle, kCodeIdle, 1, 5, kTaskIdle, {"ModemTask_V8AnswerStep"}},
      {kTaskIdle, kCodeIdle, 1, 1, kTaskIdle, {}},
      {kTaskIdle, kCodeIdle, 0, 5, kTaskIdle, {}},
      {kTaskOriginating, kCodeConnected, 1, 0, kTaskConnected, {}},
      {kTaskOriginating, kCodeIdle, 1, 0, kTaskHangupRequested, {}},
      {kTaskOriginating, kCodeHandshake, 1, 0, kTaskOriginating, {"ModemTask_V8OriginateStep"}},
      {kTaskOriginating, kCodeHandshake, 0, 0, kTaskOriginating, {}},
      {kTaskAnswering, kCodeConnected, 1, 5, kTaskConnected, {}},
      {kTaskAnswering, kCodeIdle, 1, 1, kTaskHangupRequested, {"ModemTask_V8AnswerStep"}},
      {kTaskAnswering, kCodeHandshake, 1, 5, kTaskAnswering, {"ModemTask_V8AnswerStep"}},
      {kTaskAnswering, kCodeHandshake, 1, 2, kTaskAnswering, {}},
      {kTaskAnswering, kCodeHandshake, 0, 5, kTaskAnswering, {}},
      {kTaskConnected, kCodeConnected, 0, 0, kTaskConnected, {}},
      {kTaskConnected, kCodeRetraining, 0, 0, kTaskConnected, {}},
      {kTaskConnected, kCodeLoopback, 0, 0, kTaskConnected, {}},
      {kTaskConnected, kCodeRenegotiating, 0, 0, kTaskConnected, {}},
      {kTaskClearingDown, kCodeIdle, 0, 0, kTaskIdle, {}},
      {kTaskClearingDown, kCodeDropping, 0, 0, kTaskClearingDown, {}},
      {kTaskFaxClearingDown, kCodeIdle, 0, 0, kTaskIdle, {}},
      {kTaskRetraining, kCodeRetraining, 0, 0, kTaskRetraining, {}},
      {kTaskRenegotiating, kCodeRenegotiating, 0, 0, kTaskRenegotiating, {}},
      {kTaskFaxAnswering, kCodeFaxCarrier, 0, 0, kTaskFaxCarrier, {}},
      {kTaskFaxOriginating, kCodeIdle, 0, 0, kTaskFaxClearingDown, {}},
      {kTaskFaxOriginating, kCodeHandshake, 0, 0, kTaskFaxOriginating, {}},
      {kTaskFaxCarrier, kCodeIdle, 0, 0, kTaskFaxClearingDown, {}},
      {kTaskFaxCarrier, kCodeFaxCarrier, 0, 0, kTaskFaxCarrier, {}},
      {kTaskCallerIdInCall, kCodeIdle, 1, 5, kTaskCallerIdInCall, {}},
      {kTaskHoldExchange, kCodeConnected, 1, 5, kTaskHoldExchange, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("state " + std::to_string(c.state) + " code " + std::to_string(c.code));
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, c.state, c.code);
      ModemTaskState& task = MachineState<ModemTaskState>();
      task.v8_mode = c.v8_mode;
      task.frame_errors = 7;
      MachineState<CommandInterpreterStandin>().v8_answer_setting = c.v8_answer;
      ModemTask_Process();
      EXPECT_EQ(task.state, c.next);
      EXPECT_EQ(DescribedPendingCalls(), c.calls);
      EXPECT_TRUE(pump.Commands().empty());
      const bool cleared = c.state == kTaskConnected && c.code != kCodeConnected;
      EXPECT_EQ(task.frame_errors, cleared ? 0 : 7);
    });
  }
}

// A hang-up request clears the call down in one step: the data pump to
// idle, call progress off, call waiting disarmed, the hold sequencer reset,
// the V.92 start options cleared.
TEST(ModemTaskStep, HangupRequestClearsDown) {
  DspLinkRig rig;
  rig.Run([](FakeDataPump& pump) {
    PutTask(pump, kTaskHangupRequested, kCodeDropping);
    MachineState<ModemOnHoldState>().state = 8;
    MachineState<ModemOnHoldState>().v92_status = kMohInProgress;
    ModemTask_Process();
    EXPECT_EQ(MachineState<ModemTaskState>().state, kTaskClearingDown);
    EXPECT_EQ(DescribedPendingCalls(), (std::vector<std::string>{"ModemTask_ArmCallWaiting(0)",
                                                             "ModemTask_SetV92StartOptions(0)"}));
    EXPECT_EQ(MachineState<ModemOnHoldState>().state, kMohIdle);
    EXPECT_EQ(MachineState<ModemOnHoldState>().v92_status, 0);
    // The data pump idled, then call progress off (0x65 {0, 1}).
    std::vector<std::uint8_t> codes;
    for (const FakePacket& command : pump.Commands()) codes.push_back(command.code);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{0x60, 0x94, 0xA4, 0x65}));
  });
}

}  // namespace
}  // namespace vxctl::testing
