#include "app/state_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vxmodem {

std::filesystem::path StateLock::LockPath(const std::filesystem::path& state_file) {
  std::filesystem::path lock = state_file;
  lock += ".lock";
  return lock;
}

StateLock::StateLock(const std::filesystem::path& state_file) {
  const std::filesystem::path lock = LockPath(state_file);
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error_ = "cannot create the lock file " + lock.string() + ": " + std::strerror(errno);
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno == EWOULDBLOCK ? state_file.string() +
                                        " is in use by another program (a running vxmodem or vxreg)"
                                  : "cannot lock " + lock.string() + ": " + std::strerror(errno);
    ::close(fd);
    return;
  }
  fd_ = fd;
}

StateLock::~StateLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace vxmodem
