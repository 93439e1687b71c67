#include "platform/pty/termios_requests.h"

#include <array>
#include <cstring>
#include <utility>

#include "platform/nt/serial.h"

namespace plat::pty {
namespace {

constexpr UCHAR kOneStopBit = 0;
constexpr UCHAR kTwoStopBits = 2;
constexpr UCHAR kNoParity = 0;
constexpr UCHAR kEightBits = 8;
constexpr LONG kFlowLimit = 512;

constexpr std::array<std::pair<speed_t, ULONG>, 31> kSpeeds{{
    {B0, 0},
    {B50, 50},
    {B75, 75},
    {B110, 110},
    {B134, 134},
    {B150, 150},
    {B200, 200},
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B576000, 576000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B1152000, 1152000},
    {B1500000, 1500000},
    {B2000000, 2000000},
    {B2500000, 2500000},
    {B3000000, 3000000},
    {B3500000, 3500000},
    {B4000000, 4000000},
}};

template <typename T>
SerialRequest WithInput(ULONG code, const T& input) {
  SerialRequest request{code, std::vector<std::uint8_t>(sizeof input)};
  std::memcpy(request.input.data(), &input, sizeof input);
  return request;
}

bool Has(const termios& t, tcflag_t cflag, tcflag_t iflag = 0) {
  return (t.c_cflag & cflag) != 0 || (t.c_iflag & iflag) != 0;
}

constexpr tcflag_t kSoftware = IXON | IXOFF;
bool Software(const termios& t) { return (t.c_iflag & kSoftware) != 0; }

SERIAL_HANDFLOW Handflow(const termios& t) {
  const bool rtscts = Has(t, CRTSCTS);
  SERIAL_HANDFLOW flow{};
  flow.ControlHandShake = SERIAL_DTR_CONTROL | (rtscts ? SERIAL_CTS_HANDSHAKE : 0);
  flow.FlowReplace = (rtscts ? SERIAL_RTS_HANDSHAKE : SERIAL_RTS_CONTROL) |
                     (Has(t, 0, IXON) ? SERIAL_AUTO_TRANSMIT : 0) |
                     (Has(t, 0, IXOFF) ? SERIAL_AUTO_RECEIVE : 0);
  flow.XonLimit = kFlowLimit;
  flow.XoffLimit = kFlowLimit;
  return flow;
}

SerialRequest LineControlRequest(const termios& t) {
  const SERIAL_LINE_CONTROL line{Has(t, CSTOPB) ? kTwoStopBits : kOneStopBit, kNoParity,
                                 kEightBits};
  return WithInput(IOCTL_SERIAL_SET_LINE_CONTROL, line);
}

SerialRequest HandflowRequest(const termios& t) {
  return WithInput(IOCTL_SERIAL_SET_HANDFLOW, Handflow(t));
}

SerialRequest CharsRequest(const termios& t) {
  SERIAL_CHARS chars{};
  chars.XonChar = t.c_cc[VSTART];
  chars.XoffChar = t.c_cc[VSTOP];
  return WithInput(IOCTL_SERIAL_SET_CHARS, chars);
}

}  // namespace

std::optional<ULONG> SpeedNumber(speed_t speed) {
  for (const auto& [constant, number] : kSpeeds) {
    if (constant == speed) return number;
  }
  return std::nullopt;
}

std::vector<SerialRequest> TermiosRequests(const termios& before, const termios& after) {
  std::vector<SerialRequest> requests;
  const speed_t old_speed = cfgetospeed(&before);
  const speed_t new_speed = cfgetospeed(&after);
  if (new_speed != old_speed) {
    if (new_speed == B0) {
      requests.push_back({IOCTL_SERIAL_CLR_DTR, {}});
      if (!Has(after, CRTSCTS)) requests.push_back({IOCTL_SERIAL_CLR_RTS, {}});
    } else {
      if (const std::optional<ULONG> number = SpeedNumber(new_speed)) {
        requests.push_back(WithInput(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{*number}));
      }
      if (old_speed == B0) {
        requests.push_back({IOCTL_SERIAL_SET_DTR, {}});
        requests.push_back({IOCTL_SERIAL_SET_RTS, {}});
      }
    }
  }
  if (Has(before, CSTOPB) != Has(after, CSTOPB)) requests.push_back(LineControlRequest(after));
  if (Has(before, CRTSCTS) != Has(after, CRTSCTS) ||
      (before.c_iflag & kSoftware) != (after.c_iflag & kSoftware)) {
    requests.push_back(HandflowRequest(after));
  }
  const bool chars_changed =
      before.c_cc[VSTART] != after.c_cc[VSTART] || before.c_cc[VSTOP] != after.c_cc[VSTOP];
  if (Software(after) && (chars_changed || !Software(before))) {
    requests.push_back(CharsRequest(after));
  }
  return requests;
}

std::vector<SerialRequest> SettingsRequests(const termios& settings) {
  std::vector<SerialRequest> requests;
  if (const std::optional<ULONG> number = SpeedNumber(cfgetospeed(&settings)); number && *number) {
    requests.push_back(WithInput(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{*number}));
  }
  requests.push_back(LineControlRequest(settings));
  requests.push_back(HandflowRequest(settings));
  if (Software(settings)) requests.push_back(CharsRequest(settings));
  return requests;
}

}  // namespace plat::pty
