// The host side of a pseudo-terminal: the master end, non-blocking, and a
// stable symlink to the slave that is replaced atomically (a new link under
// a temporary name, then a rename over the old one). Only the bridge's
// calls made through plat::ke::ExternalCall touch it.
#pragma once

#include <cstddef>
#include <string>

namespace plat::pty {

class PtyMaster {
 public:
  // Opens a master, opens and closes its slave once (so that "nobody has
  // the slave open" shows as POLLHUP from the start) and points `link` at
  // the slave. ok() false with error() on failure.
  explicit PtyMaster(std::string link);
  ~PtyMaster();
  PtyMaster(const PtyMaster&) = delete;
  PtyMaster& operator=(const PtyMaster&) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  const std::string& slave_name() const { return slave_name_; }

  // Waits at most `wait_ms` for bytes from the application and appends at
  // most `most` of them to `into`. With nobody on the slave it only waits.
  void ReadInput(std::string& into, std::size_t most, int wait_ms);
  // Waits at most `wait_ms` for room and writes what the master takes from
  // the front of `pending`, erasing it there. With nobody on the slave the
  // bytes are discarded, as a line with nobody listening loses them.
  void WriteOutput(std::string& pending, int wait_ms);

 private:
  std::string link_;
  std::string slave_name_;
  std::string error_;
  int fd_ = -1;
};

}  // namespace plat::pty
