// The transmit gain table: entry k is the linear gain (Q15) of k dB of
// attenuation, entry 0 full scale. Entries 1 to 95 fall by 1 dB each from
// 31990; the last four round to 0.
#pragma once

#include <array>
#include <cstdint>

namespace pump {

inline constexpr std::array<std::int16_t, 96> kAfeGainTable = {
    32767, 31990, 28511, 25411, 22647, 20184, 17989, 16033, 14289, 12735, 11350, 10116, 9016, 8035,
    7161,  6383,  5688,  5070,  4518,  4027,  3589,  3199,  2851,  2541,  2264,  2018,  1798, 1603,
    1428,  1273,  1135,  1011,  901,   803,   716,   638,   568,   507,   451,   402,   358,  319,
    285,   254,   226,   201,   179,   160,   142,   127,   113,   101,   90,    80,    71,   63,
    56,    50,    45,    40,    35,    31,    28,    25,    22,    20,    17,    16,    14,   12,
    11,    10,    9,     8,     7,     6,     5,     5,     4,     4,     3,     3,     2,    2,
    2,     2,     1,     1,     1,     1,     1,     1,     0,     0,     0,     0,
};

}  // namespace pump
