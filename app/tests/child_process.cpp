#include "app/tests/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace vxmodem::testing {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

Child::Child(const std::filesystem::path& program, const std::vector<std::string>& arguments,
             const std::filesystem::path& dir)
    : out_(dir / "stdout.txt"), err_(dir / "stderr.txt") {
  std::vector<std::string> argv_text{program.string()};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ != 0) return;
  const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

Child::~Child() {
  if (pid_ > 0) Wait(std::chrono::milliseconds(0));
}

void Child::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

bool Child::WaitForOutput(std::string_view text, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::istringstream lines(ReadText(out_));
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with(text)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

Finished Child::Wait(std::chrono::milliseconds limit) {
  Finished finished;
  if (pid_ <= 0) return finished;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  finished.exited = WIFEXITED(status);
  finished.status = finished.exited ? WEXITSTATUS(status) : -1;
  finished.core_dumped = WIFSIGNALED(status) && WCOREDUMP(status);
  finished.out = ReadText(out_);
  finished.err = ReadText(err_);
  return finished;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vxmodem-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data()) != nullptr ? std::filesystem::path(pattern)
                                               : std::filesystem::path();
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) {
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
}

}  // namespace vxmodem::testing
