// The V.92 modem-on-hold sequencer's state, one per machine
// (MachineState<ModemOnHoldState>()). Fields join as the sequencer is built.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// V.92 status bits: set by the data pump's reports of that type (0 a hold
// request arrived, 1 and 2 the peer's answers, 3, 6 and 8 resume events)
// and by the sequencer (4 the own request, 5 waiting for the peer after a
// response, 7 a hold in progress: the retrain timer stops).
inline constexpr std::uint16_t kMohRequestArrived = 1u << 0;
inline constexpr std::uint16_t kMohPeerAnswered = 1u << 1 | 1u << 2;
inline constexpr std::uint16_t kMohResumeEvent3 = 1u << 3;
inline constexpr std::uint16_t kMohOwnRequest = 1u << 4;
inline constexpr std::uint16_t kMohAwaitingPeer = 1u << 5;
inline constexpr std::uint16_t kMohResumeEvent6 = 1u << 6;
inline constexpr std::uint16_t kMohInProgress = 1u << 7;
inline constexpr std::uint16_t kMohResumeEvent8 = 1u << 8;

inline constexpr std::uint8_t kMohIdle = 1;

struct ModemOnHoldState {
  // Bit n is set by a V.92 report of type n (block thread); the sequencer
  // reads and clears bits on the task thread.
  std::atomic<std::uint16_t> v92_status{0};
  // The value of the last type-0 report (a hold request): low 4 bits the
  // kind, high 4 bits a hold-time code.
  std::atomic<std::uint8_t> request_value{0};
  // The sequencer's state (1 idle), the response code for 0xA0 (0 none;
  // low 4 bits the kind, high 4 bits a hold-time code), the hold timer in
  // seconds (counted down to 0 by the 1 s count of the 10 ms tick) and the
  // agreed hold time.
  std::uint8_t state = kMohIdle;
  std::uint8_t response_code = 0;
  std::atomic<std::uint16_t> hold_timer{0};
  std::uint16_t hold_time = 0;
  std::atomic<std::uint8_t> second_prescaler{0};
};

}  // namespace vxctl
