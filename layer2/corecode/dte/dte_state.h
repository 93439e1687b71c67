// The DTE interface's state, one per machine (dte_state()): its rings, its
// mode, the flow control both ways, breaks both ways, the escape detector,
// the V.80 in-band state and the fax DTE mode. Characters arrive in the
// port's write worker, pushes run in the read worker and the task thread,
// the tick in the timing thread: the rings change under their locks and
// every other field is an atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "layer2/corecode/dte/byte_ring.h"
#include "layer2/corecode/dte/escape_ring.h"

namespace vxctl {

// DteState values. Voice data is the voice flag beside command mode.
inline constexpr std::uint8_t kDteCommand = 1;
inline constexpr std::uint8_t kDteOnline = 2;
inline constexpr std::uint8_t kDteFax = 3;
inline constexpr std::uint8_t kDteV80 = 5;

// Flow kinds, from the application and toward it.
inline constexpr std::uint8_t kFlowKindXonXoff = 0x01;
inline constexpr std::uint8_t kFlowKindLines = 0x02;  // RTS from it, CTS toward it

// Break toward the application.
inline constexpr std::uint8_t kBreakNone = 0;
inline constexpr std::uint8_t kBreakWaiting = 1;
inline constexpr std::uint8_t kBreakActive = 3;

inline constexpr std::uint8_t kXon = 17;
inline constexpr std::uint8_t kXoff = 19;
inline constexpr std::uint8_t kEm = 0x19;  // V.80's in-band escape
inline constexpr std::uint16_t kOffMark = 896;
inline constexpr std::uint16_t kOnMark = 256;
inline constexpr std::uint16_t kEscapePrescale = 2;
inline constexpr std::uint16_t kWaitTicks = 500;

using CommandRing = ByteRing<2048>;
using OnlineRing = ByteRing<1024>;

struct DteFlowState {
  // Settings.
  std::atomic<std::uint8_t> from_kind{0};
  std::atomic<std::uint8_t> from_xon{kXon};
  std::atomic<std::uint8_t> from_xoff{kXoff};
  std::atomic<std::uint8_t> pass_through{0};
  std::atomic<std::uint8_t> to_kind{0};
  std::atomic<std::uint8_t> to_xon{kXon};
  std::atomic<std::uint8_t> to_xoff{kXoff};
  std::atomic<std::uint16_t> off_mark{kOffMark};
  std::atomic<std::uint16_t> on_mark{kOnMark};
  // State.
  std::atomic<std::uint8_t> dte_stopped{0};
  std::atomic<std::uint8_t> xoff_pending{0};
  std::atomic<std::uint8_t> xon_pending{0};
  std::atomic<std::uint8_t> output_held{0};
  std::atomic<std::uint8_t> output_started{0};
  std::atomic<std::uint8_t> cmd_output_held{0};
  // Push guards, 1 while free, taken by exchange.
  std::atomic<std::uint8_t> cmd_push_free{1};
  std::atomic<std::uint8_t> push_free{1};
};

struct DteBreakState {
  // Toward the application.
  std::atomic<std::uint8_t> state{kBreakNone};
  std::atomic<std::uint16_t> position{0};  // dte_to_ring's read index it waits for
  std::atomic<std::uint8_t> active{0};
  std::atomic<std::uint16_t> duration{0};  // ticks left; 0: until dte_clamp_begin
  // From the application.
  std::atomic<std::uint8_t> measuring{0};
  std::atomic<std::uint8_t> length{0};
};

struct DteEscapeState {
  std::atomic<std::uint8_t> character{'+'};
  std::atomic<std::uint16_t> guard_time{50};  // 20 ms units
  std::atomic<std::uint16_t> countdown{0};
  std::atomic<std::uint16_t> prescaler{kEscapePrescale};
  std::atomic<std::uint16_t> count{0};
  // Set when a guard time passed without characters.
  std::atomic<std::uint16_t> leading_guard{0};
  // The guard had passed before the first escape character.
  std::atomic<std::uint8_t> guarded_start{0};
  EscapeRing capture;
};

struct DteV80State {
  std::atomic<std::uint8_t> em_seen{0};
  std::atomic<std::uint8_t> overrun{0};
  std::atomic<std::uint8_t> underrun{0};
  std::atomic<std::uint8_t> report_b5{0};
  std::atomic<std::uint8_t> report_b9{0};
  std::atomic<std::uint8_t> report_b4{0};
  std::atomic<std::uint16_t> discarded{0};
  std::atomic<std::uint8_t> last_pushed{0};
  std::atomic<std::uint8_t> frame_ends{0};  // EM 0xB1 pairs stored from the application
  std::atomic<std::uint8_t> framed{0};
  std::atomic<std::uint8_t> esa_option{0};
};

struct DteInterfaceState {
  CommandRing cmd_from;  // from the application in command mode
  CommandRing cmd_to;    // responses toward it
  OnlineRing from;       // from the application online
  OnlineRing to;         // toward it online

  std::atomic<std::uint8_t> state{kDteCommand};
  std::atomic<std::uint8_t> command_flag{1};  // routes characters to cmd_from
  std::atomic<std::uint8_t> command_mode{1};  // the command interpreter's copy
  std::atomic<std::uint8_t> voice{0};
  std::atomic<std::uint8_t> return_to_v80{0};
  std::atomic<std::uint8_t> mask{0xFF};
  std::atomic<std::uint8_t> parity{0};
  std::atomic<std::uint8_t> data_bits{8};
  std::atomic<std::uint8_t> input_hold{0};

  DteFlowState flow;
  DteBreakState brk;
  DteEscapeState escape;
  DteV80State v80;

  // Fax DTE mode.
  std::atomic<std::uint8_t> fax_mode{0};
  std::atomic<std::uint8_t> fax_xon_received{0};

  // Prescalers of the command interpreter's 100 ms, 1 s and minute counts.
  std::uint8_t prescale_100ms = 10;
  std::uint8_t prescale_1s = 10;
  std::uint8_t prescale_1min = 60;
};

DteInterfaceState& dte_state();

}  // namespace vxctl
