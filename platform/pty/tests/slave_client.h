// A host program's side of the pseudo-terminal in tests: the slave opened
// through the bridge's link.
#pragma once

#include <string>
#include <string_view>

namespace plat::pty::testing {

// Opens `path` in raw mode (no echo or line editing by the pseudo-terminal
// itself); -1 on failure.
int OpenRaw(const std::string& path);
// Reads from `fd` until `bytes` ends with `want` or `wait_ms` passed.
void ReadUntil(int fd, std::string& bytes, std::string_view want, int wait_ms);

}  // namespace plat::pty::testing
