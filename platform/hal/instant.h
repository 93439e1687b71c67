// Instants on the machine's virtual timeline, in nanoseconds.
#pragma once

#include <cstdint>

namespace plat::hal {

using Instant = std::uint64_t;

inline constexpr Instant kMicrosecond = 1'000;
inline constexpr Instant kMillisecond = 1'000'000;
inline constexpr Instant kSecond = 1'000'000'000;

}  // namespace plat::hal
