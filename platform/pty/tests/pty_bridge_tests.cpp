// The bridge in run mode: a program on the slave talks to the stand-in
// command interpreter behind COM1 as it would to a modem on a serial line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "platform/machine/machine.h"
#include "platform/pty/pty_bridge.h"
#include "platform/pty/tests/slave_client.h"
#include "pump/driver/dsp_device.h"

namespace plat::pty {
namespace {

using testing::OpenRaw;
using testing::ReadUntil;

constexpr std::uint64_t kSecondNs = 1'000'000'000;

// A booted machine with the three drivers, paced to the wall clock, and a
// bridge on COM1 whose link sits in a fresh temporary folder.
class PtyBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(machine_.Boot(), STATUS_SUCCESS) << machine_.kernel().LogText();
    ASSERT_TRUE(bridge_.Start()) << bridge_.error();
  }
  void TearDown() override {
    bridge_.Stop();
    EXPECT_TRUE(sim_.RunUntil([&] { return bridge_.stopped(); }, sim_.Now() + 2 * kSecondNs));
    EXPECT_EQ(bridge_.error(), "");
    machine_.Shutdown();
    std::filesystem::remove_all(folder_);
  }
  static SimulationOptions Paced(WallClock& clock) {
    SimulationOptions options;
    options.wall_clock = &clock;
    return options;
  }
  // Runs `application` on a host thread while the machine runs, at most
  // `seconds` of wall time.
  void RunApplication(const std::function<void()>& application, int seconds) {
    std::atomic<bool> done{false};
    std::thread host([&] {
      application();
      done = true;
    });
    sim_.RunUntil([&] { return done.load(); }, sim_.Now() + seconds * kSecondNs);
    host.join();
  }
  std::string link() const { return (folder_ / "modem").string(); }

  static std::filesystem::path MakeFolder() {
    auto folder = std::filesystem::temp_directory_path() /
                  ("pty-bridge-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
    return folder;
  }

  std::filesystem::path folder_ = MakeFolder();
  SteadyWallClock clock_;
  Simulation sim_{Paced(clock_)};
  Machine machine_{sim_,
                   {.name = "M",
                    .drivers = {{u"vxafe", afe::DriverEntry},
                                {u"vxdsp", pump::DriverEntry},
                                {u"vxctl", vxctl::DriverEntry}}}};
  PtyBridge bridge_{machine_.kernel(), (folder_ / "modem").string()};
};

TEST_F(PtyBridgeTest, ProgramOnTheSlaveGetsTheEchoAndOk) {
  ASSERT_TRUE(std::filesystem::is_symlink(link()));
  EXPECT_EQ(std::filesystem::read_symlink(link()).string(), bridge_.master()->slave_name());
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

// Many command lines written at once: the bridge writes to the port only as
// fast as the controller takes them and the answers come back whole and in
// order, also when the program starts reading only after a pause.
TEST_F(PtyBridgeTest, BurstOfCommandLinesIsAnsweredByteForByte) {
  struct Case {
    int lines;
    int pause_ms;  // before the program reads
  };
  for (const Case c : {Case{200, 0}, Case{200, 500}}) {
    SCOPED_TRACE(c.pause_ms);
    std::string commands, expected;
    for (int i = 0; i < c.lines; ++i) {
      const std::string line = i % 2 ? "AT\r" : "at" + std::to_string(i) + "\r";
      commands += line;
      expected += line + "\r\nOK\r\n";
    }
    std::string transcript;
    RunApplication(
        [&] {
          const int fd = OpenRaw(link());
          if (fd < 0) return;
          if (::write(fd, commands.data(), commands.size()) ==
              static_cast<ssize_t>(commands.size())) {
            ::usleep(c.pause_ms * 1000);
            ReadUntil(fd, transcript, expected, 5000);
          }
          ::close(fd);
        },
        8);
    EXPECT_EQ(transcript, expected);
  }
}

}  // namespace
}  // namespace plat::pty
