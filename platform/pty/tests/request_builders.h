// The port's requests as tests expect them: a function with its input
// structure, or a bare one.
#pragma once

#include <cstring>

#include "platform/nt/serial.h"
#include "platform/pty/termios_requests.h"

namespace plat::pty::testing {

template <typename T>
SerialRequest Request(ULONG code, const T& input) {
  SerialRequest request{code, std::vector<std::uint8_t>(sizeof input)};
  std::memcpy(request.input.data(), &input, sizeof input);
  return request;
}
inline SerialRequest Bare(ULONG code) { return {code, {}}; }
// SET_HANDFLOW with the bridge's XON and XOFF limits.
inline SerialRequest Handflow(ULONG control, ULONG replace) {
  return Request(IOCTL_SERIAL_SET_HANDFLOW, SERIAL_HANDFLOW{control, replace, 512, 512});
}
// SET_CHARS with only XON and XOFF set.
inline SerialRequest Chars(UCHAR xon, UCHAR xoff) {
  return Request(IOCTL_SERIAL_SET_CHARS, SERIAL_CHARS{0, 0, 0, 0, xon, xoff});
}

}  // namespace plat::pty::testing
