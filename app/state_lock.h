// The advisory lock on a registry state file, held by whoever may change the
// file: vxmodem for its whole run, vxreg while it sets a value or resets.
// It is taken on a file beside the state file, "<state>.lock", because the
// state file itself is replaced by a rename at every write (a lock on it
// would stay with the old file). The lock file is left in place.
#pragma once

#include <filesystem>
#include <string>

namespace vxmodem {

class StateLock {
 public:
  // Tries once, without waiting.
  explicit StateLock(const std::filesystem::path& state_file);
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

  bool held() const { return fd_ >= 0; }
  // Why the lock is not held: "FILE is in use by another program (a running
  // vxmodem or vxreg)", or the lock file's creation failure.
  const std::string& error() const { return error_; }

  static std::filesystem::path LockPath(const std::filesystem::path& state_file);

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace vxmodem
