// The port layer's start and stop, and the port's open and close.
#include <cstring>

#include "layer2/corecode/dte/datamode/datamode_poll.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_state.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/port_transfers.h"
#include "layer2/corecode/mt/serial/irp_workers.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/clocks.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/task/timing_thread.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kCallEndWaitMs = 2000;
constexpr std::uint32_t kCallEndPollMs = 100;
constexpr std::uint32_t kNotificationFlagsAtOpen = 0x80;
constexpr std::uint8_t kPortFlagsKept = 0x1F;
constexpr std::size_t kIdentifierBytes = 10;
constexpr SERIAL_TIMEOUTS kDefaultTimeouts{0xFFFFFFFF, 0, 0, 0, 0};

}  // namespace

void port_reset_notifications(PortBlock& port) {
  PortState& state = port_state();
  PortNotifications& n = port.notifications;
  for (auto [notification, lock] : {std::pair{&n.read, &state.read_notification_lock},
                                    std::pair{&n.write, &state.write_notification_lock}}) {
    plat::ke::SpinLockHeld held(*lock);
    notification->armed.store(0);
    notification->threshold.store(kNoThreshold);
    notification->reference = nullptr;
    notification->callback = port_null_callback;
  }
  plat::ke::SpinLockHeld held(state.event_notification_lock);
  n.event_reference = nullptr;
  n.event_callback = nullptr;
}

namespace {

// The port state of a fresh open; false when the port is open already.
bool port_claim(PortBlock& port, const std::uint8_t* identifier, std::uint32_t argument) {
  if (port.open_marker.load() != 0) {
    port.last_error.store(kPortAlreadyOpen);
    return false;
  }
  port_reset_notifications(port);
  for (std::atomic<std::uint8_t>* flag :
       {&port.flow, &port.input_handshake, &port.output_handshake, &port.timeout_lines,
        &port.immediate_char}) {
    flag->store(0);
  }
  port.infinite_timeout_lines.store(0xFF);
  port.port_flags.fetch_and(kPortFlagsKept);
  // The close work marks the port closing, which drops every character
  // toward the application: a new open clears it.
  port.state_flags.fetch_and(static_cast<std::uint8_t>(~kStateClosing));
  port.notification_flags.store(kNotificationFlagsAtOpen);
  port.flow_threshold.store(kNoThreshold);
  port.msr.store(&port.msr_shadow);
  port.event_word.store(&port.own_event_word);
  port.receive_time = &port.last_receive_time;
  port.event_mask.store(0);
  port.open_argument = argument;
  std::memset(port.identifier, 0, sizeof port.identifier);
  if (identifier != nullptr) std::memcpy(port.identifier, identifier, kIdentifierBytes);
  uart_purge(kPurgeBoth);
  port.error_word.store(0);
  port.own_event_word.store(0);
  port.timeouts = kDefaultTimeouts;
  port.dcb = kDefaultSerialDcb;
  return true;
}

void SetDteFlowCharacters() {
  DteFlowState& flow = dte_state().flow;
  flow.from_xon.store(kXon);
  flow.from_xoff.store(kXoff);
  flow.to_xon.store(kXon);
  flow.to_xoff.store(kXoff);
}

// The data pump powered, the data-channel poll installed, the controller
// started on the task thread, DTR and RTS on; false (everything stopped
// again) when the controller did not start.
bool port_start_controller(PortBlock& port) {
  dsp_power_control(kDspPowerOn);
  datamode_set_poll_routine(datamode_poll);
  if (port.controller_started.load() == 0) {
    task_request_open();
    dte_enter_command_mode();
  }
  uart_dtr_on();
  uart_rts_on();
  SetDteFlowCharacters();
  if (port.controller_started.load() != 0) return true;
  port.last_error.store(kPortNoController);
  datamode_set_poll_routine(nullptr);
  task_timer_stop();
  dte_enter_online_mode();
  task_request_close();
  return false;
}

void port_stop_controller() {
  uart_dtr_off();
  uart_rts_off();
  dsp_reg_read(pump::kRegDpInterrupt);
  dsp_power_control(kDspPowerOff);
  dsp_link_restart();
  datamode_set_poll_routine(nullptr);
  dte_enter_online_mode();
  task_request_close();
  task_timer_stop();
}

// A call in progress: DTR off, then up to 2 s for the modem task to idle.
void port_wait_task_idle() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  if (task.state.load() == 0) return;
  uart_dtr_off();
  const std::uint32_t start = port_ms_clock();
  while (task.state.load() != 0 && port_ms_clock() - start <= kCallEndWaitMs) {
    port_sleep_ms(kCallEndPollMs);
  }
}

