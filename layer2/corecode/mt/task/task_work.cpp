// What the task thread runs: the task tick with the port's poll, the
// tuning of the poll period and burst, and the open and close work.
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/services/line_services.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "pump/core/comram.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kTunedPeriodMs = 10;
constexpr std::uint32_t kVoicePeriodMs = 15;

// Classes of "+FCLASS=".
constexpr std::uint8_t kClassData = 0;
constexpr std::uint8_t kClassFax1 = 1;
constexpr std::uint8_t kClassFax2 = 2;
constexpr std::uint8_t kClassVoice = 8;
constexpr std::uint8_t kClassFax20 = 20;
constexpr std::uint8_t kClassVoice80 = 80;

// Burst modes the tuning sets.
constexpr std::uint8_t kBurstOnline = 3;
constexpr std::uint8_t kBurstFaxStep = 10;

// Controller states the tuning tells apart.
constexpr std::uint8_t kStateCommand = 1;
constexpr std::uint8_t kStateOnline = 4;

void Tune(std::uint32_t period_ms, std::uint8_t mode) {
  task_poll_period_set(period_ms);
  task_burst_set(mode);
}

void task_tune_by_state() {
  TaskThreadState& task = task_thread_state();
  const std::uint8_t state = acu_state().load();
  if (state == task.last_state) return;
  task.last_state = state;
  switch (state) {
    case kStateCommand:
      Tune(kTunedPeriodMs, kBurstFull);
      break;
    case kStateOnline:
      Tune(kTunedPeriodMs, kBurstOnline);
      break;
    default:
      Tune(kTunedPeriodMs, kBurstOnePass);
  }
}

// Class 1 fax states 0..12: 0 idle, then per modulation step a start
// (1, 4, 7, 10), a run (2, 5, 8, 11) and an end (3, 6, 9, 12).
void task_tune_fax1() {
  TaskThreadState& task = task_thread_state();
  const std::uint8_t state = fax1_state().load();
  if (state == task.last_fax1_state) return;
  task.last_fax1_state = state;
  if (state > 12) return;
  std::uint8_t mode = kBurstOnePass;
  if (state == 0) {
    mode = kBurstFull;
  } else if (state % 3 == 1) {
    mode = kBurstFaxStep;
  }
  Tune(kTunedPeriodMs, mode);
}

}  // namespace

void task_tune_by_class() {
  switch (acu_fclass().load()) {
    case kClassData:
    case kClassFax2:
    case kClassFax20:
      task_tune_by_state();
      break;
    case kClassFax1:
      task_tune_fax1();
      break;
    case kClassVoice:
    case kClassVoice80:
      Tune(kVoicePeriodMs, kBurstOnePass);
      break;
    default:
      break;
  }
}

void port_push_output() {
  if (dte_command_flag().load() != 0) {
    dte_cmd_to_push();
  } else {
    dte_to_push();
  }
}

void port_poll() {
  if (acu_running().load() != 0) {
    qor_rx_int();
    port_write_notify_check();
  }
  task_run_burst();
  port_push_output();
}

void task_tick() {
  TaskTimerState& t = task_timer_state();
  if (t.started.load() == 0) return;
  if (port_block().polling.load() != 0) port_poll();
  t.task_ticks.fetch_add(1);
  if (const std::uint32_t reload = t.reload.load(); reload != 0) t.countdown.store(reload);
}

void task_open_work() {
  task_timer_start();
  ntdrv_critical_enter();
  dsp_link_restart();
  dsp_reg_read(pump::kRegDpInterrupt);
  ntdrv_critical_leave();
  uart_reset();
  acu_deferred_reset().store(0);
  task_burst_set(kBurstFull);
  task_run_burst();
  port_block().controller_started.store(1);
  if (reg_settings().features.black_list_preserved.load() != 0) BLK_restore_request();
}

void task_close_work() {
  if (reg_settings().features.black_list_preserved.load() != 0) BLK_save_request();
  PortBlock& port = port_block();
  port.polling.store(0);
  acu_running().store(0);
  port.controller_started.store(0);
  daa_set_hook_relay(0);
}

}  // namespace vxctl
