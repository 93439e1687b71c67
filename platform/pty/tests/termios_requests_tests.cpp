// Changes of the slave's terminal settings against the port's requests they
// must give, in order.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/nt/serial.h"
#include "platform/pty/termios_requests.h"
#include "platform/pty/tests/request_builders.h"

namespace plat::pty {
namespace {

using testing::Bare;
using testing::Chars;
using testing::Handflow;
using testing::Request;

// Raw 8-bit settings at 9600 bit/s with the usual start and stop characters.
termios Base() {
  termios t{};
  cfmakeraw(&t);
  cfsetspeed(&t, B9600);
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  return t;
}

struct Row {
  std::string what;
  std::function<void(termios&)> before;  // from Base()
  std::function<void(termios&)> after;   // from the before state
  std::vector<SerialRequest> requests;
};

TEST(PtyTermios, EachChangeGivesItsRequestsInOrder) {
  const auto none = [](termios&) {};
  const auto rtscts = [](termios& t) { t.c_cflag |= CRTSCTS; };
  const std::vector<Row> rows{
      {"speed",
       none,
       [](termios& t) { cfsetspeed(&t, B115200); },
       {Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{115200})}},
      {"B0 lowers DTR and RTS",
       none,
       [](termios& t) { cfsetspeed(&t, B0); },
       {Bare(IOCTL_SERIAL_CLR_DTR), Bare(IOCTL_SERIAL_CLR_RTS)}},
      {"B0 with CRTSCTS keeps RTS",
       rtscts,
       [](termios& t) { cfsetspeed(&t, B0); },
       {Bare(IOCTL_SERIAL_CLR_DTR)}},
      {"leaving B0",
       [](termios& t) { cfsetspeed(&t, B0); },
       [](termios& t) { cfsetspeed(&t, B19200); },
       {Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{19200}), Bare(IOCTL_SERIAL_SET_DTR),
        Bare(IOCTL_SERIAL_SET_RTS)}},
      {"CSTOPB on",
       none,
       [](termios& t) { t.c_cflag |= CSTOPB; },
       {Request(IOCTL_SERIAL_SET_LINE_CONTROL, SERIAL_LINE_CONTROL{2, 0, 8})}},
      {"CSTOPB off",
       [](termios& t) { t.c_cflag |= CSTOPB; },
       [](termios& t) { t.c_cflag &= ~CSTOPB; },
       {Request(IOCTL_SERIAL_SET_LINE_CONTROL, SERIAL_LINE_CONTROL{0, 0, 8})}},
      {"CRTSCTS on",
       none,
       rtscts,
       {Handflow(SERIAL_DTR_CONTROL | SERIAL_CTS_HANDSHAKE, SERIAL_RTS_HANDSHAKE)}},
      {"CRTSCTS off",
       rtscts,
       [](termios& t) { t.c_cflag &= ~CRTSCTS; },
       {Handflow(SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL)}},
      {"IXON on",
       none,
       [](termios& t) { t.c_iflag |= IXON; },
       {Handflow(SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL | SERIAL_AUTO_TRANSMIT),
        Chars(0x11, 0x13)}},
      {"IXOFF on with CRTSCTS",
       rtscts,
       [](termios& t) { t.c_iflag |= IXOFF; },
       {Handflow(SERIAL_DTR_CONTROL | SERIAL_CTS_HANDSHAKE,
                 SERIAL_RTS_HANDSHAKE | SERIAL_AUTO_RECEIVE),
        Chars(0x11, 0x13)}},
      {"VSTART and VSTOP changed under IXOFF",
       [](termios& t) { t.c_iflag |= IXOFF; },
       [](termios& t) {
         t.c_cc[VSTART] = 0x01;
         t.c_cc[VSTOP] = 0x02;
       },
       {Chars(0x01, 0x02)}},
      {"VSTART changed without IXON or IXOFF", none, [](termios& t) { t.c_cc[VSTART] = 0x01; }, {}},
      {"HUPCL and CLOCAL stay with the bridge",
       none,
       [](termios& t) { t.c_cflag ^= HUPCL | CLOCAL; },
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    termios before = Base();
    row.before(before);
    termios after = before;
    row.after(after);
    EXPECT_EQ(TermiosRequests(before, after), row.requests);
  }
}

TEST(PtyTermios, SpeedNumbersFollowTheirConstants) {
  EXPECT_EQ(SpeedNumber(B0), 0u);
  EXPECT_EQ(SpeedNumber(B300), 300u);
  EXPECT_EQ(SpeedNumber(B57600), 57600u);
  EXPECT_EQ(SpeedNumber(B4000000), 4000000u);
  EXPECT_EQ(SpeedNumber(0xFFFF), std::nullopt);
}

}  // namespace
}  // namespace plat::pty
