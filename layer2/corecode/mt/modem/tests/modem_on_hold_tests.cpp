// The V.92 hold sequencer on the scripted data pump: the peer's requests
// by kind and hold-time code, the own request, resume and time-out.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_on_hold.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/tests/modem_task_testing.h"
#include "layer2/corecode/mt/modem/tests/sent_commands.h"
#include "layer2/corecode/mt/modem_task/call_waiting_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {
namespace {

ModemOnHoldState& Hold() { return MachineState<ModemOnHoldState>(); }

// The pending calls without the "+PMH" reads.
std::vector<std::string> HoldCalls() {
  std::vector<std::string> calls = DescribedPendingCalls();
  std::erase(calls, std::string("acu_pmh_setting"));
  return calls;
}

// Hold-time codes travel as the 4-bit reversal of the message's nibble.
TEST(ModemOnHold, HoldTimeCodesAreBitReversed) {
  const std::uint8_t reversed[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  for (std::uint8_t n = 0; n < 16; ++n) EXPECT_EQ(MohReverse(n), reversed[n]) << int(n);
  EXPECT_EQ(MohReverse(16 + 5), 10) << "modulo 16";
  EXPECT_EQ(kMohSecondsTable[MohReverse(5)], 480);
}

// A request from the peer, taken at the next step and acted on at the one
// after.
TEST(ModemOnHold, PeerRequestsByKind) {
  struct Case {
    const char* name;
    std::uint8_t request;
    std::uint8_t state;     // after the request is acted on
    std::uint8_t response;  // then pending for 0xA0
    std::vector<SentCommand> sent;
    std::vector<std::string> calls;
    std::uint16_t hold_time;
  };
  const Case cases[] = {
      {"9: refused", 0x09, 3, 0xDD, {}, {}, 0},
      {"10 with code 5: granted for 480 s", 0x5A, 9, 0,
       {{0x60, {1, 0}}, {0x65, {2, 1}}}, {"acu_report_pmhr(10)"}, 480},
      {"10 with code 8 (1 reversed): 10 s", 0x8A, 9, 0,
       {{0x60, {1, 0}}, {0x65, {2, 1}}}, {"acu_report_pmhr(1)"}, 10},
      {"11: resume at once", 0x0B, 5, 0, {}, {}, 0},
      {"12 with no +PMH time", 0x0C, 3, 0xEE, {}, {}, 0},
      {"13: clear", 0x0D, 6, 0, {}, {}, 0},
      {"14: denied", 0x0E, 3, 0xBB, {}, {"acu_report_pmhr(0)"}, 0},
      {"other kinds: back to idle", 0x07, 1, 0, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskConnected, kCodeConnected);
      Hold().request_value = c.request;
      Hold().v92_status = kMohRequestArrived | kMohResumeEvent6;
      ModemTask_MohStep();
      EXPECT_EQ(Hold().state, 2);
      ModemTask_MohStep();
      EXPECT_EQ(Hold().state, c.state);
      EXPECT_EQ(Hold().response_code, c.response);
      EXPECT_EQ(Hold().hold_time, c.hold_time);
      EXPECT_EQ(Hold().request_value, 0);
      EXPECT_EQ(SentCommands(pump), c.sent);
      EXPECT_EQ(HoldCalls(), c.calls);
      const bool on_hold = c.state == 9;
      EXPECT_EQ((Hold().v92_status & kMohInProgress) != 0, on_hold);
      EXPECT_EQ(Hold().v92_status & (kMohRequestArrived | kMohAwaitingPeer), 0);
    });
  }
}

// The responses go out as 0xA0 and wait 15 s for the peer; the clear
// answer ends the call.
TEST(ModemOnHold, ResponsesAndTheirAnswers) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    PutTask(pump, kTaskConnected, kCodeConnected);
    Hold().state = 3;
    Hold().response_code = 0xDD;
    MachineState<CallWaitingState>().flags = kCallWaitingToneMonitor;
    ModemTask_MohStep();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0xA0, {0xDD, 0}}}));
    EXPECT_EQ(Hold().state, 7);
    EXPECT_EQ(Hold().hold_timer, 15);
    EXPECT_EQ(MachineState<CallWaitingState>().flags, 0) << "tone monitor released";
    Hold().v92_status.fetch_or(1u << 1);
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, 6);
    ModemTask_MohStep();
    EXPECT_EQ(MachineState<ModemTaskState>().state, kTaskHangupRequested);
    EXPECT_EQ(Hold().state, kMohIdle);
  });
}

