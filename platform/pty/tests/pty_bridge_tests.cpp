// The bridge in run mode: a program on the slave talks to the
// command interpreter behind COM1 as it would to a modem on a serial line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "platform/pty/tests/bridge_rig.h"
#include "platform/pty/tests/slave_client.h"
#include "pump/driver/dsp_device.h"

namespace plat::pty {
namespace {

using testing::OpenRaw;
using testing::ReadUntil;

// The three drivers with the command interpreter behind COM1.
class PtyBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.Start()); }
  void RunApplication(const std::function<void()>& application, int seconds) {
    rig_.RunApplication(application, seconds);
  }
  std::string link() const { return rig_.link(); }

  testing::BridgeRig rig_{{{u"vxafe", afe::DriverEntry},
                           {u"vxdsp", pump::DriverEntry},
                           {u"vxctl", vxctl::DriverEntry}}};
};

TEST_F(PtyBridgeTest, ProgramOnTheSlaveGetsTheEchoAndOk) {
  ASSERT_TRUE(std::filesystem::is_symlink(link()));
  EXPECT_EQ(std::filesystem::read_symlink(link()).string(), rig_.bridge().master()->slave_name());
  std::string transcript;
  RunApplication(
      [&] {
        const int fd = OpenRaw(link());
        if (fd < 0) return;
        if (::write(fd, "AT\r", 3) == 3) ReadUntil(fd, transcript, "OK\r\n", 3000);
        ::close(fd);
      },
      5);
  EXPECT_EQ(transcript, "AT\r\r\nOK\r\n");
}

// Command lines one after another, each written when the last was answered
// (the command interpreter discards what is typed ahead of an answer): the
// answers come back whole and in order, also when the program starts
// reading only after a pause.
TEST_F(PtyBridgeTest, CommandLinesAreAnsweredByteForByte) {
  struct Case {
    int lines;
    int pause_ms;  // before the program reads the first answer
  };
  for (const Case c : {Case{12, 0}, Case{12, 500}}) {
    SCOPED_TRACE(c.pause_ms);
    std::string expected;
    std::string transcript;
    RunApplication(
        [&] {
          const int fd = OpenRaw(link());
          if (fd < 0) return;
          for (int i = 0; i < c.lines; ++i) {
            const std::string line = i % 2 ? "AT\r" : "at\r";
            expected += line + "\r\nOK\r\n";
            if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
            if (i == 0) ::usleep(c.pause_ms * 1000);
            ReadUntil(fd, transcript, expected, 3000);
          }
          ::close(fd);
        },
        8);
    EXPECT_EQ(transcript, expected);
  }
}

}  // namespace
}  // namespace plat::pty
