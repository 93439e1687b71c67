#include "platform/pty/pty_master.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace plat::pty {
namespace {

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

// Polls the master for `events`; the events that came, 0 after the wait.
short PollMaster(int fd, short events, int wait_ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, wait_ms) > 0 ? p.revents : 0;
}

// Points `link` at `target` atomically: a new link under a temporary name,
// renamed over the old one.
bool Relink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
      ::rename(temporary.c_str(), link.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

PtyMaster::PtyMaster(std::string link) : link_(std::move(link)) {
  int fd = -1;
  std::string slave;
  if (!OpenPair(fd, slave)) return;
  if (!Relink(link_, slave)) {
    error_ = Failed("cannot make the link " + link_);
    ::close(fd);
    return;
  }
  slave_name_ = slave;
  fd_ = fd;
}

PtyMaster::~PtyMaster() {
  if (fd_ >= 0) ::close(fd_);
  if (slave_name_.empty()) return;
  ::unlink(link_.c_str());
  ::unlink(lines_path().c_str());
}

bool PtyMaster::OpenPair(int& fd, std::string& slave) {
  fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = Failed("posix_openpt");
    return false;
  }
  char name[128];
  int packet = 1;
  if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0 ||
      ::ioctl(fd, TIOCPKT, &packet) != 0) {
    error_ = Failed("cannot unlock the pseudo-terminal");
    ::close(fd);
    return false;
  }
  const int slave_fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_fd < 0) {
    error_ = Failed("cannot open the slave");
    ::close(fd);
    return false;
  }
  ::close(slave_fd);
  slave = name;
  return true;
}

std::string PtyMaster::slave_name() const {
  std::shared_lock lock(pair_mutex_);
  return slave_name_;
}

MasterEvents PtyMaster::ReadInput(std::string& into, std::size_t most, int wait_ms) {
  std::shared_lock lock(pair_mutex_);
  const short events = PollMaster(fd_, most > 0 ? POLLIN | POLLPRI : POLLPRI, wait_ms);
  MasterEvents result{.slave_open = (events & POLLHUP) == 0, .pair = renewals_};
  bool got_any = false;
  if (events & (POLLIN | POLLPRI)) {
    // In packet mode each read starts with a status byte: 0 before data,
    // else the flushes (and nothing else comes with it).
    // The read goes straight behind what `into` holds, status byte first.
    const std::size_t at = into.size();
    into.resize(at + most + 1);
    const ssize_t got = ::read(fd_, into.data() + at, (events & POLLPRI) ? 1 : most + 1);
    const auto status = got > 0 ? static_cast<unsigned char>(into[at]) : TIOCPKT_DATA;
    into.resize(got > 0 && status == TIOCPKT_DATA ? at + static_cast<std::size_t>(got) : at);
    if (got > 0) {
      got_any = true;
      if (status == TIOCPKT_DATA) {
        into.erase(at, 1);
      } else {
        result.flush_read = (status & TIOCPKT_FLUSHREAD) != 0;
        result.flush_write = (status & TIOCPKT_FLUSHWRITE) != 0;
      }
    }
  }
  // Nobody has the slave open and nothing is left: the master reports that
  // at once, so wait here.
  if (!got_any && (events & POLLHUP)) ::poll(nullptr, 0, wait_ms);
  return result;
}

void PtyMaster::WriteOutput(std::string& pending, int wait_ms) {
  std::shared_lock lock(pair_mutex_);
  const short events = PollMaster(fd_, POLLOUT, wait_ms);
  if (events & POLLHUP) {
    pending.clear();
    return;
  }
  if (!(events & POLLOUT)) return;
  const ssize_t put = ::write(fd_, pending.data(), pending.size());
  if (put > 0) pending.erase(0, static_cast<std::size_t>(put));
}

bool PtyMaster::Settings(termios& settings) {
  std::shared_lock lock(pair_mutex_);
  return ::tcgetattr(fd_, &settings) == 0;
}

void PtyMaster::PurgeStale() {
  std::shared_lock lock(pair_mutex_);
  const int slave = ::open(slave_name_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return;
  ::tcflush(slave, TCIFLUSH);
  ::close(slave);
  if (PollMaster(fd_, POLLPRI, 0) & POLLPRI) {
    char status = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd_, &status, 1);
  }
}

bool PtyMaster::Renew() {
  std::unique_lock lock(pair_mutex_);
  ::close(fd_);
  fd_ = -1;
  int fd = -1;
  std::string slave;
  if (!OpenPair(fd, slave)) return false;
  if (!Relink(link_, slave)) {
    error_ = Failed("cannot move the link " + link_);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  slave_name_ = slave;
  ++renewals_;
  return true;
}

void PtyMaster::WriteLines(const std::string& line, std::uint64_t version) {
  std::lock_guard lock(lines_mutex_);
  if (version <= lines_version_) return;
  lines_version_ = version;
  const std::string path = lines_path();
  const std::string temporary = path + ".new";
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << line << '\n';
    if (!file.flush()) return;
  }
  ::rename(temporary.c_str(), path.c_str());
}

}  // namespace plat::pty
