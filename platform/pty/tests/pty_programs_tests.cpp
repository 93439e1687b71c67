// Real programs on the bridge's link, with the stand-in command interpreter
// behind COM1: a chat script and a terminal program (run in tmux, driven by
// its keys and read from its screen).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "afe/windows/afe_device.h"
#include "app/tests/child_process.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "platform/machine/tests/loopback_serial.h"
#include "platform/pty/tests/bridge_rig.h"
#include "pump/driver/dsp_device.h"

namespace plat::pty {
namespace {

using std::chrono::milliseconds;
using vxmodem::testing::Child;
using vxmodem::testing::Finished;

constexpr char kShell[] = "/bin/sh";

class PtyPrograms : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(rig_.Start()); }
  // Runs a shell command line to its end (at most `wait_ms`).
  Finished Shell(const std::string& command, int wait_ms = 5000) {
    Child child(kShell, {"-c", command}, dir_.path());
    return child.Wait(milliseconds(wait_ms));
  }
  static bool Installed(const char* program) { return std::filesystem::exists(program); }

  vxmodem::testing::TempDir dir_;
  testing::BridgeRig rig_{{{u"vxafe", afe::DriverEntry},
                           {u"vxdsp", pump::DriverEntry},
                           {u"vxctl", vxctl::DriverEntry}}};
};

TEST_F(PtyPrograms, ChatGetsOkForAt) {
  if (!Installed("/usr/sbin/chat")) GTEST_SKIP() << "chat is missing: scripts/setup installs ppp";
  Finished chat;
  rig_.RunApplication(
      [&] {
        chat = Shell("exec <'" + rig_.link() + "' >'" + rig_.link() +
                     "'; stty raw -echo; exec /usr/sbin/chat -V -t 3 '' AT OK");
      },
      8);
  EXPECT_TRUE(chat.exited);
  EXPECT_EQ(chat.status, 0) << chat.err;
}

TEST_F(PtyPrograms, PicocomInTmuxShowsOkAndQuitsCleanly) {
  if (!Installed("/usr/bin/picocom") || !Installed("/usr/bin/tmux")) {
    GTEST_SKIP() << "picocom or tmux is missing: scripts/setup installs them";
  }
  const std::string tmux = "/usr/bin/tmux -S '" + (dir_.path() / "tmux").string() + "' ";
  const std::string status_file = (dir_.path() / "picocom-status").string();
  std::string screen;
  rig_.RunApplication(
      [&] {
        const Finished started =
            Shell(tmux + "new-session -d -s modem -x 80 -y 24 \"/usr/bin/picocom -q '" +
                  rig_.link() + "'; echo \\$? > '" + status_file + "'\"");
        ASSERT_EQ(started.status, 0) << started.err;
        // picocom takes keys once it has set its terminal up: a line typed
        // before that is typed again.
        bool answered = false;
        for (int attempt = 0; attempt < 5 && !answered; ++attempt) {
          Shell(tmux + "send-keys -t modem AT Enter");
          answered = testing::WaitUntil(
              [&] {
                screen = Shell(tmux + "capture-pane -p -t modem").out;
                return screen.find("OK") != std::string::npos;
              },
              1000);
        }
        Shell(tmux + "send-keys -t modem C-a C-x");
        EXPECT_TRUE(testing::WaitUntil(
            [&] { return Shell(tmux + "has-session -t modem").status != 0; }, 5000));
        Shell(tmux + "kill-server");
      },
      15);
  EXPECT_NE(screen.find("AT"), std::string::npos) << screen;
  EXPECT_NE(screen.find("OK"), std::string::npos) << screen;
  std::ifstream status(status_file);
  std::string code;
  std::getline(status, code);
  EXPECT_EQ(code, "0") << "picocom did not quit cleanly";
}

// sz on COM1's pseudo-terminal sends a file to rz on COM2's, the two ports
// joined by a null-modem cable, with and without the RTS/CTS handshake.
// Both ends hang up on close and watch the carrier, as on a modem line:
// sz's last "OO" often never reaches the bridge (sz flushes its output
// right after writing them, and a pseudo-terminal drops what its master
// has not taken yet, since tcdrain on a pseudo-terminal does not wait), so
// it is sz's close, DTR dropping and COM2 losing carrier, that ends rz's
// session instead of its wait for "OO".
TEST(PtyProgramsLrzsz, SzToRzThroughANullModemDeliversTheFileWhole) {
  if (!std::filesystem::exists("/usr/bin/sz") || !std::filesystem::exists("/usr/bin/rz")) {
    GTEST_SKIP() << "lrzsz is missing: scripts/setup installs it";
  }
  std::mt19937 generator(5353);
  std::string file(256 << 10, '\0');
  for (char& byte : file) byte = static_cast<char>(generator() & 0xFF);
  for (const char* flow : {"-crtscts", "crtscts"}) {
    SCOPED_TRACE(flow);
    const vxmodem::testing::TempDir dir;
    std::filesystem::create_directories(dir.path() / "from");
    std::filesystem::create_directories(dir.path() / "to");
    std::ofstream(dir.path() / "from" / "data.bin", std::ios::binary) << file;
    testing::BridgeRig rig({{u"nullmodem", machine::testing::NullModemSerialEntry}});
    ASSERT_TRUE(rig.Start());
    ASSERT_TRUE(rig.AddBridge("other", u"COM2"));
    const auto on_tty = [&](const std::string& link, const std::string& folder,
                            const std::string& program) {
      return "cd '" + (dir.path() / folder).string() + "' && exec <'" + link + "' >'" + link +
             "' && stty raw -echo hupcl -clocal " + flow + " && exec " + program;
    };
    Finished sent, received;
    rig.RunApplication(
        [&] {
          Child rz(kShell, {"-c", on_tty(rig.link("other"), "to", "/usr/bin/rz -q -y")},
                   dir.path());
          Child sz(kShell, {"-c", on_tty(rig.link(), "from", "/usr/bin/sz -q data.bin")},
                   dir.path());
          sent = sz.Wait(milliseconds(20'000));
          received = rz.Wait(milliseconds(10'000));
        },
        30);
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(received.status, 0) << received.err;
    std::ifstream arrived(dir.path() / "to" / "data.bin", std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(arrived)),
                          std::istreambuf_iterator<char>());
    EXPECT_EQ(got.size(), file.size());
    EXPECT_TRUE(got == file);
  }
}

}  // namespace
}  // namespace plat::pty
