// SIGTERM to a paced run: the machine stops at the next instant, shuts down
// with its leak checks, and the trace it leaves is whole.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/tests/child_process.h"

namespace vxmodem::testing {
namespace {

using std::chrono::milliseconds;

TEST(RunModeSignal, SigtermEndsAPacedRunCleanlyWithItsTrace) {
  const TempDir dir;
  const auto trace = dir.path() / "trace.txt";
  Child child(VXMODEM_PATH, {"--realtime", "--seconds", "100", "--trace", trace.string()},
              dir.path());
  ASSERT_TRUE(child.WaitForOutput("vxmodem: running", milliseconds(10'000)));
  child.Signal(SIGTERM);
  // The run was asked for 100 s: ending within the wait is the signal's doing,
  // however loaded the host is.
  const Finished finished = child.Wait(milliseconds(10'000));

  EXPECT_TRUE(finished.exited);
  EXPECT_EQ(finished.status, 0) << finished.err;
  EXPECT_NE(finished.out.find("shut down clean"), std::string::npos) << finished.out;

  // Whole: from the boot thread to the shutdown thread's exit, every line
  // complete.
  std::ifstream in(trace);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string lines = text.str();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), '\n');
  int boot_line = 0;
  int shutdown_exit_line = 0;
  std::istringstream each(lines);
  int number = 0;
  for (std::string line; std::getline(each, line);) {
    ++number;
    if (boot_line == 0 && line.find(" boot#") != std::string::npos) boot_line = number;
    if (line.find(" shutdown#") != std::string::npos && line.find(": exit ") != std::string::npos) {
      shutdown_exit_line = number;
    }
  }
  EXPECT_GT(boot_line, 0);
  EXPECT_GT(shutdown_exit_line, boot_line);
}

}  // namespace
}  // namespace vxmodem::testing
