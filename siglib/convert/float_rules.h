// The rules every variant of the float-to-16-bit conversion shares, so that
// all four give the same result for every input and every caller's
// floating-point settings: y = x · 2^-sf exactly, rounded by the mode
// (QVLS_ROUND_NEAREST: to nearest, ties to even; any other: toward zero),
// saturated to 16 bits; NaN gives 0; sf is clamped to -160..160 first (no
// float then scales differently: beyond 160 every finite value already
// gives 0, and the doubles that carry x · 2^-sf stay exact).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace qvls::convert {

inline constexpr std::int32_t kScaleFactorLimit = 160;

constexpr std::int32_t ClampScaleFactor(std::int32_t sf) {
  return std::clamp(sf, -kScaleFactorLimit, kScaleFactorLimit);
}

inline constexpr std::uint32_t kMagnitudeBits = 0x7FFFFFFF;
inline constexpr std::uint32_t kInfinityBits = 0x7F800000;

constexpr bool IsNan(std::uint32_t bits) { return (bits & kMagnitudeBits) > kInfinityBits; }

// The float as a double, exactly, from its bit pattern (integer arithmetic
// only, so a caller's denormals-are-zero setting cannot touch it).
inline double WidenExactly(std::uint32_t bits) {
  const std::uint64_t sign = static_cast<std::uint64_t>(bits >> 31) << 63;
  const std::uint32_t exponent = (bits >> 23) & 0xFF;
  const std::uint64_t fraction = bits & 0x7FFFFF;
  std::uint64_t wide;
  if (exponent == 0xFF) {  // infinity or NaN
    wide = sign | (std::uint64_t{0x7FF} << 52) | (fraction << 29);
  } else if (exponent != 0) {
    wide = sign | (std::uint64_t{exponent - 127 + 1023} << 52) | (fraction << 29);
  } else if (fraction == 0) {
    wide = sign;
  } else {  // fraction · 2^-149, normalised
    const int top = 63 - std::countl_zero(fraction);
    wide = sign | (static_cast<std::uint64_t>(top - 149 + 1023) << 52) |
           ((fraction << (52 - top)) & ((std::uint64_t{1} << 52) - 1));
  }
  double value;
  std::memcpy(&value, &wide, sizeof(value));
  return value;
}

// 2^-sf for |sf| <= 160, made by halving 1.0 sf times or doubling it -sf
// times, five steps at a time and then singly; exact in double.
double PowerOfTwoFactor(std::int32_t sf);

// The bits of the smallest float magnitude m with m · 2^-sf at or above
// 32767.5 (nearest) or 32768.0 (toward zero), for |sf| <= 160; the bits of
// infinity when no finite float gets there. A float whose magnitude bits
// reach it saturates; every other value converts within the 16-bit range.
std::uint32_t SaturationThresholdBits(bool nearest, std::int32_t sf);

// x · 2^-sf as one or two single-precision multiplications whose factors
// are normal numbers (each within 2^-126 .. 2^126, made by repeated halving
// or doubling), so every product is exact until it overflows to infinity or
// drops far below 1/2; `count` is 0 for sf = 0.
struct SingleFactors {
  float first;
  float second;
  int count;
};
SingleFactors SplitFactor(std::int32_t sf);

// The SIMD control and status register for the length of a call: all
// exceptions masked, no flush-to-zero, no denormals-are-zero, the given
// rounding field, flags clear. The caller's value is put back exactly,
// flags included, when the scope ends.
inline constexpr std::uint32_t kMxcsrRoundNearest = 0x0000;
inline constexpr std::uint32_t kMxcsrRoundTowardZero = 0x6000;

class CallMxcsr {
 public:
  explicit CallMxcsr(std::uint32_t rounding) : saved_(Read()) {
    const std::uint32_t wanted = kAllExceptionsMasked | rounding;
    if (saved_ != wanted) Load(wanted);
  }
  ~CallMxcsr() {
    if (Read() != saved_) Load(saved_);
  }
  CallMxcsr(const CallMxcsr&) = delete;
  CallMxcsr& operator=(const CallMxcsr&) = delete;

 private:
  static constexpr std::uint32_t kAllExceptionsMasked = 0x1F80;

  // Both are barriers: no load or store of the call's data moves across them.
  static std::uint32_t Read() {
    std::uint32_t value;
    asm volatile("stmxcsr %0" : "=m"(value) : : "memory");
    return value;
  }
  static void Load(std::uint32_t value) { asm volatile("ldmxcsr %0" : : "m"(value) : "memory"); }

  std::uint32_t saved_;
};

}  // namespace qvls::convert
