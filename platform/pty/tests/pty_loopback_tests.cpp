// The bridge in front of the loopback serial port, which logs every request:
// the application's terminal settings, flushes, opens and closes as the
// port's requests, and bytes through the pair unchanged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/machine/tests/loopback_serial.h"
#include "platform/nt/serial.h"
#include "platform/pty/termios_requests.h"
#include "platform/pty/tests/bridge_rig.h"
#include "platform/pty/tests/loop_log.h"
#include "platform/pty/tests/request_builders.h"
#include "platform/pty/tests/slave_client.h"

namespace plat::pty {
namespace {

using machine::testing::LoopbackLogOf;
using testing::Bare;
using testing::BridgeRig;
using testing::Chars;
using testing::Handflow;
using testing::kPurgeCodes;
using testing::kSettingCodes;
using testing::LoggedOf;
using testing::MakeLoopRig;
using testing::NextLogged;
using testing::OpenQuiet;
using testing::Request;
using testing::WaitUntil;
using testing::WrittenFrom;

struct TermiosStep {
  std::string what;
  std::function<void(termios&)> change;
  std::vector<SerialRequest> requests;
  std::size_t bytes_first = 0;  // written before the change, logged before its requests
};

// One application changes its settings step by step; each step gives its
// requests, in order, before the next starts. The pseudo-terminal starts
// at 38400 bit/s with IXON, without HUPCL or CLOCAL.
TEST(PtyTermios, ApplicationSettingsBecomeThePortsRequests) {
  BridgeRig rig = MakeLoopRig();
  ASSERT_TRUE(rig.Start());
  const auto speed = [](speed_t s) { return [s](termios& t) { cfsetspeed(&t, s); }; };
  // CLOCAL first: the loopback plug drops DCD with DTR, which would
  // otherwise end this pseudo-terminal at B0.
  const std::vector<TermiosStep> steps{
      {"HUPCL and CLOCAL stay with the bridge",
       [](termios& t) { t.c_cflag ^= HUPCL | CLOCAL; },
       {}},
      {"speed", speed(B115200), {Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{115200})}},
      {"CSTOPB on",
       [](termios& t) { t.c_cflag |= CSTOPB; },
       {Request(IOCTL_SERIAL_SET_LINE_CONTROL, SERIAL_LINE_CONTROL{2, 0, 8})}},
      {"CSTOPB off",
       [](termios& t) { t.c_cflag &= ~CSTOPB; },
       {Request(IOCTL_SERIAL_SET_LINE_CONTROL, SERIAL_LINE_CONTROL{0, 0, 8})}},
      {"CRTSCTS on",
       [](termios& t) { t.c_cflag |= CRTSCTS; },
       {Handflow(SERIAL_DTR_CONTROL | SERIAL_CTS_HANDSHAKE,
                 SERIAL_RTS_HANDSHAKE | SERIAL_AUTO_TRANSMIT)}},
      {"B0 with CRTSCTS keeps RTS", speed(B0), {Bare(IOCTL_SERIAL_CLR_DTR)}},
      {"leaving B0",
       speed(B19200),
       {Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{19200}), Bare(IOCTL_SERIAL_SET_DTR),
        Bare(IOCTL_SERIAL_SET_RTS)}},
      {"CRTSCTS off",
       [](termios& t) { t.c_cflag &= ~CRTSCTS; },
       {Handflow(SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL | SERIAL_AUTO_TRANSMIT)}},
      {"IXON off",
       [](termios& t) { t.c_iflag &= ~IXON; },
       {Handflow(SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL)}},
      {"IXOFF on",
       [](termios& t) { t.c_iflag |= IXOFF; },
       {Handflow(SERIAL_DTR_CONTROL, SERIAL_RTS_CONTROL | SERIAL_AUTO_RECEIVE),
        Bare(IOCTL_SERIAL_GET_CHARS), Chars(0x11, 0x13)}},
      {"VSTART and VSTOP changed",
       [](termios& t) {
         t.c_cc[VSTART] = 0x01;
         t.c_cc[VSTOP] = 0x02;
       },
       {Bare(IOCTL_SERIAL_GET_CHARS), Chars(0x01, 0x02)}},
      {"B0 with bytes still queued",
       speed(B0),
       {Bare(IOCTL_SERIAL_CLR_DTR), Bare(IOCTL_SERIAL_CLR_RTS)},
       3000},
      {"leaving B0 again",
       speed(B2400),
       {Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{2400}), Bare(IOCTL_SERIAL_SET_DTR),
        Bare(IOCTL_SERIAL_SET_RTS)}},
  };
  rig.RunApplication(
      [&] {
        std::size_t seen = 0;
        const int fd = OpenQuiet(rig, seen);
        ASSERT_GE(fd, 0);
        termios t{};
        ::tcgetattr(fd, &t);
        for (const TermiosStep& step : steps) {
          SCOPED_TRACE(step.what);
          const std::size_t log_start = LoopbackLogOf(rig.machine().kernel()).Copy().size();
          std::size_t bytes_written = 0;
          if (step.bytes_first > 0) {
            const std::string bytes(step.bytes_first, 'x');
            bytes_written = static_cast<std::size_t>(::write(fd, bytes.data(), bytes.size()));
          }
          step.change(t);
          ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
          EXPECT_EQ(NextLogged(rig, kSettingCodes, seen, step.requests.size()), step.requests);
          if (step.bytes_first == 0) continue;
          // Every byte reached the port before DTR dropped.
          const auto log = LoopbackLogOf(rig.machine().kernel()).Copy();
          std::size_t drop = log_start;
          while (drop < log.size() && log[drop].code != IOCTL_SERIAL_CLR_DTR) ++drop;
          const std::string logged = WrittenFrom(rig, log_start).substr(0, step.bytes_first);
          EXPECT_EQ(WrittenFrom(rig, log_start).size() - WrittenFrom(rig, drop).size(),
                    step.bytes_first);
          EXPECT_EQ(bytes_written, step.bytes_first);
          EXPECT_EQ(logged, std::string(step.bytes_first, 'x'));
        }
        ::close(fd);
      },
      15);
}

// tcflush on the slave: the matching purges of the port, in the order the
// pseudo-terminal reports them.
TEST(PtyFlush, FlushesOfTheApplicationPurgeThePort) {
  BridgeRig rig = MakeLoopRig();
  ASSERT_TRUE(rig.Start());
  const auto purge = [](ULONG mask) { return Request(IOCTL_SERIAL_PURGE, mask); };
  const SerialRequest rx = purge(SERIAL_PURGE_RXABORT | SERIAL_PURGE_RXCLEAR);
  const SerialRequest tx = purge(SERIAL_PURGE_TXABORT | SERIAL_PURGE_TXCLEAR);
  struct Row {
    int queue;
    std::vector<SerialRequest> purges;
  };
  const Row rows[] = {{TCIFLUSH, {rx}}, {TCOFLUSH, {tx}}, {TCIOFLUSH, {rx, tx}}};
  rig.RunApplication(
      [&] {
        std::size_t settings_seen = 0;
        const int fd = OpenQuiet(rig, settings_seen);
        ASSERT_GE(fd, 0);
        std::size_t seen = LoggedOf(rig, kPurgeCodes).size();  // the open's purge
        for (const Row& row : rows) {
          SCOPED_TRACE(row.queue);
          ASSERT_EQ(::tcflush(fd, row.queue), 0);
          EXPECT_EQ(NextLogged(rig, kPurgeCodes, seen, row.purges.size()), row.purges);
        }
        ::close(fd);
      },
      8);
}

}  // namespace
}  // namespace plat::pty
