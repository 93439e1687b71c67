// The system time in microseconds, for the modes' timing measurements.
#pragma once

#include <cstdint>

namespace pump {

// KeQuerySystemTime (100 ns units) divided by 10; also stored through
// `out` when it is given.
std::uint64_t GetTimeUs(std::uint64_t* out = nullptr);

}  // namespace pump
