// Serial events and the three notifications: read and write (callbacks
// under their notification locks) and event (the event word masked, and
// the wait-on-mask worker woken).
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/port/uart_internal.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

using plat::ke::SpinLockHeld;

void RunCallback(KSPIN_LOCK& lock, std::uint32_t kind, std::uint32_t given,
                 const QueueNotification& notification) {
  PortBlock& port = port_block();
  SpinLockHeld held(lock);
  port.notification_flags.fetch_or(given);
  if (notification.callback != nullptr) {
    notification.callback(&port, notification.reference, kind, port_current_events(port));
  }
}

}  // namespace

std::uint32_t port_current_events(const PortBlock& port) {
  const std::atomic<std::uint32_t>* word = port.event_word.load();
  return word == nullptr ? 0 : word->load() & port.event_mask.load();
}

void port_null_callback(PortBlock*, void*, std::uint32_t, std::uint32_t) {}

void port_record_event(std::uint32_t bits) {
  if (std::atomic<std::uint32_t>* word = port_block().event_word.load()) word->fetch_or(bits);
}

void port_notify(std::uint32_t kind) {
  PortState& state = port_state();
  switch (kind) {
    case kNotifyRead:
      RunCallback(state.read_notification_lock, kNotifyRead, kNotifiedRead,
                  state.block.notifications.read);
      return;
    case kNotifyWrite:
      RunCallback(state.write_notification_lock, kNotifyWrite, kNotifiedWrite,
                  state.block.notifications.write);
      return;
    case kNotifyEvent:
      port_notify_event();
      return;
    default:
      return;
  }
}

void port_notify_event() {
  PortState& state = port_state();
  PortBlock& port = state.block;
  std::uint32_t events = 0;
  {
    SpinLockHeld held(state.event_notification_lock);
    std::atomic<std::uint32_t>* word = port.event_word.load();
    if ((port.notification_flags.load() & kEventNotificationOn) == 0 || word == nullptr) return;
    const std::uint32_t mask = port.event_mask.load();
    events = word->fetch_and(mask) & mask;
    if (events != 0) port.notification_flags.fetch_or(kNotifiedEvent);
  }
  if (events != 0) ntdrv_wait_wake();
}

void port_write_notify_check() {
  PortBlock& port = port_block();
  const QueueNotification& write = port.notifications.write;
  if (uart_tx_count() < write.threshold.load() && write.armed.load() != 0 &&
      (port.notification_flags.load() & kNotifiedWrite) == 0) {
    port_notify(kNotifyWrite);
  }
}

}  // namespace vxctl
