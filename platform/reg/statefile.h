// The state file of a hive: replaced whole on every change, through a
// temporary file beside it, flushed to the disk, and a rename, so that it is
// always either the old or the new content, never a mixture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat::reg {

// Where an injected failure stops a write: after half of the temporary file,
// or with the temporary file complete but not yet renamed.
enum class StateWriteFault { kTempFileCut, kBeforeRename };

class StateFile {
 public:
  explicit StateFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path TempPath() const;

  // False when the file could not be replaced; the old content then stands.
  bool Write(std::string_view text);
  std::uint64_t writes() const { return writes_; }
  // Whether a write could create the temporary file (the folder exists and
  // may be written); changes nothing.
  bool CanWrite() const;

  // The n-th write from now (1 = the next) fails at the given point.
  void FailNthWrite(std::uint64_t n, StateWriteFault fault);

 private:
  std::filesystem::path path_;
  std::uint64_t writes_ = 0;
  std::uint64_t fail_at_ = 0;
  StateWriteFault fault_ = StateWriteFault::kTempFileCut;
};

}  // namespace plat::reg
