// The port functions other than the settings: the immediate character,
// queue status and errors, the modem-status register and lines, the
// properties record, the escape functions, the event mask and the
// notification callbacks, and the table that holds them.
#include "layer2/corecode/mt/port/port_functions.h"

#include "layer2/corecode/mt/port/port_result.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/port/uart_internal.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

using plat::ke::SpinLockHeld;

QueueStatus CurrentQueueStatus(const PortBlock& port) {
  const std::uint8_t flow = port.flow.load();
  const std::uint8_t output = port.output_handshake.load();
  const std::uint8_t flags = port.port_flags.load();
  std::uint32_t status = 0;
  if ((flow & kFlowHeldByLines) != 0) {
    if ((output & kOutputCts) != 0 && port.lines.cts.load() == 0) status |= kQueueHeldForCts;
    if ((output & kOutputDsr) != 0 && port.lines.dsr.load() == 0) status |= kQueueHeldForDsr;
  }
  if ((flow & kFlowHeldByXoff) != 0) status |= kQueueHeldByXoff;
  if ((flow & kFlowXoffSent) != 0) status |= kQueueXoffSent;
  if ((flags & kPortEofSeen) != 0) status |= kQueueEofSeen;
  if ((flags & kPortImmediateChar) != 0) status |= kQueueImmediateWaits;
  return QueueStatus{status, uart_rx_count(), uart_tx_count()};
}

// Stores a queue's callback under its notification lock, with the
// threshold lowered to the queue's size (or off without a callback), and
// arms it unless off; the threshold kept.
std::uint32_t StoreCallback(QueueNotification& notification, KSPIN_LOCK& lock, std::uint32_t size,
                            std::uint32_t threshold, PortCallback callback, void* reference) {
  if (threshold != kNoThreshold && size != 0 && threshold > size) threshold = size;
  if (callback == nullptr) threshold = kNoThreshold;
  SpinLockHeld held(lock);
  notification.callback = callback;
  notification.reference = reference;
  notification.threshold.store(threshold);
  notification.armed.store(threshold != kNoThreshold ? 1 : 0);
  return threshold;
}

}  // namespace

bool port_transmit_char(PortBlock* port, std::uint8_t c) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  if ((port->port_flags.load() & kPortImmediateChar) != 0) {
    return PortFail(port, kPortImmediateWaits);
  }
  if (uart_deliver_char(c) != 0) {
    port->immediate_char.store(c);
    port->port_flags.fetch_or(kPortImmediateChar);
  }
  return PortSucceed(port);
}

bool port_get_queue_status(PortBlock* port, QueueStatus* status) {
  if (port == nullptr || status == nullptr) return PortFail(port, kPortMissing);
  *status = CurrentQueueStatus(*port);
  return PortSucceed(port);
}

bool port_clear_error(PortBlock* port, QueueStatus* status, std::uint32_t* errors) {
  if (port == nullptr || errors == nullptr) return PortFail(port, kPortMissing);
  if (status != nullptr) *status = CurrentQueueStatus(*port);
  *errors = port->error_word.exchange(0);
  return PortSucceed(port);
}

bool port_set_modem_status_shadow(PortBlock* port, std::atomic<std::uint8_t>* msr) {
  if (port == nullptr || msr == nullptr) return PortFail(port, kPortMissing);
  port->msr.store(msr);
  port_msr_refresh();
  return PortSucceed(port);
}

bool port_get_properties(PortBlock* port, CommProperties* properties) {
  if (port == nullptr || properties == nullptr) return PortFail(port, kPortMissing);
  *properties = CommProperties{
      .length = sizeof(CommProperties),
      .version = 2,
      .service_mask = 1,
      .reserved = 0,
      .max_tx_queue = 0,
      .max_rx_queue = 0,
      .max_baud = 0x10000000,
      .provider_subtype = 1,
      .capabilities = 0xFF,
      .settable_params = 0x7F,
      .settable_baud = 0x1001FFFF,
      .settable_data = 0x000F,
      .settable_stop_parity = 0x1F07,
      .current_tx_queue = port->write_queue.size,
      .current_rx_queue = port->read_queue.size,
      .provider_spec1 = 10,
      .provider_spec2 = 11997,
      .provider_char = 0,
  };
  return PortSucceed(port);
}