// Resumed after an immediate-resume request: the line is taken back
// answering and the hold runs until its resume event.
TEST(ModemOnHold, HoldEnteredAndResumed) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    PutTask(pump, kTaskConnected, kCodeConnected);
    Hold().state = 5;
    Hold().hold_time = 0;
    ModemTask_MohStep();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x60, {1, 0}}, {0x65, {1, 1}}}));
    EXPECT_EQ(HoldCalls(), std::vector<std::string>{"acu_answer_start"});
    EXPECT_EQ(acu_call_settings().originate, 0);
    EXPECT_EQ(Hold().state, 8);
    EXPECT_NE(Hold().v92_status & kMohInProgress, 0);
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, 8) << "no hold time: no time-out";
    Hold().v92_status.fetch_or(kMohResumeEvent8);
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, kMohIdle);
    EXPECT_EQ(Hold().v92_status, 0);
  });
}

// A granted hold of 10 s runs out on the 1 s count of the 10 ms tick and
// clears the call.
TEST(ModemOnHold, HoldTimesOut) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    PutTask(pump, kTaskConnected, kCodeConnected);
    Hold().state = 5;
    Hold().hold_time = 10;
    ModemTask_MohStep();
    ASSERT_EQ(Hold().hold_timer, 10);
    for (int t = 0; t < 990; ++t) ModemTask_Tick10ms();
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, 8) << "9.9 s";
    for (int t = 0; t < 10; ++t) ModemTask_Tick10ms();
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, 6);
  });
}

// The own request goes out while call waiting is armed; unanswered for
// 15 s it reports 0 and sends the clear-down request 0xA1 {8, 0}.
TEST(ModemOnHold, OwnRequestUnanswered) {
  DspLinkRig rig;
  rig.Run([&](FakeDataPump& pump) {
    PutTask(pump, kTaskConnected, kCodeConnected);
    ModemTask_MohRequest();
    ModemTask_MohStep();
    EXPECT_EQ(Hold().state, kMohIdle) << "call waiting not armed";
    MachineState<CallWaitingState>().state = kCallWaitingArmed;
    ModemTask_MohStep();
    ModemTask_MohStep();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0xA0, {0xCC, 0}}}));
    ModemTask_MohRequest();
    EXPECT_EQ(HoldCalls(), std::vector<std::string>{}) << "idle again: taken";
    for (int t = 0; t < 1500; ++t) ModemTask_Tick10ms();
    pump.ClearTraces();
    MachineState<PendingLog>().Clear();
    ModemTask_MohStep();
    EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0xA1, {8, 0}}}));
    EXPECT_EQ(HoldCalls(), std::vector<std::string>{"acu_report_pmhr(0)"});
    EXPECT_EQ(Hold().state, kMohIdle);
  });
}

// After the peer's hold the line is taken back originating; without the
// line's event in 2 s a hook flash tries again.
TEST(ModemOnHold, ResumeAfterThePeersHold) {
  for (const bool line_back : {true, false}) {
    DspLinkRig rig;
    rig.Run([&](FakeDataPump& pump) {
      PutTask(pump, kTaskConnected, kCodeConnected);
      acu_call_settings().originate = 0;
      Hold().state = 9;
      Hold().v92_status = kMohInProgress | kMohResumeEvent6;
      ModemTask_MohStep();
      EXPECT_EQ(Hold().state, 11);
      ModemTask_MohStep();
      EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x60, {1, 0}}, {0x65, {2, 1}}}));
      EXPECT_EQ(acu_call_settings().originate, 1);
      EXPECT_EQ(Hold().state, 18);
      pump.ClearTraces();
      MachineState<PendingLog>().Clear();
      if (line_back) {
        MachineState<ModemTaskState>().latest_event_type = 34;
        ModemTask_MohStep();
        EXPECT_TRUE(SentCommands(pump).empty());
        EXPECT_EQ(HoldCalls(), std::vector<std::string>{});
      } else {
        for (int t = 0; t < 200; ++t) ModemTask_Tick10ms();
        ModemTask_MohStep();
        EXPECT_EQ(SentCommands(pump), (std::vector<SentCommand>{{0x60, {1, 0}}, {0x65, {2, 1}}}));
        EXPECT_EQ(HoldCalls(),
                  (std::vector<std::string>{"acu_hook_flash", "acu_originate_start"}));
      }
      EXPECT_EQ(Hold().state, kMohIdle);
    });
  }
}

}  // namespace
}  // namespace vxctl::testing
