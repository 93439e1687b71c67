// vxmodem run as a user runs it, with bad input of every kind: each ends
// with a clear message and exit status 2 (or, where the input is sound after
// all, a clean run), never with an abort or a core.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/tests/child_process.h"
#include "platform/machine/default_hive.h"
#include "platform/reg/registry.h"

namespace vxmodem::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr char kVxmodem[] = VXMODEM_PATH;

void WriteFile(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

const std::string kVxafeServiceKey =
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe]\n";
const std::string kVxdspServiceKey =
    "[\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxdsp]\n";

struct Row {
  const char* what;
  // Makes the files the row needs in dir and gives the arguments.
  std::function<std::vector<std::string>(const fs::path& dir)> setup;
  int status;
  const char* begins;        // a line of stderr (status 2) or stdout (0) begins so
  bool stop_signal = false;  // a paced run gets SIGINT once it runs
};

std::vector<std::string> State(const fs::path& file) {
  return {"--seconds", "0.2", "--state", file.string()};
}
std::vector<std::string> Hive(const fs::path& file) {
  return {"--seconds", "0.2", "--hive", file.string()};
}

const Row kRows[] = {
    // --state malformed, truncated, a directory, /dev/zero, larger than 64 MiB.
    {"state malformed",
     [](const fs::path& d) {
       WriteFile(d / "s.reg", "[\\Registry\\Machine\\A]\nnot a value\n");
       return State(d / "s.reg");
     },
     2, "vxmodem: bad state file: "},
    {"state truncated inside a line",
     [](const fs::path& d) {
       WriteFile(d / "s.reg", "[\\Registry\\Machine\\A]\n\"x\"=dword:0x000");
       return State(d / "s.reg");
     },
     2, "vxmodem: bad state file: "},
    {"state a directory",
     [](const fs::path& d) {
       fs::create_directory(d / "s");
       return State(d / "s");
     },
     2, "vxmodem: bad state file: "},
    {"state /dev/zero", [](const fs::path&) { return State("/dev/zero"); }, 2,
     "vxmodem: bad state file: /dev/zero:0: not a regular file"},
    {"state larger than 64 MiB",
     [](const fs::path& d) {
       WriteFile(d / "s.reg", "");
       fs::resize_file(d / "s.reg", (std::uintmax_t{64} << 20) + 1);
       return State(d / "s.reg");
     },
     2, "vxmodem: bad state file: "},
    // --state empty, partial, or written before the seed gained keys: boots.
    {"state empty",
     [](const fs::path& d) {
       WriteFile(d / "s.reg", "");
       return State(d / "s.reg");
     },
     0, "vxmodem: 0.200 s on 3 driver(s), shut down clean"},
    {"state partial",
     [](const fs::path& d) {
       WriteFile(d / "s.reg",
                 "[\\Registry\\User\\.DEFAULT\\Control Panel\\International]\n"
                 "\"iCountry\"=sz:\"49\"\n");
       return State(d / "s.reg");
     },
     0, "vxmodem: 0.200 s on 3 driver(s), shut down clean"},
    {"state a full copy from a seed without the data pump's key",
     [](const fs::path& d) {
       plat::reg::Registry older;
       EXPECT_FALSE(older.Load(
           "older seed", Replace(std::string(plat::machine::DefaultHive()), kVxdspServiceKey, "")));
       WriteFile(d / "s.reg", plat::reg::WriteHiveText(older.hive()));
       return State(d / "s.reg");
     },
     0, "vxmodem: 0.200 s on 3 driver(s), shut down clean"},
    // --state in a directory that does not exist or cannot be written.
    {"state in a missing folder", [](const fs::path& d) { return State(d / "none" / "s.reg"); }, 2,
     "vxmodem: bad state file: "},
    {"state under a file",
     [](const fs::path& d) {
       WriteFile(d / "file", "");
       return State(d / "file" / "s.reg");
     },
     2, "vxmodem: bad state file: "},
    // --hive /dev/zero or a FIFO: refused unread.
    {"hive /dev/zero", [](const fs::path&) { return Hive("/dev/zero"); }, 2, "vxmodem: bad hive: "},
    {"hive a FIFO",
     [](const fs::path& d) {
       ::mkfifo((d / "fifo").c_str(), 0600);
       return Hive(d / "fifo");
     },
     2, "vxmodem: bad hive: "},
    {"hive missing", [](const fs::path& d) { return Hive(d / "none.reg"); }, 2,
     "vxmodem: bad hive: "},
    {"hive larger than 64 MiB",
     [](const fs::path& d) {
       WriteFile(d / "h.reg", "");
       fs::resize_file(d / "h.reg", (std::uintmax_t{64} << 20) + 1);
       return Hive(d / "h.reg");
     },
     2, "vxmodem: bad hive: "},
    // --hive a directory, or a hive without the drivers' service keys.
    {"hive a directory",
     [](const fs::path& d) {
       fs::create_directory(d / "h");
       return Hive(d / "h");
     },
     2, "vxmodem: bad hive: "},
    {"hive without the service keys",
     [](const fs::path& d) {
       WriteFile(d / "h.reg",
                 Replace(std::string(plat::machine::DefaultHive()), kVxafeServiceKey, ""));
       return Hive(d / "h.reg");
     },
     2, "vxmodem: bad hive: "},
    {"hive that does not parse",
     [](const fs::path& d) {
       WriteFile(d / "h.reg",
                 "[\\Registry\\Machine\\SOFTWARE\\X]\n\"Broken\"=dword:not-a-number\n");
       return Hive(d / "h.reg");
     },
     2, "vxmodem: bad hive: "},
    {"state deleting a service key",
     [](const fs::path& d) {
       WriteFile(d / "s.reg",
                 "[-\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxafe]\n");
       return State(d / "s.reg");
     },
     2, "vxmodem: bad state file: "},
    // Any boot failure: the status in hex with its name.
    {"boot failure",
     [](const fs::path& d) {
       WriteFile(d / "h.reg",
                 Replace(std::string(plat::machine::DefaultHive()), "\"4.0\"", "\"3.51\""));
       return Hive(d / "h.reg");
     },
     2, "vxmodem: boot failed with status 0xC0000001 (STATUS_UNSUCCESSFUL)"},
    // --trace not writable: refused at start, not after a run of 30 seconds
    // (the child would outlive the wait).
    {"trace not writable",
     [](const fs::path& d) {
       return std::vector<std::string>{"--realtime", "--seconds", "30", "--trace",
                                       (d / "none" / "t.txt").string()};
     },
     2, "vxmodem: cannot write the trace "},
    // --seconds: decimal only.
    {"seconds in hex",
     [](const fs::path&) {
       return std::vector<std::string>{"--seconds", "0x10"};
     },
     2, "vxmodem: --seconds wants"},
    {"seconds with a space",
     [](const fs::path&) {
       return std::vector<std::string>{"--seconds", " 3"};
     },
     2, "vxmodem: --seconds wants"},
    {"seconds with an exponent",
     [](const fs::path&) {
       return std::vector<std::string>{"--seconds", "1e1"};
     },
     2, "vxmodem: --seconds wants"},
    {"seconds negative",
     [](const fs::path&) {
       return std::vector<std::string>{"--seconds", "-1"};
     },
     2, "vxmodem: --seconds wants"},
    {"seconds a word",
     [](const fs::path&) {
       return std::vector<std::string>{"--seconds", "soon"};
     },
     2, "vxmodem: --seconds wants"},
    // SIGINT during --realtime: the run ends, the machine shuts down clean.
    {"SIGINT during a paced run",
     [](const fs::path&) {
       return std::vector<std::string>{"--realtime", "--seconds", "30"};
     },
     0, "vxmodem: stopped by a signal after ", true},
};

