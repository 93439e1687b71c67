// The state machine's constant tables: every row, cell and poll routine.
#include "controller/acu/acu_state_tables.h"

#include <initializer_list>

#include "controller/pending/acu_pending.h"

namespace vxctl {
namespace {

// A cell as the table lists it: the event, the action and the next state,
// which by default is the row's own state.
inline constexpr std::uint8_t kSameState = 0xFF;
// Code 17 is never posted; its cells are kept as the table has them.
inline constexpr std::uint8_t kEvent17 = 17;
struct CellEntry {
  std::uint8_t event;
  AcuAction action;
  std::uint8_t next = kSameState;
};

// A row of `state`: every cell not listed keeps the state and does nothing.
constexpr acu_state_row Row(std::uint8_t state, std::initializer_list<CellEntry> cells) {
  acu_state_row row{};
  for (AcuCell& cell : row.cells) cell = {state, acu_nothing};
  for (const CellEntry& listed : cells) {
    row.cells[listed.event] = {listed.next == kSameState ? state : listed.next, listed.action};
  }
  return row;
}

constexpr acu_state_row kIdleVariant0 = Row(AcuIdle,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvDial, acu_dial_action, AcuOriginate},
         {EvAnswer, acu_answer_action, AcuAnswer},
         {EvPhaseEnd, acu_idle_end},
         {EvDtrReset, acu_hangup_now},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvCommand, acu_command_enter, AcuCommand},
         {EvDteSignal, acu_idle_dte_signal},
         {EvLineUnavailable, acu_line_unavailable},
         {EvLineInUse, acu_line_in_use},
         {EvDigitalLine, acu_digital_line}});
constexpr acu_state_row kIdleVariant1 = Row(AcuIdle,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvDataPhase, acu_nothing, AcuOnline},
         {EvDtrReset, acu_hangup_now},
         {EvLinkStatus, acu_link_status},
         {EvCarrierLost, acu_carrier_lost},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvRetrain, acu_retrain_start},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvCommand, acu_command_enter, AcuCommand},
         {EvDteSignal, acu_held_dte_signal},
         {EvDigitalLine, acu_digital_line}});
constexpr acu_state_row kIdleVariant3 = Row(AcuIdle,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvDtrReset, acu_hangup_now},
         {EvEndCall, acu_fax_hangup, AcuHangup},
         {EvLoopback, acu_nothing, AcuTest},
         {EvCommand, acu_command_enter, AcuCommand},
         {EvDteSignal, acu_fax_idle_dtr}});
constexpr acu_state_row kIdleVariant4 = Row(AcuIdle,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvDataPhase, acu_nothing, AcuOnline},
         {EvDtrReset, acu_hangup_now},
         {EvCarrierLost, acu_test_carrier_lost},
         {EvEndCall, acu_test_end, AcuTest},
         {EvRetrain, acu_test_retrain},
         {EvCommand, acu_command_enter, AcuCommand},
         {EvDteSignal, acu_test_idle_dte_signal},
         {EvDigitalLine, acu_digital_line}});
constexpr acu_state_row kIdleVariant6 = Row(AcuIdle,
        {{EvReport, acu_voice_report},
         {EvDteChar, acu_idle_char},
         {EvDial, acu_voice_dial, AcuOriginate},
         {EvAnswer, acu_voice_answer},
         {EvDtrReset, acu_hangup_now},
         {EvEndCall, acu_voice_call_end},
         {EvCommand, acu_command_enter, AcuCommand},
         {EvDteSignal, acu_voice_idle_dtr},
         {EvLineUnavailable, acu_line_unavailable},
         {EvLineInUse, acu_line_in_use},
         {EvLineCheck, acu_nothing, AcuCommand},
         {EvDigitalLine, acu_digital_line}});
constexpr acu_state_row kCommandVariant0 = Row(AcuCommand,
        {{EvReport, acu_command_report},
         {EvDial, acu_dial_action, AcuOriginate},
         {EvAnswer, acu_answer_action, AcuAnswer},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_command_end, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvCommand, acu_command_switch},
         {EvDteSignal, acu_idle_dte_signal},
         {kEvent17, acu_nothing, AcuIdle},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kCommandVariant1 = Row(AcuCommand,
        {{EvReport, acu_report},
         {EvDataPhase, acu_nothing, AcuOnline},
         {EvPhaseEnd, acu_command_end, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvLinkStatus, acu_link_status},
         {EvCarrierLost, acu_carrier_lost},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvRetrain, acu_retrain_start},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvDteSignal, acu_held_dte_signal}});
