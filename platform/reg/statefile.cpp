#include "platform/reg/statefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace plat::reg {
namespace {

// Writes all of text to a new file at path and flushes it to the disk.
bool WriteAndSync(const std::filesystem::path& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    ok = written > 0;
    if (ok) text.remove_prefix(static_cast<std::size_t>(written));
  }
  ok = ok && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

}  // namespace

std::filesystem::path StateFile::TempPath() const {
  std::filesystem::path temp = path_;
  temp += ".tmp";
  return temp;
}

void StateFile::FailNthWrite(std::uint64_t n, StateWriteFault fault) {
  fail_at_ = n == 0 ? 0 : writes_ + n;
  fault_ = fault;
}

bool StateFile::Write(std::string_view text) {
  ++writes_;
  const bool inject = writes_ == fail_at_;
  if (inject) fail_at_ = 0;

  // The temporary file reaches the disk before the rename, and the rename is
  // atomic: stopped before it, the old file stands whole; after it, the new
  // one. An injected failure leaves its temporary file behind as a stopped
  // process would; the next write replaces it.
  const std::filesystem::path temp = TempPath();
  if (inject && fault_ == StateWriteFault::kTempFileCut) {
    WriteAndSync(temp, text.substr(0, text.size() / 2));
    return false;
  }
  if (!WriteAndSync(temp, text)) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  if (inject) return false;  // stopped before the rename
  std::error_code error;
  std::filesystem::rename(temp, path_, error);
  return !error;
}

bool StateFile::CanWrite() const {
  const std::filesystem::path temp = TempPath();
  std::error_code ignored;
  const bool existed = std::filesystem::exists(temp, ignored);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  if (!existed) std::filesystem::remove(temp, ignored);
  return true;
}

}  // namespace plat::reg