bool HasLineBeginning(const std::string& text, std::string_view begins) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with(begins)) return true;
  }
  return false;
}

TEST(VxmodemBadInput, EachEndsWithAMessageAndItsStatus) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    Child child(kVxmodem, row.setup(dir.path()), dir.path());
    if (row.stop_signal) {
      ASSERT_TRUE(child.WaitForOutput("vxmodem: running", milliseconds(10'000)));
      child.Signal(SIGINT);
    }
    const Finished finished = child.Wait(milliseconds(10'000));
    EXPECT_TRUE(finished.exited) << "ended by a signal or still running\n" << finished.err;
    EXPECT_FALSE(finished.core_dumped);
    EXPECT_EQ(finished.status, row.status) << finished.err;
    EXPECT_TRUE(HasLineBeginning(row.status == 0 ? finished.out : finished.err, row.begins))
        << "stdout:\n"
        << finished.out << "stderr:\n"
        << finished.err;
  }
}

TEST(VxmodemBadInput, AStateFolderThatCannotBeWrittenIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes into any folder";
  const TempDir dir;
  fs::create_directory(dir.path() / "ro");
  fs::permissions(dir.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  Child child(kVxmodem, State(dir.path() / "ro" / "s.reg"), dir.path());
  const Finished finished = child.Wait(milliseconds(10'000));
  EXPECT_EQ(finished.status, 2);
  EXPECT_TRUE(HasLineBeginning(finished.err, "vxmodem: bad state file: ")) << finished.err;
}

TEST(VxmodemBadInput, MessageLinesAreCutAt200Bytes) {
  // The bad byte is quoted in the message: a whole line of it.
  const TempDir dir;
  WriteFile(dir.path() / "s.reg",
            "[\\Registry\\Machine\\A]\n\"x\"=binary:" + std::string(5000, 'z') + "\x01\n");
  Child child(kVxmodem, State(dir.path() / "s.reg"), dir.path());
  const Finished finished = child.Wait(milliseconds(10'000));
  EXPECT_EQ(finished.status, 2);
  ASSERT_TRUE(HasLineBeginning(
      finished.err, "vxmodem: bad state file: " + (dir.path() / "s.reg").string() + ":2: "))
      << finished.err;
  std::istringstream lines(finished.err);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 200u) << line;
}

}  // namespace
}  // namespace vxmodem::testing
