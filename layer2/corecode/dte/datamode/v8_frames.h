// The handlers of DataMode 7, which carries the V.8 exchange's octets:
// the transmit side sends the modem task's pending frame, the receive side
// finds the peer's frames (a frame opens with 0xE0 and counts once the
// same bytes arrived twice in a row), counts idle 0x00 octets and watches
// for the fast start's 0x55 patterns.
#pragma once

#include <cstdint>

namespace vxctl {

// The receiver's states.
enum V8RxState : std::uint8_t {
  kV8Hunt = 0,          // waiting for 0xE0
  kV8HuntZeros = 1,     // waiting for 0xE0, idle 0x00 octets seen
  kV8FirstCopy = 2,     // collecting a frame
  kV8SecondCopy = 3,    // comparing the repeat with the frame collected
  kV8Delivered = 4,     // a frame went to the modem task
  kV8ClosingZeros = 5,  // counting the three closing 0x00 octets
  kV8Closed = 6,
};

void param_tx();
void param_rx();
void param_rx_set_state(std::uint8_t state);

}  // namespace vxctl