constexpr acu_state_row kCommandVariant3 = Row(AcuCommand,
        {{EvReport, acu_command_report},
         {EvDial, acu_fax_call_start},
         {EvAnswer, acu_fax_call_start},
         {EvDataPhase, acu_nothing, AcuOnline},
         {EvPhaseEnd, acu_command_end, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_fax_hangup, AcuHangup},
         {EvDteSignal, acu_fax_idle_dtr}});
constexpr acu_state_row kCommandVariant4 = Row(AcuCommand,
        {{EvReport, acu_report},
         {EvDataPhase, acu_nothing, AcuOnline},
         {EvPhaseEnd, acu_test_command_end, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvCarrierLost, acu_test_carrier_lost},
         {EvEndCall, acu_test_end, AcuTest},
         {EvLoopback, acu_test_remote_request, AcuTest},
         {EvDteSignal, acu_held_dte_signal}});
constexpr acu_state_row kCommandVariant6 = Row(AcuCommand,
        {{EvReport, acu_voice_report},
         {EvDial, acu_voice_dial, AcuOriginate},
         {EvAnswer, acu_voice_answer, AcuIdle},
         {EvDataPhase, acu_voice_online, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_voice_hangup, AcuIdle},
         {EvCommand, acu_voice_command_enter},
         {EvDteSignal, acu_idle_dte_signal},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kCommandVariant14 = Row(AcuCommand,
        {{EvReport, acu_command_report},
         {EvDial, acu_dial_action, AcuOriginate},
         {EvAnswer, acu_answer_action, AcuAnswer},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_call_resume, AcuOriginate},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvCommand, acu_command_switch},
         {EvDteSignal, acu_idle_dte_signal},
         {kEvent17, acu_nothing, AcuIdle},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kOriginateVariant0 = Row(AcuOriginate,
        {{EvReport, acu_report, AcuIdle},
         {EvDial, acu_dial_action},
         {EvAnswer, acu_nothing, AcuAnswer},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvLineCheck, acu_nothing, AcuCommand},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kOriginateVariant2 = Row(AcuOriginate,
        {{EvReport, acu_call_report},
         {EvDteChar, acu_call_abort},
         {EvAnswer, acu_answer_action, AcuAnswer},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvCommand, acu_call_command_line, AcuCommand},
         {EvDteSignal, acu_call_dte_signal},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kOriginateVariant6 = Row(AcuOriginate,
        {{EvReport, acu_voice_dial_report},
         {EvDteChar, acu_voice_dial_abort},
         {EvAnswer, acu_voice_answer, AcuIdle},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_voice_call_end, AcuIdle},
         {EvCommand, acu_call_command_line, AcuCommand},
         {EvDteSignal, acu_call_dte_signal},
         {EvLineUnavailable, acu_line_unavailable, AcuIdle},
         {EvLineInUse, acu_line_in_use, AcuIdle},
         {EvDigitalLine, acu_digital_line, AcuIdle}});
constexpr acu_state_row kOriginateVariant14 = Row(AcuOriginate,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvAnswer, acu_answer_action, AcuAnswer},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvCommand, acu_call_command_enter, AcuCommand},
         {EvDteSignal, acu_call_dte_signal}});
constexpr acu_state_row kAnswerVariant2 = Row(AcuAnswer,
        {{EvReport, acu_call_report},
         {EvDteChar, acu_call_abort},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvDteSignal, acu_call_dte_signal}});
constexpr acu_state_row kAnswerVariant14 = Row(AcuAnswer,
        {{EvReport, acu_report},
         {EvDteChar, acu_idle_char},
         {EvDataPhase, acu_online_enter, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvCommand, acu_call_command_enter, AcuCommand},
         {EvDteSignal, acu_call_dte_signal}});
constexpr acu_state_row kOnlineVariant1 = Row(AcuOnline,
        {{EvReport, acu_online_report},
         {EvDteChar, acu_online_char},
         {EvPhaseEnd, acu_escape_to_command, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvLinkStatus, acu_link_status},
         {EvCarrierLost, acu_carrier_lost},
         {EvEndCall, acu_hangup_start, AcuHangup},
         {EvRetrain, acu_retrain_start},
         {EvLoopback, acu_loopback_start, AcuTest},
         {EvDteSignal, acu_online_dte_signal},
         {EvDtrCommand, acu_online_dtr_command}});
constexpr acu_state_row kOnlineVariant2 = kOnlineVariant1;
constexpr acu_state_row kOnlineVariant3 = Row(AcuOnline,
        {{EvPhaseEnd, acu_fax_data_end, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_fax_hangup, AcuHangup},
         {EvDteSignal, acu_fax_online_dtr}});
constexpr acu_state_row kOnlineVariant6 = Row(AcuOnline,
        {{EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvEndCall, acu_voice_hangup, AcuIdle},
         {EvDteSignal, acu_voice_online_dtr}});
