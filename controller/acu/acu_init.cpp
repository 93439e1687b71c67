// acu_init: the controller's start-up, run by the core's task thread
// whenever the start-up mark is clear; with it the reset of the command
// state and the fax tables' reset.
#include "controller/acu/acu_init.h"

#include "controller/acu/acu_command_tables.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_link_fax_voice.h"
#include "controller/acu/acu_output.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/at_parser_machine.h"
#include "controller/line/services/line_posting.h"
#include "controller/pending/acu_pending.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/registry/startup_loads.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

// Modem-task status bits the reset clears, and those the start-up sets.
constexpr std::uint32_t kResetStatusBits =
    0x100 | 0x40 | 0x200 | 0x400000 | 0x400 | 0x800 | 0x4 | 0x20 | 0x2 | 0x8 | 0x1 | 0x80;
constexpr std::uint32_t kStatusCommandMode = 0x1;
constexpr std::uint32_t kStatusDtrOn = 0x2;
constexpr std::uint32_t kStatusLineBits = 0x80000 | 0x10;

constexpr std::uint16_t kTestDurationTicks = 12000;
constexpr std::uint16_t kRemoteTestWaitTicks = 300;
constexpr std::uint16_t kV42bisDictionary = 2048;
constexpr std::uint8_t kV42bisString = 32;
constexpr std::uint8_t kDspPacketReset = 0xA4;

}  // namespace

void acu_v92_table() { at_table_op(AtStackOp::Push, v92_table); }

void acu_fax_tables_reset(std::uint8_t how) {
  AcuControllerState& acu = acu_controller();
  if (how != 2) acu_fclass().store(0);
  if (how != 1) {
    dte_cmd_to_flush();
    acu.dte_rate_hold = 0;
    acu.fax_call = 0;
  }
  const std::uint8_t verbose = (acu_settings().s[kSOptions] & kS14Verbose) != 0 ? 1 : 0;
  fax_set_class(acu_fclass().load(), verbose, 1);
  fax_reset(how);
  mbox_poll_enable();
  for (const at_command_entry* table :
       {fax_common_table, fax_class1_table, fax_class2_table, fax_class20_table}) {
    at_table_op(AtStackOp::Push, table);
  }
}

void acu_reset_state() {
  AcuControllerState& acu = acu_controller();
  AcuSettings& settings = acu_settings();
  // 1. The state, the variants, the call flags and the countdowns.
  acu.state.store(AcuIdle);
  acu.variants = {};
  acu.retrain_watch = 0;
  acu.test_type = 0;
  acu.local_test = 0;
  acu.connection_held = 0;
  acu.dte_rate_hold = 0;
  acu.fax_call = 0;
  acu.voice_state = 0;
  acu.countdowns = {};
  acu.dtr_off_delay = 0;
  acu.on_hook = 1;
  acu.report_ok = 0;
  acu_error_flag() = 0;
  acu.selected_register = 0;
  // 2. Every fax class allowed ("Feature1" is the registry's; its load
  // clears class 2.0 when the value is 0).
  acu.allowed_fax_classes = 15;
  // 3. Statistics identification, the status bits and the DTE's lines.
  stats_init_ident();
  ModemTask_SetStatusBit(0, kResetStatusBits);
  ModemTask_SetDcd(0);
  ModemTask_SetDsr(0);
  ModemTask_SetCts(0);
  ModemTask_SetRi(0);
  ModemTask_SetStatusBit(0, kStatusLineBits);
  // 4. The command line and the parser's stack.
  acu.line = {};
  acu.line_length = 0;
  at_parser_reset();
  for (const at_command_entry* table :
       {acu_basic_table1, acu_basic_table2, v80_table, acu_voice_common_table}) {
    at_table_op(AtStackOp::Push, table);
  }
  acu_v92_table();
  acu_v250_defaults();
  at_table_op(AtStackOp::Push, v250_table);
  // 5. Ticks: nothing pending; the line delay and the test durations.
  acu.consumed_10ms = acu.tick_counts.ticks_10ms.load();
  acu.consumed_100ms = acu.tick_counts.ticks_100ms.load();
  acu.consumed_1s = acu.tick_counts.ticks_1s.load();
  acu.consumed_1min = acu.tick_counts.ticks_1min.load();
  acu.line_delay_load = kAcuLineDelayTicks;
  acu.test_duration = kTestDurationTicks;
  acu.remote_test_wait = kRemoteTestWaitTicks;
  // 6. DTR takes the input's level at once.
  acu.dtr_raw = ModemTask_GetDtr() != 0 ? 1 : 0;
  acu.dtr = acu.dtr_raw;
  acu.dtr_posted = acu.dtr;
  acu.dtr_debounce = 0;
  ModemTask_SetStatusBit(acu.dtr, kStatusDtrOn);
  // 7. The line-end registers.
  settings.s[1] = 0;
  settings.s[kSLineEnd] = 13;
  settings.s[kSLineFeed] = 10;
  settings.s[5] = 8;
  // 8. Call progress and speaker off, the compression defaults.
  ModemTask_SetCallProgress(0);
  ModemTask_SetSpeaker(0);
  v44_default_capabilities();
  v44_reset_parameters();
  acu.v42bis_dictionary = kV42bisDictionary;
  acu.v42bis_string = kV42bisString;
  // 9. The data pump's reset packet.
  dsp_send_packet(DspCommand::Ack(kDspPacketReset, {0, 0}));
  // 10. Ring reporting off, the online-command detector, the V.92 defaults.
  RING_set_report(0, 0);
  acu_online_cmd_reset();
  acu_v92_defaults();
}

void acu_init() {
  AcuControllerState& acu = acu_controller();
  acu.task_thread.store(KeGetCurrentThread());
  // 1. The saved settings, the country record and selection.
  reg_load_startup();
  // 2. Error control stopped, the line services started, the modem task reset.
  ec_stop();
  LS_init();
  std::uint8_t link_level = 0;
  ModemTask_Reset(link_level);
  // 3. The command state, the events, the DTE side, V.80 and the fax tables.
  acu_reset_state();
  acu.events.Reset();
  acu.voice_state = 0;
  dte_reset_command_mode();
  v80_reset();
  acu_fax_tables_reset(0);
  dte_enter_command_mode();
  ModemTask_SetStatusBit(1, kStatusCommandMode);
  // 4. The power-up profile.
  profile_startup();
  // 5. A leased line (S27 bit 2) is not offered: the bit is taken as clear
  // and no start-up call is posted, so the mark below is always set.
  // 6. The DTR status bit, the start-up mark.
  const std::uint8_t s27 = acu_settings().s[kSModes];
  const std::uint8_t dtr_option = acu_settings().s[kSDteOptions] >> 3 & 3;
  if ((s27 & kS27SyncMask) == 0 && dtr_option == 0) ModemTask_SetStatusBit(1, kStatusDtrOn);
  acu.v8_indications = 0;
  ++acu.inits;
  acu.running.store(1);
}

}  // namespace vxctl
