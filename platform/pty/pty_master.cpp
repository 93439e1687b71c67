#include "platform/pty/pty_master.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plat::pty {
namespace {

std::string Failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Polls the master for `events`; the events that came, 0 after the wait.
short PollMaster(int fd, short events, int wait_ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, wait_ms) > 0 ? p.revents : 0;
}

}  // namespace

PtyMaster::PtyMaster(std::string link) : link_(std::move(link)) {
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = Failed("posix_openpt");
    return;
  }
  char name[128];
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
    error_ = Failed("cannot unlock the pseudo-terminal");
    ::close(fd);
    return;
  }
  slave_name_ = name;
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    error_ = Failed("cannot open the slave");
    ::close(fd);
    return;
  }
  ::close(slave);
  const std::string temporary = link_ + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(name, temporary.c_str()) != 0 || ::rename(temporary.c_str(), link_.c_str()) != 0) {
    error_ = Failed(("cannot make the link " + link_).c_str());
    ::unlink(temporary.c_str());
    ::close(fd);
    return;
  }
  fd_ = fd;
}

PtyMaster::~PtyMaster() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(link_.c_str());
}

void PtyMaster::ReadInput(std::string& into, std::size_t most, int wait_ms) {
  const short events = PollMaster(fd_, POLLIN, wait_ms);
  if (events & POLLHUP) {
    // Nobody has the slave open: the master reports that at once, so wait here.
    ::poll(nullptr, 0, wait_ms);
    return;
  }
  if (!(events & POLLIN)) return;
  const std::size_t old = into.size();
  into.resize(old + most);
  const ssize_t got = ::read(fd_, into.data() + old, most);
  into.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
}

void PtyMaster::WriteOutput(std::string& pending, int wait_ms) {
  const short events = PollMaster(fd_, POLLOUT, wait_ms);
  if (events & POLLHUP) {
    pending.clear();
    return;
  }
  if (!(events & POLLOUT)) return;
  const ssize_t put = ::write(fd_, pending.data(), pending.size());
  if (put > 0) pending.erase(0, static_cast<std::size_t>(put));
}

}  // namespace plat::pty
