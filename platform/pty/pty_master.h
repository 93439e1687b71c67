// The host side of a pseudo-terminal: the master end, non-blocking and in
// packet mode (so the application's flushes are reported), and a stable
// symlink to the slave that is replaced atomically (a new link under a
// temporary name, then a rename over the old one), with the modem lines in
// a one-line status file beside it. Only the bridge's calls made through
// plat::ke::ExternalCall touch it, from two host threads at once.
#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>

namespace plat::pty {

// What the master reported besides data.
struct MasterEvents {
  bool slave_open = false;   // someone has the slave open
  bool flush_read = false;   // the application dropped what it had not read
  bool flush_write = false;  // the application dropped what it had not sent
  std::uint64_t pair = 0;    // how many renewals came before the read
};

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
  std::string slave_name() const;
  std::string lines_path() const { return link_ + ".lines"; }

  // Waits at most `wait_ms` for bytes or a flush from the application and
  // appends at most `most` bytes to `into` (with `most` 0 only flushes are
  // taken). With nobody on the slave and nothing left to read it only waits.
  MasterEvents ReadInput(std::string& into, std::size_t most, int wait_ms);
  // Waits at most `wait_ms` for room and writes what the master takes from
  // the front of `pending`, erasing it there. With nobody on the slave the
  // bytes are discarded, as a line with nobody listening loses them.
  void WriteOutput(std::string& pending, int wait_ms);
  // The slave's terminal settings; false when they cannot be read.
  bool Settings(termios& settings);
  // Drops what waits in the slave for the application (bytes from an
  // earlier open), swallowing the flush report that makes.
  void PurgeStale();
  // Closes the master (the application reads end of file), makes a new
  // pair and moves the link to its slave; false with error() on failure.
  bool Renew();
  // Writes `line` as the status file (a temporary file renamed over it),
  // unless a later `version` was written already.
  void WriteLines(const std::string& line, std::uint64_t version);

 private:
  bool OpenPair(int& fd, std::string& slave);

  std::string link_;
  std::string slave_name_;
  std::string error_;
  int fd_ = -1;
  // Shared by reads and writes, held alone while the pair is renewed.
  mutable std::shared_mutex pair_mutex_;
  std::uint64_t renewals_ = 0;  // pairs Renew made, under pair_mutex_
  std::mutex lines_mutex_;
  std::uint64_t lines_version_ = 0;
};

}  // namespace plat::pty
