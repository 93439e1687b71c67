// Opens, closes and carrier on the loopback port (DTR drives DSR and DCD
// there): DTR follows Linux opens and HUPCL, carrier lost without CLOCAL
// ends the session behind the same link, and LINK.lines follows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/machine/tests/loopback_serial.h"
#include "platform/nt/serial.h"
#include "platform/pty/tests/bridge_rig.h"
#include "platform/pty/tests/loop_log.h"
#include "platform/pty/tests/request_builders.h"
#include "platform/pty/tests/slave_client.h"

namespace plat::pty {
namespace {

using testing::BridgeRig;
using testing::kSettingCodes;
using testing::LoggedOf;
using testing::MakeLoopRig;
using testing::OpenQuiet;
using testing::ReadLinesFile;
using testing::SkipPast;
using testing::WaitUntil;

// The port's lines as the status file shows them. The handflow's RTS
// control keeps RTS up unless B0 drops it.
constexpr char kLinesOpen[] = "DTR=1 RTS=1 CTS=1 DSR=1 DCD=1 RI=0";
constexpr char kLinesClosed[] = "DTR=0 RTS=1 CTS=1 DSR=0 DCD=0 RI=0";
constexpr char kLinesB0[] = "DTR=0 RTS=0 CTS=0 DSR=0 DCD=0 RI=0";

// Applies `change` to the slave's settings with a speed as a marker and
// waits until the port got that speed: the bridge has the whole change.
void SetAndSync(BridgeRig& rig, int fd, std::size_t& seen, speed_t marker,
                void (*change)(termios&)) {
  termios t{};
  ::tcgetattr(fd, &t);
  change(t);
  cfsetspeed(&t, marker);
  ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
  EXPECT_TRUE(SkipPast(rig, kSettingCodes, seen, IOCTL_SERIAL_SET_BAUD_RATE));
}

std::size_t CountOf(BridgeRig& rig, ULONG code, std::size_t from) {
  const auto all = LoggedOf(rig, kSettingCodes);
  std::size_t count = 0;
  for (std::size_t i = from; i < all.size(); ++i) count += all[i].code == code;
  return count;
}

TEST(PtyLines, OpenRaisesDtrAndTheLastCloseLowersItUnderHupcl) {
  struct Row {
    bool hupcl;
    const char* lines_after_close;
  };
  for (const Row row : {Row{true, kLinesClosed}, Row{false, kLinesOpen}}) {
    SCOPED_TRACE(row.hupcl);
    BridgeRig rig = MakeLoopRig();
    ASSERT_TRUE(rig.Start());
    rig.RunApplication(
        [&] {
          EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == kLinesClosed; }));
          std::size_t seen = 0;
          const int fd = OpenQuiet(rig, seen);
          ASSERT_GE(fd, 0);
          EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == kLinesOpen; }))
              << ReadLinesFile(rig.link());
          SetAndSync(
              rig, fd, seen, B1200,
              row.hupcl ? +[](termios& t) { t.c_cflag |= HUPCL; }
                        : +[](termios& t) { t.c_cflag &= ~HUPCL; });
          const std::size_t after_settings = seen;
          ::close(fd);
          EXPECT_TRUE(WaitUntil([&] { return rig.bridge().closes_seen() == 1; }));
          EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == row.lines_after_close; }))
              << ReadLinesFile(rig.link());
          // The next open shows whether the close lowered DTR in between.
          const int again = OpenQuiet(rig, seen);
          EXPECT_EQ(CountOf(rig, IOCTL_SERIAL_CLR_DTR, after_settings), row.hupcl ? 1u : 0u);
          ::close(again);
        },
        8);
  }
}

TEST(PtyLines, CarrierLostWithoutClocalEndsTheSessionBehindTheSameLink) {
  for (const bool clocal : {false, true}) {
    SCOPED_TRACE(clocal);
    BridgeRig rig = MakeLoopRig();
    ASSERT_TRUE(rig.Start());
    rig.RunApplication(
        [&] {
          std::size_t seen = 0;
          const int fd = OpenQuiet(rig, seen);
          ASSERT_GE(fd, 0);
          const std::string first_slave = std::filesystem::read_symlink(rig.link()).string();
          SetAndSync(
              rig, fd, seen, B9600,
              clocal ? +[](termios& t) { cfmakeraw(&t), t.c_cflag |= CLOCAL; }
                     : +[](termios& t) { cfmakeraw(&t), t.c_cflag &= ~CLOCAL; });
          // B0 drops DTR, and the plug drops DCD with it.
          termios t{};
          ::tcgetattr(fd, &t);
          cfsetspeed(&t, B0);
          ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
          if (!clocal) {
            char byte = 0;
            pollfd p{fd, POLLIN, 0};
            EXPECT_TRUE(WaitUntil([&] {
              return ::poll(&p, 1, 0) > 0 && ::read(fd, &byte, 1) <= 0;
            })) << "no end of file";
            ::close(fd);
            // The new pair may get the old one's number: the session's end is
            // what tells them apart.
            EXPECT_TRUE(WaitUntil([&] { return rig.bridge().closes_seen() == 1; }));
            std::size_t seen_new = LoggedOf(rig, kSettingCodes).size();
            const int renewed = OpenQuiet(rig, seen_new);
            ASSERT_GE(renewed, 0);
            EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == kLinesOpen; }));
            std::string echo;
            ASSERT_EQ(::write(renewed, "ping", 4), 4);
            testing::ReadUntil(renewed, echo, "ping", 3000);
            EXPECT_EQ(echo, "ping");
            // The ended session was closed once: the old pair's last news
            // (its slave still open) is no open of the new one.
            EXPECT_EQ(rig.bridge().closes_seen(), 1);
            ::close(renewed);
            return;
          }
          EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == kLinesB0; }));
          cfsetspeed(&t, B9600);
          ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
          std::string echo;
          ASSERT_EQ(::write(fd, "ping", 4), 4);
          testing::ReadUntil(fd, echo, "ping", 3000);
          EXPECT_EQ(echo, "ping");
          EXPECT_EQ(std::filesystem::read_symlink(rig.link()).string(), first_slave);
          EXPECT_EQ(ReadLinesFile(rig.link()), kLinesOpen);
          ::close(fd);
        },
        8);
  }
}

