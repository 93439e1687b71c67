// What the controller core shares with the line services, which run as
// handler classes of the message kernel (kernel/msg_kernel.h): their
// context, the live country record, the handlers that LS_init registers
// and the entries the kernel's start-up and poll call. Until the line
// services are built, controller/standin defines these entries.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "controller/line/country/country_record.h"
#include "layer2/corecode/mt/kernel/msg_kernel.h"

namespace vxctl {

// Byte 7, the general flags' DAA sequence selector: non-zero selects the
// second sequence (line state 2) after a restart.
inline constexpr std::size_t kCountryDaaSelector = 7;

// The DTMF frequency table: a u16 count (17) and 17 rows of a character
// and its row and column phase increments per sample at 9600 Hz, both
// stored high byte first; the last row is all zero. 87 bytes.
inline constexpr std::size_t kDtmfFreqRows = 17;

struct DtmfFreqRow {
  std::uint8_t character = 0;
  std::array<std::uint8_t, 2> row{};     // big-endian
  std::array<std::uint8_t, 2> column{};  // big-endian
};

struct DtmfFreqTable {
  std::array<std::uint8_t, 2> count{};  // little-endian
  std::array<DtmfFreqRow, kDtmfFreqRows> rows{};
};
static_assert(sizeof(DtmfFreqTable) == 87);

// The black list's area, which a user reset (Z) keeps across LS_init.
inline constexpr std::size_t kBlackListSlots = 12;

struct BlackListSlot {
  std::uint8_t number = 0;  // 1..12
};

struct BlackListArea {
  std::array<BlackListSlot, kBlackListSlots> slots{};
  BlackListSlot* in_progress = nullptr;  // the entry of the call attempt in progress
  std::uint8_t delay_pending = 0;        // the entry's delay is still to run
  std::uint8_t delay_timer_running = 0;  // the delay timer ran when the area was kept
};

// The ring measurements the data pump's ring events fill (frequency Hz,
// duration and time stamp) for the ring cadence, four slots.
inline constexpr std::size_t kRingQueueSlots = 4;

struct RingMeasurement {
  std::uint16_t frequency = 0;
  std::uint16_t duration = 0;
  std::uint16_t stamp = 0;
};

struct RingQueue {
  std::uint32_t write_index = 0;
  std::uint32_t read_index = 0;
  std::array<RingMeasurement, kRingQueueSlots> slots{};
};

// The relay service's state: the selected DAA sequence, the pulse digits
// counted, its step timer, the off-hook flag and the off-hook-complete
// flag the controller's line-state action reads.
struct DaaRelayState {
  std::uint8_t sequence_index = 0;
  std::uint8_t pulse_count = 0;
  std::uint8_t step_timer = 0;
  std::uint8_t off_hook = 0;
  std::uint8_t off_hook_complete = 0;
};

// The line services' shared context, handed to every handler, zeroed at
// start-up (the black-list area kept on a user reset).
struct LineServicesContext {
  CountryRecord* record = nullptr;  // the live record; null: no country tables
  MsgKernel* kernel = nullptr;
  std::uint8_t line_state = 0;  // 0 before start-up, then 1, 2 or 3
  // Timer ids (0: not running): wait for carrier, dial pause, dial waits,
  // quiet time of the "@" dial modifier.
  std::uint8_t connect_timer = 0;
  std::uint8_t pause_timer = 0;
  std::uint8_t wait_timer = 0;
  std::uint8_t quiet_timer = 0;
  std::uint8_t quiet_state = 0;  // the "@" quiet-answer wait
  DtmfFreqTable dtmf_frequency_table{};
  RingQueue ring_queue{};
  // The last ring edge's duration (100 ms units) for "DRON=" and "DROF=".
  std::uint8_t ring_report_duration = 0;
  // The one request every handler fills to start or stop a kernel timer.
  TimerRequest temp_timer{};
  DaaRelayState relay{};
  BlackListArea black_list{};
};

// The handlers LS_init registers, one per class; each ignores a null
// message or context.
void LS_class1_handler(KernelMessage* message, void* context);     // 1 ring and line events
void DAA_handler(KernelMessage* message, void* context);           // 3 relays and hook
void CPT_handler(KernelMessage* message, void* context);           // 4 call-progress tones
void RING_handler(KernelMessage* message, void* context);          // 5 ring cadence
void TONE_handler(KernelMessage* message, void* context);          // 6 tone and DTMF generation
void BLK_handler(KernelMessage* message, void* context);           // 7 black list
void CTY_handler(KernelMessage* message, void* context);           // 8 country tables
void LS_line_poll_handler(KernelMessage* message, void* context);  // 9 line poll

// Ring cadence: one step of the cadence update per LS_poll; emptying the
// ring measurement queue at start-up.
void RING_update(LineServicesContext* context);
void RING_clear_measurements(LineServicesContext* context);

// Ring cadence: true when exactly one ring of the current ring sequence
// has been counted.
bool RING_first_ring();
// Call-progress tones: the first finished detection of the line services'
// detectors (1, 3, 5 or 15, the tone kind), taken; 0 when none.
std::uint8_t CPT_get_result();

// Black list: re-files the entry of an attempt that failed (or frees it);
// starts the delay timer when a delay is configured.
void BLK_refile_entry(LineServicesContext* context, BlackListSlot* entry);
void BLK_start_delay_timer(LineServicesContext* context);

// Black list kept across a port close: the save and restore requests,
// each posted and dispatched at once.
void BLK_save_request();
void BLK_restore_request();

// Country records (controller/line/country): applies a delta record's
// items to the live record, which holds a copy of its base; false, with
// nothing applied, for a delta that is not sound. The built-in record 0,
// the default.
bool CTY_expand_delta(std::span<const std::uint8_t> delta);
const CountryRecord& CTY_default_record();
// The built-in record `index`, a delta expanded on its base (record 0
// beyond the tables), and the built-in country list in its stored form
// (u16 version, u16 count, the 8-byte entries; 964 bytes).
CountryRecord CTY_builtin_record(std::uint8_t index);
std::span<const std::uint8_t> CTY_builtin_country_list();
// The country-table dialogue's upload state (0 idle), which MK_init clears.
std::atomic<std::uint8_t>& CTY_upload_state();

// The DAA relay service: the index of its current step, whose two words
// (bytes 779 and 781 + 57 x the index of the live record) the data pump
// needs on the class-2 front ends; and the DAA kind (1, 2 or 3) the
// hardware query chooses for it.
std::atomic<std::uint8_t>& DAA_step_index();
std::atomic<std::uint8_t>& DAA_kind();

// The DAA relay service's hook: DAA_set_hook posts the urgent request
// {class 3, code 3} for 1 (off hook) or {3, 4} otherwise and records the
// hook in the modem task's status word (nothing when no message is free);
// DAA_line_status_ok answers whether the line-status inputs (registers
// 242 and 244) show what the current DAA sequence expects.
void DAA_set_hook(std::uint8_t off_hook);
bool DAA_line_status_ok();
// Starts the self-repeating line poll (class 9, code 3).
void LS_start_line_poll();
// The modem task answers the DTE directly (its direct-response mode): a
// ring is then reported at once and starts no caller-ID detection.
bool ModemTask_DirectResponseMode();

// The command interpreter's pending reset request; with kResetKeepsBlackList
// (a user reset, Z) LS_init keeps the black list.
inline constexpr std::uint8_t kResetKeepsBlackList = 1u << 2;
std::atomic<std::uint8_t>& acu_reset_request();

}  // namespace vxctl