void StopThreads() {
  task_thread_stop();
  qor_bg_stop();
  ntdrv_workers_stop();
}

}  // namespace

void port_init(std::uint32_t, pump::Comram* register_page, std::uint8_t level) {
  PortBlock& port = port_block();
  port_reset_notifications(port);
  std::memcpy(port.signature, "PORT", sizeof port.signature);
  port.state_flags.fetch_and(static_cast<std::uint8_t>(~(kStateReadInPool | kStateWriteInPool)));
  port_fill_table(port.functions);
  port.register_page = register_page;
  port.critical_level = level;
  port.header_length = 178;
  port.version = 1;
  port.slot_count = 25;
  port.dcb.xon_char = kXon;
  port.dcb.xoff_char = kXoff;
  port.notifications.read.threshold.store(kNoThreshold);
}

PortBlock* port_layer_start(PDEVICE_OBJECT serial_device) {
  PortBlock& port = port_block();
  port.functions = {};
  port.device = serial_device;
  auto& extension = *static_cast<SerialDeviceExtension*>(serial_device->DeviceExtension);
  extension.port_block = &port;
  if (!NT_SUCCESS(task_thread_start()) || !NT_SUCCESS(qor_bg_start()) ||
      !NT_SUCCESS(ntdrv_workers_start(serial_device))) {
    StopThreads();
    return nullptr;
  }
  port_config_start(serial_device);
  ntdrv_critical_init(serial_device, &extension);
  port_init(0, extension.register_page, DISPATCH_LEVEL);
  port.functions.setup = port_setup;
  port.functions.close = port_close;
  port.functions.read = port_read;
  port.functions.write = port_write;
  task_timer_start();
  dsp_link_restart();
  dsp_reg_read(pump::kRegDpInterrupt);
  task_timer_stop();
  return &port;
}

void port_layer_stop(PortBlock* port) {
  if (port == nullptr) return;
  // The close work needs the task thread: it runs before the thread stops.
  port_close_work(*port);
  StopThreads();
  ntdrv_critical_reset();
  VCOMM_ConfigStop();
}

PortBlock* port_open(const std::uint8_t* identifier, std::uint32_t argument,
                     std::int32_t* error) {
  PortBlock& port = port_block();
  if (error != nullptr) *error = 0;
  port.last_error.store(kPortOk);
  if (!port_claim(port, identifier, argument) || !port_start_controller(port)) {
    if (error != nullptr) *error = port.last_error.load();
    return nullptr;
  }
  port_set_comm_state(&port, &kDefaultSerialDcb, kFieldAll);
  dte_to_clear();
  dte_cmd_to_clear();
  dte_from_clear();
  dte_cmd_from_clear();
  port.reserved[0] = port.reserved[1] = 0;
  stats_reset();
  port_msr_refresh();
  port.open_marker.store(kPortOpenMarker);
  port.polling.store(1);
  port.closed.store(0);
  return &port;
}

void port_close_work(PortBlock& port) {
  if (port.closed.exchange(1) != 0) return;
  port.polling.store(0);
  port.error_word.store(0);
  port.flow.fetch_and(static_cast<std::uint8_t>(~(kFlowXoffToSend | kFlowHeldByXoff)));
  port.state_flags.fetch_or(kStateClosing);
  port_stop_controller();
  port_msr_refresh();
  port_free_pool_queues(port);
}

bool port_close(PortBlock* port) {
  if (port == nullptr) {
    port_block().last_error.store(kPortMissing);
    port = &port_block();
  } else {
    port->last_error.store(kPortOk);
  }
  port->error_word.store(0);
  if (port->open_marker.load() == 0) {
    port->last_error.store(kPortNotOpen);
    return true;
  }
  port_wait_task_idle();
  port_close_work(*port);
  port_free_pool_queues(*port);
  v44_free_history();
  port->last_error.store(kPortOk);
  port->open_marker.store(0);
  // The own shadow, not none: a line change after the close must find a
  // register.
  port->msr.store(&port->msr_shadow);
  // Likewise the own event word: the device's word must not outlive it.
  port->event_word.store(&port->own_event_word);
  return true;
}

}  // namespace vxctl
