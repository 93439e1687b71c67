// The classic modems' sine source: a sine table of 64 steps per turn (80
// entries, so that the cosine is the entry 16 steps on) and a first-order
// rotation between its entries.
#pragma once

#include <array>
#include <cstdint>

namespace pump {

// round(32767 sin(2 pi j / 64)) for j = 0..79; entry i + 16 is the cosine of entry i.
inline constexpr std::array<std::int16_t, 80> kSineTable = {
    0,      3212,   6393,   9512,   12539,  15446,  18204,  20787,  23170,  25329,  27245,  28898,
    30273,  31356,  32137,  32609,  32767,  32609,  32137,  31356,  30273,  28898,  27245,  25329,
    23170,  20787,  18204,  15446,  12539,  9512,   6393,   3212,   0,      -3212,  -6393,  -9512,
    -12539, -15446, -18204, -20787, -23170, -25329, -27245, -28898, -30273, -31356, -32137, -32609,
    -32767, -32609, -32137, -31356, -30273, -28898, -27245, -25329, -23170, -20787, -18204, -15446,
    -12539, -9512,  -6393,  -3212,  0,      3212,   6393,   9512,   12539,  15446,  18204,  20787,
    23170,  25329,  27245,  28898,  30273,  31356,  32137,  32609};

struct CosSin {
  std::int16_t cos;
  std::int16_t sin;
};

namespace sine_detail {

struct Rotated {
  std::int32_t cos;
  std::int32_t sin;
};

// The nearest table entry turned by the remaining angle f (Q15 radians,
// |f| <= pi/64): cos - sin f, sin + cos f.
constexpr Rotated Rotate(std::uint16_t phase) {
  const std::uint32_t rounded = phase + 512u;
  const std::size_t entry = (rounded >> 10) & 63;
  const std::int32_t f = ((static_cast<std::int32_t>(rounded & 1023) - 512) * 102940) >> 15;
  const std::int32_t s = kSineTable[entry];
  const std::int32_t c = kSineTable[entry + 16];
  return {c - ((s * f) >> 15), s + ((c * f) >> 15)};
}

}  // namespace sine_detail

// 32767 cos and sin of the phase (65536 = one turn). Both stay within
// +-32767 for every phase (proven at compile time in the .cpp).
constexpr CosSin SineOscillator(std::uint16_t phase) {
  const auto r = sine_detail::Rotate(phase);
  return {static_cast<std::int16_t>(r.cos), static_cast<std::int16_t>(r.sin)};
}

}  // namespace pump
