// The controller's side toward the application: characters into the read
// queue with the special-character filter and the input flow control,
// breaks toward the application, and the resume once the application has
// read the queue down.
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/port/uart_internal.h"

namespace vxctl {
namespace {

bool TextMode(const PortBlock& port) { return (port.dcb.flags & kDcbBinary) == 0; }

// False for a character that is not stored: a NUL with null stripping,
// the end-of-file character in text mode (noted), and with output XON/XOFF
// the controller's XOFF and XON (output held and released).
bool uart_rx_filter(std::uint8_t c) {
  PortBlock& port = port_block();
  const SerialDcb& dcb = port.dcb;
  if (c == 0 && (dcb.flags & kDcbNullStrip) != 0) return false;
  if (c == dcb.eof_char && TextMode(port)) {
    port.port_flags.fetch_or(kPortEofSeen);
    return false;
  }
  if ((dcb.flags & kDcbOutX) != 0) {
    if (c == dcb.xoff_char) {
      port.flow.fetch_or(kFlowHeldByXoff);
      return false;
    }
    if (c == dcb.xon_char) {
      port.flow.fetch_and(~kFlowHeldByXoff);
      return false;
    }
  }
  return true;
}

// With the read queue at the flow threshold, stops the controller once: by
// the handshake lines, and with input XON/XOFF by an XOFF (kept to send
// when the controller refuses it).
void uart_rx_flow_check(std::uint32_t count) {
  PortBlock& port = port_block();
  if (count < port.flow_threshold.load()) return;
  if ((port.flow.load() & (kFlowStoppedByLines | kFlowXoffSent)) != 0) return;
  const std::uint8_t input = port.input_handshake.load();
  if ((input & kInputDtr) != 0) {
    uart_dtr_off();
    port.flow.fetch_or(kFlowStoppedByLines);
  }
  if ((input & kInputRts) != 0) {
    uart_rts_off();
    port.flow.fetch_or(kFlowStoppedByLines);
  }
  if ((port.dcb.flags & kDcbInX) != 0) {
    if (uart_deliver_char(port.dcb.xoff_char) == 0) {
      port.flow.fetch_or(kFlowXoffSent);
      port.flow.fetch_and(~kFlowXoffToSend);
    } else {
      port.flow.fetch_or(kFlowXoffToSend);
    }
  }
}

void ReadNotifyCheck(std::uint32_t count) {
  PortBlock& port = port_block();
  const QueueNotification& read = port.notifications.read;
  if (count < read.threshold.load()) {
    port.notification_flags.fetch_and(~kNotifiedRead);
  } else if (read.armed.load() != 0 &&
             (port.notification_flags.load() & kNotifiedRead) == 0) {
    port_notify(kNotifyRead);
  }
}

// A full read queue refuses c; an XON or XOFF in it is still obeyed.
std::uint32_t Overrun(std::uint8_t c) {
  port_block().error_word.fetch_or(kCommErrorOverrun);
  uart_rx_filter(c);
  port_record_event(kEventError);
  port_notify_event();
  return 1;
}

}  // namespace

std::uint32_t uart_rx_char(std::uint8_t c) {
  PortState& state = port_state();
  PortBlock& port = state.block;
  if (uart_rx_free() == 0) return Overrun(c);

  port.counters[kCounterReceived].fetch_add(1);
  const std::uint32_t now = port_ms_clock();
  port.last_receive_time.store(now);
  if (port.receive_time != nullptr) port.receive_time->store(now);

  if ((port.state_flags.load() & kStateClosing) != 0) {
    port_notify_event();
    return 0;
  }
  port_record_event(kEventRxChar);
  if ((port.port_flags.load() & kPortEofSeen) != 0 && TextMode(port)) {
    port.error_word.fetch_or(kCommErrorOverrun);
    port_notify_event();
    return 0;
  }
  if (!uart_rx_filter(c)) {
    port_notify_event();
    return 0;
  }
  if (c == port.dcb.event_char1) port_record_event(kEventRxFlag);

  std::uint32_t count = 0;
  if (!uart_rx_store(c, count)) {
    // Filled by another thread since the check above.
    port.counters[kCounterReceived].fetch_sub(1);
    return Overrun(c);
  }
  if (count == state.receive_mark.load()) port_record_event(kEventRxMark);
  uart_rx_flow_check(count);
  ReadNotifyCheck(count);
  port_notify_event();
  return 0;
}

void port_rx_resume() {
  PortBlock& port = port_block();
  port.flow.fetch_and(~kFlowXoffToSend);
  if ((port.flow.load() & (kFlowXoffSent | kFlowXonToSend)) != 0) {
    port.flow.fetch_and(~kFlowXoffSent);
    if (uart_deliver_char(port.dcb.xon_char) == 0) {
      port.flow.fetch_and(~kFlowXonToSend);
    } else {
      port.flow.fetch_or(kFlowXonToSend);
    }
  }
  const std::uint8_t input = port.input_handshake.load();
  if ((input & kInputRts) != 0 && port.lines.rts.load() == 0) uart_rts_on();
  if ((input & kInputDtr) != 0 && port.lines.dtr.load() == 0) uart_dtr_on();
  port.flow.fetch_and(~kFlowStoppedByLines);
  qor_rx_int();
}

void uart_break_out_on() {
  PortState& state = port_state();
  state.block.lines.break_out.store(1);
  if ((state.flow_replace.load() & kFlowReplaceBreakChar) != 0 && uart_rx_free() != 0) {
    uart_rx_char(state.break_char.load());
  }
}

void uart_break_out_off() {
  PortBlock& port = port_block();
  port.lines.break_out.store(0);
  if (uart_rx_free() != 0) uart_rx_char(0);
  port.error_word.fetch_or(kCommErrorBreak);
  port_record_event(kEventBreak | kEventError);
  port_notify_event();
}

}  // namespace vxctl
