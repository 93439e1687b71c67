#include "platform/pty/tests/slave_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace plat::pty::testing {

int OpenRaw(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

void ReadUntil(int fd, std::string& bytes, std::string_view want, int wait_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (!bytes.ends_with(want) && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace plat::pty::testing