constexpr acu_state_row kOnlineVariant14 = kOnlineVariant1;
constexpr acu_state_row kHangupVariant0 = Row(AcuHangup,
        {{EvPhaseEnd, acu_hangup_done, AcuIdle},
         {EvDtrReset, acu_hangup_now, AcuIdle},
         {EvLinkStatus, acu_link_status},
         {EvCommand, acu_nothing, AcuCommand}});
constexpr acu_state_row kHangupVariant2 = kHangupVariant0;
constexpr acu_state_row kTestVariant10 = Row(AcuTest,
        {{EvReport, acu_online_report},
         {EvDteChar, acu_test_char},
         {EvPhaseEnd, acu_test_leave, AcuIdle},
         {EvDtrReset, acu_hangup_now},
         {EvCarrierLost, acu_test_carrier_lost},
         {EvEndCall, acu_test_end},
         {EvCommand, acu_test_restore, AcuCommand},
         {EvDteSignal, acu_test_dte_signal},
         {EvDtrCommand, acu_test_to_command, AcuIdle},
         {kEvent17, acu_nothing, AcuIdle}});
constexpr acu_state_row kTestVariant12 = Row(AcuTest,
        {{EvDataPhase, acu_nothing, AcuOnline},
         {EvPhaseEnd, acu_nothing, AcuIdle},
         {EvDtrReset, acu_hangup_now},
         {EvCarrierLost, acu_carrier_lost},
         {EvEndCall, acu_loopback_end, AcuHangup},
         {EvCommand, acu_nothing, AcuCommand},
         {EvDteSignal, acu_test_dte_signal},
         {EvLineUnavailable, acu_nothing, AcuIdle},
         {EvLineInUse, acu_nothing, AcuIdle},
         {EvLineCheck, acu_nothing, AcuOriginate},
         {EvDigitalLine, acu_digital_line, AcuIdle}});

struct Entry {
  std::uint8_t variant;
  std::uint8_t state;
  const acu_state_row* row;
  AcuAction poll;
};

constexpr Entry kEntries[] = {
    {0, AcuIdle, &kIdleVariant0, acu_idle_poll},
    {1, AcuIdle, &kIdleVariant1, acu_online_poll},
    {3, AcuIdle, &kIdleVariant3, nullptr},
    {4, AcuIdle, &kIdleVariant4, acu_test_idle_poll},
    {6, AcuIdle, &kIdleVariant6, nullptr},
    {0, AcuCommand, &kCommandVariant0, acu_command_poll},
    {1, AcuCommand, &kCommandVariant1, acu_command_poll},
    {3, AcuCommand, &kCommandVariant3, acu_command_poll},
    {4, AcuCommand, &kCommandVariant4, acu_command_poll},
    {6, AcuCommand, &kCommandVariant6, acu_command_poll},
    {14, AcuCommand, &kCommandVariant14, acu_command_poll},
    {0, AcuOriginate, &kOriginateVariant0, acu_dial_delay_poll},
    {2, AcuOriginate, &kOriginateVariant2, acu_dial_poll},
    {6, AcuOriginate, &kOriginateVariant6, acu_voice_dial_poll},
    {14, AcuOriginate, &kOriginateVariant14, acu_dial_poll},
    {2, AcuAnswer, &kAnswerVariant2, acu_answer_poll},
    {5, AcuAnswer, nullptr, acu_answer_poll},
    {14, AcuAnswer, &kAnswerVariant14, acu_answer_poll},
    {1, AcuOnline, &kOnlineVariant1, nullptr},
    {2, AcuOnline, &kOnlineVariant2, acu_online_poll},
    {3, AcuOnline, &kOnlineVariant3, nullptr},
    {6, AcuOnline, &kOnlineVariant6, nullptr},
    {14, AcuOnline, &kOnlineVariant14, acu_online_poll},
    {0, AcuHangup, &kHangupVariant0, nullptr},
    {2, AcuHangup, &kHangupVariant2, acu_hangup_poll},
    {10, AcuTest, &kTestVariant10, acu_test_poll},
    {11, AcuTest, &kTestVariant10, nullptr},
    {12, AcuTest, &kTestVariant12, acu_loopback_poll},
    {13, AcuTest, &kTestVariant12, nullptr},
};

constexpr AcuStateTables MakeTables() {
  AcuStateTables tables{};
  for (const Entry& entry : kEntries) {
    tables.rows[AcuTableIndex(entry.variant, entry.state)] = entry.row;
    tables.polls[AcuTableIndex(entry.variant, entry.state)] = entry.poll;
  }
  return tables;
}

}  // namespace

constexpr AcuStateTables kAcuStateTables = MakeTables();

}  // namespace vxctl
