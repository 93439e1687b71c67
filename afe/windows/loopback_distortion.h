// The loopback self test's measure: how far the block that came back
// through the codec differs from the block sent, in percent, once the
// delay of the loop is found and the power of both is matched.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/nt/ntdef.h"

namespace afe {

// The test signal: 64 samples, odd about sample 32 (sample 32 + k is the
// negative of sample 32 - k), sent three times over.
inline constexpr std::array<SHORT, 64> kLoopbackSignal = {
    0,      10880,  28045,  20352,  -6312,  14658, 7401,   -19176, 12264,  -3987,  -13358,
    18153,  -16334, -22938, 819,    2595,   24185, 6087,   -16751, 1916,   17868,  31996,
    8463,   -6575,  21938,  2387,   -17487, 16902, 27890,  6246,   2461,   11162,  0,
    -11162, -2461,  -6246,  -27890, -16902, 17487, -2387,  -21938, 6575,   -8463,  -31996,
    -17868, -1916,  16751,  -6087,  -24185, -2595, -819,   22938,  16334,  -18153, 13358,
    3987,   -12264, 19176,  -7401,  -14658, 6312,  -20352, -28045, -10880,
};
inline constexpr ULONG kLoopbackSamples = 3 * kLoopbackSignal.size();  // 192

// Sums of products are kept wide enough that no input can overflow them:
// a power-matched block may hold values far beyond 16 bits.
using CorrelationSum = __int128;

struct CorrelationPeak {
  int index;             // 0 to lags - 1
  CorrelationSum value;  // the sum at that index
  int lags;              // min(2n - 1, 100)
};

// For lag index i = 0 to lags - 1, the sum over k of r[k] * s[i + n -
// lags / 4 - k] (terms outside the blocks count 0), n the length of both
// blocks; the index of the largest magnitude, the later one on ties.
// A block delayed by d against the signal peaks at index lags / 4 + d.
CorrelationPeak FindCorrelationPeak(std::span<const std::int64_t> r,
                                    std::span<const std::int64_t> s);

// The distortion in percent of `received` against `sent` (blocks of equal
// length, at most kLoopbackSamples): the delay d from the correlation peak; the sent block scaled
// to the received block's power over the n - d samples both share; then
// |(A - X) * 100 / A|, A the scaled block's peak against itself and X the
// received block's (shifted by d) against it. Saturates at 0xFFFFFFFF.
// Nothing when it cannot be measured: blocks empty, unequal or too long, a
// delay outside 0 to n - 1, or a block without power (nothing came back, or nothing was sent
// over the shared samples).
std::optional<ULONG> LoopbackDistortion(std::span<const SHORT> sent,
                                        std::span<const SHORT> received);

}  // namespace afe