bool port_escape(PortBlock* port, std::uint32_t function, std::uint32_t, std::uint32_t*) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  switch (function) {
    case kEscapeSetXoff:
      port->flow.fetch_or(kFlowHeldByXoff);
      break;
    case kEscapeSetXon:
      port->flow.fetch_and(~kFlowHeldByXoff);
      break;
    case kEscapeSetRts:
      uart_rts_on();
      break;
    case kEscapeClrRts:
      uart_rts_off();
      break;
    case kEscapeSetDtr:
      uart_dtr_on();
      break;
    case kEscapeClrDtr:
      uart_dtr_off();
      break;
    case kEscapeBreakOn:
      port->flow.fetch_or(kFlowBreakIn);
      uart_break_in_on();
      break;
    case kEscapeBreakOff:
      // The break's hold ends with it, so the write queue drains again.
      port->flow.fetch_and(~kFlowBreakIn);
      uart_break_in_off();
      break;
    default:
      // Every other function is unsupported; the probe still answers true.
      PortFail(port, kPortUnsupported);
      return function == kEscapeProbe;
  }
  return PortSucceed(port);
}

bool port_set_event_mask(PortBlock* port, std::uint32_t mask,
                         std::atomic<std::uint32_t>* event_word) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  {
    SpinLockHeld held(port_state().event_notification_lock);
    port->event_mask.store(mask);
    if (event_word != nullptr) port->event_word.store(event_word);
  }
  return PortSucceed(port);
}

bool port_get_event_mask(PortBlock* port, std::uint32_t clear, std::uint32_t* events) {
  if (port == nullptr || events == nullptr) return PortFail(port, kPortMissing);
  {
    SpinLockHeld held(port_state().event_notification_lock);
    std::atomic<std::uint32_t>* word = port->event_word.load();
    *events = word == nullptr ? 0 : word->fetch_and(~clear);
  }
  return PortSucceed(port);
}

bool port_enable_notification(PortBlock* port, PortCallback callback, void* reference) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  bool events_present = false;
  {
    SpinLockHeld held(port_state().event_notification_lock);
    port->notification_flags.fetch_and(~kEventNotificationOn);
    port->notifications.event_callback = callback;
    port->notifications.event_reference = reference;
    if (callback != nullptr) {
      port->notification_flags.fetch_or(kEventNotificationOn);
      events_present = port_current_events(*port) != 0;
    }
  }
  if (events_present) port_notify_event();
  return PortSucceed(port);
}

bool port_set_read_callback(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                            void* reference) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  threshold = StoreCallback(port->notifications.read, port_state().read_notification_lock,
                            port->read_queue.size, threshold, callback, reference);
  const std::uint32_t count = uart_rx_count();
  if (count == 0) port->last_receive_time.store(0);
  if (threshold != kNoThreshold && count > threshold) {
    port->notification_flags.fetch_and(~kNotifiedRead);
  }
  return PortSucceed(port);
}

bool port_set_write_callback(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                             void* reference) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  threshold = StoreCallback(port->notifications.write, port_state().write_notification_lock,
                            port->write_queue.size, threshold, callback, reference);
  if (threshold != kNoThreshold && uart_tx_count() < threshold) {
    port->notification_flags.fetch_or(kNotifiedWrite);
  }
  return PortSucceed(port);
}

bool port_get_modem_status(PortBlock* port, std::uint32_t* status) {
  if (port == nullptr || status == nullptr) return PortFail(port, kPortMissing);
  const UartLineState& lines = port->lines;
  *status = (lines.cts.load() != 0 ? SERIAL_CTS_STATE : 0) |
            (lines.dsr.load() != 0 ? SERIAL_DSR_STATE : 0) |
            (lines.ri.load() != 0 ? SERIAL_RI_STATE : 0) |
            (lines.dcd.load() != 0 ? SERIAL_DCD_STATE : 0);
  return PortSucceed(port);
}

bool port_get_error(PortBlock* port, std::int32_t* error) {
  if (port == nullptr || error == nullptr) return false;
  *error = port->last_error.load();
  return true;
}

void port_fill_table(PortFunctionTable& table) {
  table.set_comm_state = port_set_comm_state;
  table.get_comm_state = port_get_comm_state;
  table.transmit_char = port_transmit_char;
  table.get_queue_status = port_get_queue_status;
  table.clear_error = port_clear_error;
  table.set_modem_status_shadow = port_set_modem_status_shadow;
  table.get_properties = port_get_properties;
  table.escape = port_escape;
  table.set_event_mask = port_set_event_mask;
  table.get_event_mask = port_get_event_mask;
  table.enable_notification = port_enable_notification;
  table.set_read_callback = port_set_read_callback;
  table.set_write_callback = port_set_write_callback;
  table.get_modem_status = port_get_modem_status;
  table.get_comm_config = port_get_comm_config;
  table.set_comm_config = port_set_comm_config;
  table.get_error = port_get_error;
}

}  // namespace vxctl
