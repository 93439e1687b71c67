// How a peer's call begins on its line: it answers after a number of rings
// (or, on a line without an exchange, once the far end is off hook), or it
// goes off hook and dials by DTMF (spandsp dtmf_tx), or, on a line without an
// exchange, rings the far end itself until that answers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/line/line.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::peers {

struct CallStart {
  enum class Role : std::uint8_t { kAnswer, kOriginate };
  Role role = Role::kAnswer;
  int rings = 1;  // answering: off hook at the start of ring `rings`; 0: when the far end is off hook
  std::string number{};                   // originating: dialled by DTMF (empty: none)
  std::uint32_t dial_after_ms = 700;    // from off hook to the first digit
  bool ring_far_end = false;            // originating without an exchange
  std::uint32_t after_answer_ms = 0;    // answering: silence after going off hook
};

// Adds to `peer`, whose end is at `side` of `line`, the steps that take the
// line into the call; the next step runs once the call is up. Both must
// outlive the peer's run.
void AddCallStart(ScriptedPeer& peer, Line& line, Side side, const CallStart& start);

// The US ringing cadence a peer rings the far end with.
inline constexpr std::uint32_t kRingOnMs = 2000;
inline constexpr std::uint32_t kRingOffMs = 4000;

}  // namespace plat::line::peers
