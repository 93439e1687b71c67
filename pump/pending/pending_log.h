// The record of calls from the built core into procedures that are not
// built yet (the modes, the framer, call progress, voice). Each such call
// is a no-op that counts itself and keeps its last arguments here, so that
// a test sees which procedure the core chose and with what. An entry goes
// once its procedure is built.
#pragma once

#include <array>
#include <cstdint>

#include "pump/core/time_us.h"

namespace pump {

enum class Pending : std::uint8_t {
  // Phase 2, V.34, V.90 and V.92.
  kInitPhase2Defaults,
  kResetPhase2,
  kStartPhase2,
  kRestartPhase2,    // (cause)
  kSetPhase2Option,  // (type, value)
  kResetV34Receiver,
  kRestartV34,
  kRestartV92,
  // Classic modems.
  kStartV32Connection,  // (role, rate sequence): a V.32 caller's or answerer's start, logged as it runs
  kRetrainV32Connection,  // an originating or answering V.32 retrain
  kChangeV32bisRate,
  // A command packet whose handler is not built yet.
  kCommand,  // (code)
  kCount,
};

inline constexpr std::size_t kPendingCount = static_cast<std::size_t>(Pending::kCount);

struct PendingCall {
  std::uint32_t count;
  std::int32_t args[3];   // of the last call; unused arguments 0
  std::uint64_t time_us;  // of the last call (GetTimeUs)
};

struct PendingLog {
  std::array<PendingCall, kPendingCount> calls;

  const PendingCall& operator[](Pending part) const {
    return calls[static_cast<std::size_t>(part)];
  }
  void Record(Pending part, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0) {
    PendingCall& call = calls[static_cast<std::size_t>(part)];
    ++call.count;
    call.args[0] = a;
    call.args[1] = b;
    call.args[2] = c;
    call.time_us = GetTimeUs();
  }
};

}  // namespace pump
