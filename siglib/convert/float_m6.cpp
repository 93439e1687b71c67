// The float conversions on the x87 unit, four elements per step. To 16 bits:
// the rounding control is set for the call through qvlsChangeFpuControl and
// put back with qvlsLoadFpuControl; saturation is decided on the integer bit
// pattern of each input against the threshold float, so every value that
// reaches the x87 store fits 16 bits. x · 2^-sf is exact on the x87 unit
// whatever its precision control says (at most 24 significant bits), so the
// caller's precision setting does not change any result.
#include <algorithm>
#include <cstring>

#include "siglib/convert/convert.h"
#include "siglib/convert/elements.h"
#include "siglib/convert/float_rules.h"
#include "siglib/frame/fpu_control.h"
#include "siglib/memory/alignment.h"

namespace {

using namespace qvls::convert;

constexpr std::uint32_t kX87RoundNearest = 0x000;
constexpr std::uint32_t kX87RoundTowardZero = 0xC00;

// Four 16-bit integers loaded and stored as floats.
void X87IntegersToFloats(const std::int16_t in[4], float out[4]) {
  asm volatile(
      "filds %[x0]\n\tfstps %[y0]\n\t"
      "filds %[x1]\n\tfstps %[y1]\n\t"
      "filds %[x2]\n\tfstps %[y2]\n\t"
      "filds %[x3]\n\tfstps %[y3]"
      : [y0] "=m"(out[0]), [y1] "=m"(out[1]), [y2] "=m"(out[2]), [y3] "=m"(out[3])
      : [x0] "m"(in[0]), [x1] "m"(in[1]), [x2] "m"(in[2]), [x3] "m"(in[3])
      : "st", "memory");
}

// Four floats times the factor, stored as 16-bit integers under the
// current rounding control.
void X87ScaleToIntegers(const float in[4], double factor, std::int16_t out[4]) {
  asm volatile(
      "fldl %[factor]\n\t"
      "flds %[x0]\n\tfmul %%st(1), %%st\n\tfistps %[y0]\n\t"
      "flds %[x1]\n\tfmul %%st(1), %%st\n\tfistps %[y1]\n\t"
      "flds %[x2]\n\tfmul %%st(1), %%st\n\tfistps %[y2]\n\t"
      "flds %[x3]\n\tfmul %%st(1), %%st\n\tfistps %[y3]\n\t"
      "fstp %%st(0)"
      : [y0] "=m"(out[0]), [y1] "=m"(out[1]), [y2] "=m"(out[2]), [y3] "=m"(out[3])
      : [factor] "m"(factor), [x0] "m"(in[0]), [x1] "m"(in[1]), [x2] "m"(in[2]), [x3] "m"(in[3])
      : "st", "st(1)", "memory");
}

}  // namespace

void qvlsConvert_i16tof32_m6_kernel(const std::int16_t* src, float* dst, std::int32_t len) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  for (std::size_t i = 0; i < n; i += 4) {
    const std::size_t count = std::min<std::size_t>(4, n - i);
    std::int16_t in[4] = {};
    float out[4];
    std::memcpy(in, src + i, count * sizeof(std::int16_t));
    X87IntegersToFloats(in, out);
    std::memcpy(dst + i, out, count * sizeof(float));
  }
}

// Single elements until the destination is on its 8-byte boundary, then
// four per step. An input whose magnitude bits reach the threshold becomes
// 32767 or -32768 by its sign, a NaN 0; the x87 unit converts the rest
// (and a zero in each saturated or NaN place).
void qvlsConvert_f32toi16_sc_m6_kernel(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  if (len <= 0) return;
  const auto n = static_cast<std::size_t>(len);
  sf = ClampScaleFactor(sf);
  const bool nearest = rounding == QVLS_ROUND_NEAREST;
  const std::uint32_t control = nearest ? kX87RoundNearest : kX87RoundTowardZero;
  const std::uint32_t saved = qvlsChangeFpuControl(control, qvls::fpu::kRoundingMask);
  const double factor = PowerOfTwoFactor(sf);
  const std::uint32_t threshold = SaturationThresholdBits(nearest, sf);

  auto convert = [&](std::size_t i, std::size_t count) {
    std::uint32_t bits[4] = {};
    float in[4] = {};
    std::int16_t out[4];
    std::memcpy(bits, src + i, count * sizeof(float));
    for (std::size_t k = 0; k < 4; ++k) {
      if ((bits[k] & kMagnitudeBits) < threshold) std::memcpy(&in[k], &bits[k], sizeof(float));
    }
    X87ScaleToIntegers(in, factor, out);
    for (std::size_t k = 0; k < 4; ++k) {
      if (IsNan(bits[k])) {
        out[k] = 0;
      } else if ((bits[k] & kMagnitudeBits) >= threshold) {
        out[k] = (bits[k] >> 31) != 0 ? -32768 : 32767;
      }
    }
    std::memcpy(dst + i, out, count * sizeof(std::int16_t));
  };
  std::size_t i = 0;
  for (; i < n && !qvls::IsOnBoundary(dst + i, 8); ++i) convert(i, 1);
  for (; n - i >= 4; i += 4) convert(i, 4);
  for (; i < n; ++i) convert(i, 1);

  if ((saved & qvls::fpu::kRoundingMask) != control) qvlsLoadFpuControl(saved);
}

qvls_status qvlsConvert_i16tof32_m6(const std::int16_t* src, float* dst, std::int32_t len) {
  return Checked<qvlsConvert_i16tof32_m6_kernel>(src, dst, len);
}

qvls_status qvlsConvert_f32toi16_sc_m6(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  return Checked<qvlsConvert_f32toi16_sc_m6_kernel>(src, dst, len, rounding, sf);
}
