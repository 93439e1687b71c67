// The fax transmitter's pulse-shaping prototypes (Q15, 32 taps at 9600 Hz).
#pragma once

#include <array>
#include <cstdint>

namespace pump {

using FaxPrototype = std::array<std::int16_t, 32>;

inline constexpr FaxPrototype kV27ter4800Shaping = {
    -35,   271,   636,   730,   212,   -1048, -2730, -4060, -3943, -1377, 4096,
    11946, 20715, 28330, 32767, 32767, 28330, 20715, 11946, 4096,  -1377, -3943,
    -4060, -2730, -1048, 212,   730,   636,   271,   -35,   0,     0,
};
inline constexpr FaxPrototype kV27ter2400Shaping = {
    220,   196,   -105,  -742,  -1697, -2733, -3480, -3411, -2038, 1000,  5737,
    11842, 18584, 24990, 30008, 32767, 32767, 30008, 24990, 18584, 11842, 5737,
    1000,  -2038, -3411, -3480, -2733, -1697, -742,  -105,  196,   220,
};
inline constexpr FaxPrototype kV29V17Shaping = {
    385,   109,   -620,  -1169, -801,  513,   1979,  2203,  378,   -3000, -5715,
    -4855, 1557,  12727, 24861, 32767, 32767, 24861, 12727, 1557,  -4855, -5715,
    -3000, 378,   2203,  1979,  513,   -801,  -1169, -620,  109,   385,
};

}  // namespace pump
