// Runs vxmodem as a child process, the way a user's shell does, with its
// output in files of a folder the test owns.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vxmodem::testing {

struct Finished {
  bool exited = false;       // ended by exit (not by a signal)
  int status = -1;           // the exit status
  bool core_dumped = false;  // ended by a signal that leaves a core
  std::string out;           // what it wrote to stdout
  std::string err;           // ... and to stderr
};

class Child {
 public:
  // Starts the program with arguments; its output goes to files in dir.
  Child(const std::filesystem::path& program, const std::vector<std::string>& arguments,
        const std::filesystem::path& dir);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int signal) const;
  // Whether a line of stdout began with `text` within `limit`.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds limit) const;
  // Waits at most `limit`; a child still running then is killed (and the
  // result says it did not exit).
  Finished Wait(std::chrono::milliseconds limit);

 private:
  int pid_ = -1;
  std::filesystem::path out_;
  std::filesystem::path err_;
};

// A fresh folder for one test, removed with it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace vxmodem::testing
