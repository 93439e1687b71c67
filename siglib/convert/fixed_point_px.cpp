// The generic fixed-point conversions of the transforms. They check
// nothing: a count of 0 or less writes nothing.
#include "siglib/convert/convert.h"
#include "siglib/convert/elements.h"
#include "siglib/convert/scalar_loops.h"
#include "siglib/frame/integer_rules.h"

namespace {

using namespace qvls::convert;

// x · 2^shift in 32-bit two's complement.
std::int32_t ShiftInto32(std::int32_t x, std::int32_t shift) {
  if (shift >= 32) return 0;
  if (shift < 0) return x >> (shift < -31 ? 31 : -shift);
  return qvls::WrapShiftLeft32(x, shift);
}

// x · 2^-sf, ties toward +infinity, saturated to 16 bits. The rounding
// addition is done in 64 bits, so values near 2^31 cannot wrap.
std::int16_t ScaleTo16(std::int32_t x, std::int32_t sf) {
  if (sf > 0) {
    const int n = sf > 32 ? 32 : sf;  // beyond 32 every value gives 0, as at 32
    return qvls::Saturate16((std::int64_t{x} + (std::int64_t{1} << (n - 1))) >> n);
  }
  if (sf == 0) return qvls::Saturate16(x);
  const std::int64_t n = sf < -31 ? 31 : -std::int64_t{sf};  // from 16 on only the sign counts
  if (x > (32767 >> n)) return 32767;
  if (x < (n >= 16 ? 0 : (-32768 >> n))) return -32768;
  return static_cast<std::int16_t>(qvls::WrapShiftLeft32(x, static_cast<int>(n)));
}

// floor(x · 23170 / 32768) without a 64-bit product: the high 16 bits of x
// times 46340 plus the low 16 bits times 23170, shifted right by 15.
std::int32_t TimesInvSqrt2(std::int32_t x) {
  return (x >> 16) * 46340 + (((x & 0xFFFF) * 23170) >> 15);
}

}  // namespace

void qvlsConvertShift_i16toi32(const std::int16_t* src, std::int32_t* dst, std::int32_t len,
                               std::int32_t shift) {
  if (len <= 0) return;
  ByFives(static_cast<std::size_t>(len),
          [=](std::size_t i) { StoreAt(dst, i, ShiftInto32(LoadAt(src, i), shift)); });
}

void qvlsConvertScaled_i32toi16(const std::int32_t* src, std::int16_t* dst, std::int32_t len,
                                std::int32_t sf) {
  if (len <= 0) return;
  ByFives(static_cast<std::size_t>(len),
          [=](std::size_t i) { StoreAt(dst, i, ScaleTo16(LoadAt(src, i), sf)); });
}

void qvlsMulInvSqrt2_i32_ip(std::int32_t* srcdst, std::int32_t len) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  std::size_t i = 0;
  for (; n - i >= 4; i += 4) {
    for (std::size_t k = 0; k < 4; ++k)
      StoreAt(srcdst, i + k, TimesInvSqrt2(LoadAt(srcdst, i + k)));
  }
  for (; i < n; ++i) StoreAt(srcdst, i, TimesInvSqrt2(LoadAt(srcdst, i)));
}