// COM1 and COM2 joined by a null-modem cable: COM1's last close under
// HUPCL drops the carrier COM2 sees, which ends COM2's session (end of
// file) once; the next open of COM2's link is a new session.
TEST(PtyLines, HangUpAcrossANullModemEndsThePeerSessionOnce) {
  BridgeRig rig({{u"nullmodem", machine::testing::NullModemSerialEntry}});
  ASSERT_TRUE(rig.Start());
  ASSERT_TRUE(rig.AddBridge("other", u"COM2"));
  PtyBridge& other = rig.added(0);
  rig.RunApplication(
      [&] {
        const int peer = testing::OpenRaw(rig.link("other"));
        ASSERT_GE(peer, 0);
        const int fd = testing::OpenRaw(rig.link());
        ASSERT_GE(fd, 0);
        termios t{};
        ::tcgetattr(fd, &t);
        t.c_cflag |= HUPCL;
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        EXPECT_TRUE(WaitUntil([&] {
          return ReadLinesFile(rig.link("other")).starts_with("DTR=1 RTS=1 CTS=1 DSR=1 DCD=1");
        })) << ReadLinesFile(rig.link("other"));
        ::close(fd);
        char byte = 0;
        pollfd p{peer, POLLIN, 0};
        EXPECT_TRUE(WaitUntil([&] { return ::poll(&p, 1, 0) > 0 && ::read(peer, &byte, 1) <= 0; }))
            << "no end of file";
        ::close(peer);
        EXPECT_TRUE(WaitUntil([&] { return other.closes_seen() == 1; }));
        const int again = testing::OpenRaw(rig.link("other"));
        ASSERT_GE(again, 0);
        EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link("other")).starts_with("DTR=1"); }));
        EXPECT_EQ(other.closes_seen(), 1);
        ::close(again);
      },
      8);
}

// A hundred quick opens and closes, then a burst of settings: the port ends
// with DTR up and the last settings, whatever the bridge saw in between.
TEST(PtyLines, QuickOpensAndASettingsBurstEndInTheLastState) {
  BridgeRig rig = MakeLoopRig();
  ASSERT_TRUE(rig.Start());
  const speed_t speeds[] = {B1200, B2400, B4800, B9600, B19200, B38400, B57600};
  rig.RunApplication(
      [&] {
        for (int i = 0; i < 100; ++i) ::close(::open(rig.link().c_str(), O_RDWR | O_NOCTTY));
        const int fd = ::open(rig.link().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ::tcgetattr(fd, &t);
        cfmakeraw(&t);
        t.c_cflag |= HUPCL;
        for (int i = 0; i < 51; ++i) {
          cfsetspeed(&t, speeds[i % 7]);
          t.c_cflag ^= CSTOPB;
          t.c_cflag ^= CRTSCTS;
          ::tcsetattr(fd, TCSANOW, &t);
        }
        // The last state: 115200 bit/s, two stop bits, RTS/CTS handshake.
        cfsetspeed(&t, B115200);
        ::tcsetattr(fd, TCSANOW, &t);
        const std::vector<SerialRequest> last{
            testing::Request(IOCTL_SERIAL_SET_BAUD_RATE, SERIAL_BAUD_RATE{115200}),
            testing::Request(IOCTL_SERIAL_SET_LINE_CONTROL, SERIAL_LINE_CONTROL{2, 0, 8}),
            testing::Handflow(SERIAL_DTR_CONTROL | SERIAL_CTS_HANDSHAKE, SERIAL_RTS_HANDSHAKE)};
        const auto port_state = [&] {
          std::vector<SerialRequest> latest;
          const auto all = LoggedOf(rig, kSettingCodes);
          for (const SerialRequest& want : last) {
            SerialRequest found{0, {}};
            for (const SerialRequest& r : all) {
              if (r.code == want.code) found = r;
            }
            latest.push_back(found);
          }
          return latest;
        };
        WaitUntil(
            [&] { return port_state() == last && ReadLinesFile(rig.link()).starts_with("DTR=1"); });
        EXPECT_EQ(port_state(), last);
        EXPECT_EQ(ReadLinesFile(rig.link()), kLinesOpen);
        ::close(fd);
        EXPECT_TRUE(WaitUntil([&] { return ReadLinesFile(rig.link()) == kLinesClosed; }))
            << ReadLinesFile(rig.link());
      },
      8);
}

}  // namespace
}  // namespace plat::pty
