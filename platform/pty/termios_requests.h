// What a change of the slave's terminal settings asks of the serial port: the
// port's requests, in the order they are sent, for one change of termios.
//
//   speed other than B0        SET_BAUD_RATE with its number
//   speed becomes B0           CLR_DTR, and CLR_RTS unless CRTSCTS (the bridge
//                              sends them once the port's write queue is empty)
//   speed leaves B0            SET_DTR, SET_RTS
//   CSTOPB                     SET_LINE_CONTROL {1 or 2 stop bits, no parity,
//                              8 bits}: a pseudo-terminal always carries 8 bits
//   CRTSCTS, IXON, IXOFF       SET_HANDFLOW: DTR control, CTS handshake and RTS
//                              handshake with CRTSCTS (else RTS control), auto
//                              transmit with IXON, auto receive with IXOFF,
//                              XON and XOFF limits 512
//   IXON/IXOFF on, or VSTART/  SET_CHARS with VSTART and VSTOP as XON and XOFF
//   VSTOP changed while on
//   CLOCAL, HUPCL              nothing: the bridge keeps them
//
// SET_CHARS carries only XON and XOFF here; the bridge fills the port's other
// characters from GET_CHARS before it sends it.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/nt/ntdef.h"

namespace plat::pty {

struct SerialRequest {
  ULONG code;
  std::vector<std::uint8_t> input;  // the request's input structure, as bytes

  bool operator==(const SerialRequest&) const = default;
};

// The bits per second a termios speed constant stands for; none for an
// unknown constant (B0 gives 0).
std::optional<ULONG> SpeedNumber(speed_t speed);

std::vector<SerialRequest> TermiosRequests(const termios& before, const termios& after);

// Every setting of `settings` as requests (speed unless B0, line control,
// handflow, and the characters with IXON or IXOFF): what brings a port of
// unknown settings in line with the terminal's. DTR and RTS are not among them.
std::vector<SerialRequest> SettingsRequests(const termios& settings);

}  // namespace plat::pty
