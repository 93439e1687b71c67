// The command-line front end: the poll of the command state. It waits for
// A and T, collects the line with echo and backspace, runs one command per
// pass after the line delay, and reports the line's final result.
#include "controller/acu/acu_actions.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_response.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/at_parser_machine.h"
#include "controller/pending/acu_pending.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/lines/status_lines.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCan = 24;
constexpr std::uint8_t kResultOk = 0;
constexpr std::uint8_t kResultError = 4;
constexpr std::uint32_t kStatusFastDte = 0x20;
constexpr std::uint32_t kFastDteRate = 2400;

bool EchoOn() { return (acu_settings().s[kSOptions] & kS14Echo) != 0; }

void Echo(std::uint8_t c) {
  if (EchoOn()) dte_cmd_to_char(c);
}

// The DTE speed code of a rate: 0 for 300 and 600 bit/s, 1 for 1200 ...
// 6 for 19200, 7 for any other.
std::uint8_t SpeedCode(std::uint32_t rate) {
  switch (rate) {
    case 300:
    case 600:
      return 0;
    case 1200:
      return 1;
    case 2400:
      return 2;
    case 4800:
      return 3;
    case 7200:
      return 4;
    case 9600:
      return 5;
    case 19200:
      return 6;
    default:
      return 7;
  }
}

void RefreshDteRate(AcuControllerState& acu) {
  if (acu.dte_rate_hold == 0) acu.dte_rate = dte_get_baud_rate();
  acu.dte_speed_code = SpeedCode(acu.dte_rate);
  ModemTask_SetStatusBit(acu.dte_rate >= kFastDteRate ? 1 : 0, kStatusFastDte);
}

void StartLine(AcuControllerState& acu) {
  acu.report_ok = 1;
  acu_error_flag() = 0;
  acu.phase = BeginLine;
}

// One character while waiting for A and T.
void WaitAtStep(AcuControllerState& acu) {
  if (dte_cmd_from_count() == 0) return;
  const std::uint8_t c = dte_cmd_from_char();
  Echo(c);
  const std::uint8_t a = acu.remembered_a & 0x7F;
  switch (c & 0x7F) {
    case 'A':
    case 'a':
      acu.remembered_a = c;
      return;
    case 'T':
    case 't':
      if ((c & 0x7F) == (a == 'A' ? 'T' : a == 'a' ? 't' : 0)) {
        std::uint8_t format_a = 0;
        std::uint8_t format_b = 0;
        acu.parity = dte_get_char_format(&format_a, &format_b);
        acu.line = {};
        acu.line_length = 0;
        acu.phase = Collect;
        return;
      }
      break;
    case '/':
      if (a == 'A' || a == 'a') {
        acu.countdowns[kCountController] = 0;
        StartLine(acu);
        return;
      }
      break;
    default:
      break;
  }
  acu_post_event(EvPhaseEnd, 0);
}

void Backspace(AcuControllerState& acu) {
  if (!EchoOn()) {
    if (acu.line_length != 0) acu.line[--acu.line_length] = 0;
    return;
  }
  acu_flush_response();
  if (acu.line_length == 0) {
    // The terminal erased the T: it is sent again.
    dte_cmd_to_char((acu.remembered_a & 0x7F) == 'a' ? 't' : 'T');
  } else {
    acu.line[--acu.line_length] = 0;
    dte_cmd_to_char(' ');
    dte_cmd_to_char(acu_settings().s[5]);
  }
  dte_cmd_to_flush();
}

// A line given up (CAN, or one character too many) never ran, so A/ must
// not run it later: it is emptied.
void Abandon(AcuControllerState& acu, std::uint8_t result) {
  acu.line = {};
  acu.line_length = 0;
  acu_post_event(EvPhaseEnd, 0);
  acu_post_event(EvReport, result);
}

// The characters waiting, until the line ends or is abandoned.
void CollectStep(AcuControllerState& acu) {
  const AcuSettings& settings = acu_settings();
  while (dte_cmd_from_count() != 0) {
    const std::uint8_t raw = dte_cmd_from_char();
    Echo(raw);
    const std::uint8_t c = raw & 0x7F;
    if (c == settings.s[5] && c != settings.s[kSLineEnd]) {
      Backspace(acu);
    } else if (c == kCan) {
      Abandon(acu, kResultOk);
      return;
    } else if (c == settings.s[kSLineEnd]) {
      acu.line[acu.line_length] = 0;
      acu.countdowns[kCountController] = acu.fax_call != 0 ? 0 : acu.line_delay_load;
      acu.predial_check = 0;
      StartLine(acu);
      return;
    } else if (c >= 32 && c <= 126) {
      // The 81st character is refused before it is stored: the line and
      // its terminator stay intact.
      if (acu.line_length >= kAcuLineMax) {
        Abandon(acu, kResultError);
        return;
      }
      acu.line[acu.line_length++] = static_cast<char>(c);
    }
  }
}

void RunCommandsStep(AcuControllerState& acu) {
  if (acu.countdowns[kCountController] != 0 && acu.online_command == 0) {
    if (dte_cmd_from_count() != 0) dte_cmd_from_clear();
    return;
  }
  switch (at_parser_run_next()) {
    case 1:
      acu_error_flag() = 1;
      acu.phase = FinishLine;
      break;
    case 2:
      acu.phase = FinishLine;
      break;
    default:
      if (acu_error_flag() != 0) acu.phase = FinishLine;
      break;
  }
}

void FinishLineStep(AcuControllerState& acu) {
  if (acu_error_flag() != 0) {
    acu_post_event(EvReport, kResultError);
  } else if (acu.deferred_reset.load() != 0) {
    acu_deferred_reset_step();
  } else if (acu.report_ok != 0) {
    acu_post_event(EvReport, kResultOk);
  }
  acu_post_event(EvPhaseEnd, 0);
  acu.phase = WaitAt;
}

}  // namespace

void acu_command_poll() {
  AcuControllerState& acu = acu_controller();
  if (acu.countdowns[kCountRingTimer] == 0) acu_settings().s[1] = 0;
  switch (acu.phase) {
    case WaitAt:
      WaitAtStep(acu);
      RefreshDteRate(acu);
      break;
    case Collect:
      CollectStep(acu);
      break;
    case BeginLine:
      at_parser_begin_line(acu.line.data());
      acu.phase = RunCommands;
      break;
    case RunCommands:
      RunCommandsStep(acu);
      break;
    case FinishLine:
      FinishLineStep(acu);
      break;
    case WaitOnline:
      acu_wait_online_poll();
      break;
    case WaitDial:
      acu_wait_dial_poll();
      break;
    default:
      break;
  }
}

}  // namespace vxctl
