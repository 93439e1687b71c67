#include "platform/reg/statefile.h"

#include <fstream>
#include <system_error>

namespace plat::reg {

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
  const bool cut = inject && fault_ == StateWriteFault::kTempFileCut;

  // The rename is atomic: stopped before it, the old file stands whole; after
  // it, the new one. (A simulated machine never loses power, so nothing is
  // flushed to the disk.) An injected failure leaves its temporary file behind
  // as a stopped process would; the next write replaces it.
  const std::filesystem::path temp = TempPath();
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(cut ? text.size() / 2 : text.size()));
    out.close();
    if (cut) return false;
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      return false;
    }
  }
  if (inject) return false;  // stopped before the rename
  std::error_code error;
  std::filesystem::rename(temp, path_, error);
  return !error;
}

}  // namespace plat::reg
