// The retrain, renegotiation and line-quality state, one per machine
// (MachineState<RetrainState>()). Fields join as that part is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

inline constexpr std::uint16_t kPeerRateWordReset = 0x9FF0;

// The receive rate moves in steps of 2400 bit/s.
inline constexpr std::uint16_t kRateStep = 2400;

// A tick timer counts down to 0; it runs out on the tick it reaches 1.
inline bool Expired(const std::atomic<std::uint16_t>& timer) { return timer.load() == 1; }

// The retrain and renegotiation timer's lengths in 10 ms ticks (V.90 and
// V.92 take longer).
inline constexpr std::uint16_t kRetrainTicks = 6000;
inline constexpr std::uint16_t kRetrainTicksPcm = 9000;
inline constexpr std::uint16_t kRenegTicks = 301;
inline constexpr std::uint16_t kRenegTicksPcm = 501;

struct RetrainState {
  // The V.32/V.32bis rate signal the peer sent, from the data pump's
  // connect-rate report (block thread).
  std::atomic<std::uint16_t> peer_rate_word{kPeerRateWordReset};

  // Expiry timers in 10 ms ticks, counted down to 1 (1 expired, 0 not
  // running): the retrain and renegotiation timer, the fall-back, the
  // fall-forward and the bad-line timer.
  std::atomic<std::uint16_t> retrain_timer{0};
  std::atomic<std::uint16_t> fall_back_timer{0};
  std::atomic<std::uint16_t> fall_forward_timer{0};
  std::atomic<std::uint16_t> bad_line_timer{0};
  // Delays counted down to 0: the loss-of-carrier hold-off and the
  // line-quality prescaler.
  std::atomic<std::uint16_t> carrier_hold_off{0};
  std::atomic<std::uint16_t> quality_prescaler{0};

  // The call's permission to renegotiate, and the line-quality monitor's
  // per-call flags and remembered rates.
  std::uint8_t reneg_permitted = 0;
  std::uint8_t hangup_in_progress = 0;
  std::uint8_t fall_forward_started = 0;
  std::uint8_t fall_back_started = 0;
  std::uint16_t last_raised_from = 0;
  std::uint16_t last_lowered_from = 0;
  // The rate the last renegotiation asked for, and the line's last class
  // (0 good .. 3 bad).
  std::uint16_t reneg_target = 0;
  std::uint8_t last_quality = 0;

  // A call ends or the task goes idle: the per-call flags are cleared.
  void ClearCallFlags() {
    hangup_in_progress = 0;
    fall_forward_started = 0;
    fall_back_started = 0;
  }
};

}  // namespace vxctl
