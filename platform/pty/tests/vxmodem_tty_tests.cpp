// vxmodem --tty as a user runs it: a program on the link talks to the
// command interpreter, and SIGTERM ends a run without a time limit cleanly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

#include "app/tests/child_process.h"
#include "platform/pty/tests/slave_client.h"

namespace plat::pty {
namespace {

using std::chrono::milliseconds;

TEST(VxmodemTty, AnswersOnTheLinkUntilSigterm) {
  const vxmodem::testing::TempDir dir;
  const std::string link = (dir.path() / "modem").string();
  vxmodem::testing::Child child(VXMODEM_PATH, {"--tty", link, "--seconds", "0"}, dir.path());
  ASSERT_TRUE(child.WaitForOutput("vxmodem: running", milliseconds(10'000)));
  const int fd = testing::OpenRaw(link);
  ASSERT_GE(fd, 0);
  std::string transcript;
  ASSERT_EQ(::write(fd, "AT\r", 3), 3);
  testing::ReadUntil(fd, transcript, "OK\r\n", 3000);
  ::close(fd);
  EXPECT_EQ(transcript, "AT\r\r\nOK\r\n");
  child.Signal(SIGTERM);
  const vxmodem::testing::Finished finished = child.Wait(milliseconds(10'000));
  EXPECT_TRUE(finished.exited);
  EXPECT_EQ(finished.status, 0) << finished.err;
  EXPECT_NE(finished.out.find("stopped by a signal"), std::string::npos) << finished.out;
  EXPECT_NE(finished.out.find("shut down clean"), std::string::npos) << finished.out;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)))
      << "the link outlived the program";
}

// A link that cannot be made is bad input: a clear message, status 2, and
// nothing left behind.
TEST(VxmodemTty, LinkInAMissingFolderIsRefused) {
  const vxmodem::testing::TempDir dir;
  const std::string link = (dir.path() / "absent" / "modem").string();
  vxmodem::testing::Child child(VXMODEM_PATH, {"--tty", link, "--seconds", "0"}, dir.path());
  const vxmodem::testing::Finished finished = child.Wait(milliseconds(10'000));
  EXPECT_TRUE(finished.exited);
  EXPECT_EQ(finished.status, 2);
  EXPECT_TRUE(
      finished.err.starts_with("vxmodem: cannot make the pseudo-terminal: cannot make the link"))
      << finished.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "absent"));
}

}  // namespace
}  // namespace plat::pty
