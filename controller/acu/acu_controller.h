// The controller state machine's per-machine state: the current state and
// the variant of each state, the event pool, the command-line front end,
// the tick counts consumed and the countdowns, the DTR debounce and the
// memories of the event sources. One per machine (acu_controller()).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "controller/acu/acu_events.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {

enum AcuState : std::uint8_t {
  AcuIdle = 0,
  AcuCommand = 1,
  AcuOriginate = 2,
  AcuAnswer = 3,
  AcuOnline = 4,
  AcuHangup = 5,
  AcuTest = 6,
};
inline constexpr std::size_t kAcuStateSlots = 8;

enum AcuVariant : std::uint8_t {
  VarPlain = 0,
  VarHeld = 1,
  VarCall = 2,
  VarFax = 3,
  VarTestCommand = 4,
  VarVoice = 6,
  VarLeased = 9,
  VarLocalTest = 10,
  VarRemoteLoop = 12,
  VarV8bis = 14,
};
inline constexpr std::size_t kAcuVariants = 15;

enum AcuCommandPhase : std::uint8_t {
  WaitAt = 0,
  Collect = 1,
  BeginLine = 2,
  RunCommands = 3,
  FinishLine = 4,
  WaitOnline = 6,
  WaitDial = 7,
};

// The command line: 80 characters and the terminating NUL.
inline constexpr std::size_t kAcuLineMax = 80;
inline constexpr std::uint16_t kAcuLineDelayTicks = 13;
// Debounced DTR edges counted between two dispatches (two: a drop and its
// return); past that only the level is posted.
inline constexpr std::uint8_t kAcuDtrEdgesKept = 2;
inline constexpr std::uint16_t kAcuVoiceLineDelayTicks = 5;

// The countdowns the 10 ms tick runs down to 0.
enum AcuCountdown : std::uint8_t {
  kCountController = 0,  // the line delay, the dial and answer waits, tests, hang-up steps
  kCountCtsDelay,
  kCountReturnOnline,
  kCountRingTimer,  // S1 is cleared when it runs out outside a test
  kCountBlinker,
  kCountPreDial,
  kCountAction1,
  kCountAction2,
  kCountAction3,
  kCountAction4,
  kCountCallerIdRing,     // restarted at each ring (8 s)
  kCountCallerIdPattern,  // restarted at each ring (8 s)
  kCountdowns,
};

struct AcuControllerState {
  // acu_running's byte: the start-up mark, set at the end of acu_init.
  std::atomic<std::uint8_t> running{0};
  std::atomic<std::uint8_t> state{AcuIdle};
  std::array<std::uint8_t, kAcuStateSlots> variants{};
  std::atomic<std::uint8_t> deferred_reset{0};
  // The thread of the last acu_init: the only one that posts events.
  std::atomic<void*> task_thread{nullptr};
  std::uint32_t inits = 0;
  std::uint32_t passes = 0;

  AcuEventPool events;
  acu_event current{};

  // The command-line front end.
  std::uint8_t phase = WaitAt;
  std::array<char, kAcuLineMax + 1> line{};
  std::uint8_t line_length = 0;
  std::uint8_t remembered_a = 0;
  std::uint16_t line_delay_load = kAcuLineDelayTicks;
  std::uint8_t report_ok = 0;
  std::uint8_t predial_check = 0;
  std::uint8_t online_command = 0;  // the DTE is in online command mode
  std::uint8_t parity = 0;          // of the last A T pair, for the responses
  std::uint32_t dte_rate = 0;
  std::uint8_t dte_speed_code = 0;
  std::uint8_t dte_rate_hold = 0;
  std::uint8_t fax_call = 0;  // a fax call runs: no line delay

  // The dialler's variables the line services read and set: its sub-state,
  // the kind of wait it is in, whether the current dial asked for the
  // line-in-use check, and the resume-after-semicolon flag.
  std::uint8_t dial_substate = 0;
  std::uint8_t dial_wait_kind = 0;
  std::uint8_t dial_line_check = 0;
  std::uint8_t dial_resume = 0;
  std::uint8_t dial_black_list_verdict = 0;  // 1 permitted, 2 delayed, 3 blacklisted

  // Ticks: the counts of acu_tick_counts() consumed so far, the 100 ms
  // counter, the countdowns and the online-command guard's half tick.
  std::uint32_t consumed_10ms = 0;
  std::uint32_t consumed_100ms = 0;
  std::uint32_t consumed_1s = 0;
  std::uint32_t consumed_1min = 0;
  std::uint32_t count_100ms = 0;
  std::array<std::uint16_t, kCountdowns> countdowns{};
  std::uint8_t guard_half_tick = 0;
  std::uint16_t seconds_countdown = 0;  // the modem task's seconds
  std::uint16_t dtr_off_delay = 0;      // seconds, after a synchronous connect
  std::uint32_t seconds_online = 0;
  std::atomic<std::uint16_t> wait_ticks{0};
  AcuTickCounts tick_counts;

  // DTR: the raw level last seen, the debounce counter, the debounced
  // level and the level last posted as an edge.
  std::uint8_t dtr_raw = 0;
  std::uint8_t dtr_debounce = 0;
  std::uint8_t dtr = 0;
  std::uint8_t dtr_posted = 0;
  // Debounced edges not yet posted: a busy wait services the ticks without
  // a dispatch, so DTR can drop and return before the next pass.
  std::uint8_t dtr_edges = 0;

  // Event sources: the carrier of the previous pass, the connection state
  // last seen, the line-status code last posted (18, 19, 21), the state
  // to return to from a remote loopback.
  std::uint8_t carrier = 0;
  std::uint8_t connection_state = 0;
  std::uint8_t line_status_memory = 0;
  std::uint8_t loopback_return_state = 0;

  // Call and reset variables.
  std::uint8_t on_hook = 1;
  std::uint8_t connection_held = 0;
  std::uint8_t local_test = 0;
  std::uint8_t test_type = 0;
  std::uint8_t retrain_watch = 0;
  std::uint8_t voice_state = 0;
  std::uint8_t v8_indications = 0;
  std::uint8_t selected_register = 0;
  std::uint8_t allowed_fax_classes = 15;
  std::uint16_t test_duration = 0;
  std::uint16_t remote_test_wait = 0;
  std::uint16_t v42bis_dictionary = 0;
  std::uint8_t v42bis_string = 0;
};

AcuControllerState& acu_controller();

// S14 bit 1: echo; bit 7: originate. S21 &D (bits 3-4), &C (bit 5), &S
// (bit 6). S27 synchronous mode (bits 0-1), leased line (bit 2), bit 3.
inline constexpr std::uint8_t kS14Echo = 1u << 1;
inline constexpr std::uint8_t kS14Originate = 1u << 7;
inline constexpr std::size_t kSDteOptions = 21;
inline constexpr std::size_t kSModes = 27;
inline constexpr std::uint8_t kS27SyncMask = 3;
inline constexpr std::uint8_t kS27Leased = 1u << 2;
inline constexpr std::uint8_t kS27Bit3 = 1u << 3;

}  // namespace vxctl
