// The generic float conversions, one element per step in double-precision
// scalar arithmetic that is exact for every input: the rounding setting, the
// flush and denormal settings and the flags of the caller are neither used
// nor changed.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "siglib/convert/convert.h"
#include "siglib/convert/elements.h"
#include "siglib/convert/float_rules.h"

namespace {

using namespace qvls::convert;

void I16ToF32(const std::int16_t* src, float* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  std::size_t i = 0;
  for (; n - i >= 4; i += 4) {
    for (std::size_t k = 0; k < 4; ++k) StoreAt(dst, i + k, static_cast<float>(LoadAt(src, i + k)));
  }
  for (; i < n; ++i) StoreAt(dst, i, static_cast<float>(LoadAt(src, i)));
}

// r truncated toward zero by taking its exponent and mantissa apart (an
// exponent below that of 1.0 gives 0), and whether r was that integer
// already. |r| stays below 2^15 here.
struct Truncated {
  std::int32_t value;
  bool exact;
};
Truncated TruncateByBits(double r) {
  std::uint64_t bits;
  std::memcpy(&bits, &r, sizeof(bits));
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
  const int fraction_bits = std::min(52 - exponent, 63);
  const auto magnitude = static_cast<std::int32_t>(mantissa >> fraction_bits);
  const std::int32_t sign = -static_cast<std::int32_t>(bits >> 63);  // 0 or -1
  const bool exact = (mantissa & ((std::uint64_t{1} << fraction_bits) - 1)) == 0;
  return {(magnitude ^ sign) - sign, exact};
}

// y = x · 2^-sf, limited to -32768.0 .. 32767.0 (the saturation), then
// truncated, or rounded: r = y ± 0.5 truncated, and a tie (r an odd integer)
// moved one step back toward zero. Below one half in magnitude y counts as
// 0, so that y ± 0.5 is always exact.
template <bool kNearest>
std::int16_t ConvertOne(std::uint32_t bits, double factor) {
  if (IsNan(bits)) return 0;
  const double y = std::clamp(WidenExactly(bits) * factor, -32768.0, 32767.0);
  if constexpr (!kNearest) return static_cast<std::int16_t>(TruncateByBits(y).value);
  const double away = std::fabs(y) < 0.5 ? 0.0 : y;
  const Truncated r = TruncateByBits(away + std::copysign(0.5, away));
  const std::int32_t tie = r.value & 1 & static_cast<std::int32_t>(r.exact);
  return static_cast<std::int16_t>(r.value - tie * ((r.value > 0) - (r.value < 0)));
}

template <bool kNearest>
void ConvertAll(const float* src, std::int16_t* dst, std::size_t n, double factor) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t bits;
    std::memcpy(&bits, src + i, sizeof(bits));
    StoreAt(dst, i, ConvertOne<kNearest>(bits, factor));
  }
}

void F32ToI16(const float* src, std::int16_t* dst, std::int32_t len, std::int32_t rounding,
              std::int32_t sf) {
  const double factor = PowerOfTwoFactor(ClampScaleFactor(sf));  // 1.0 for sf = 0
  const auto n = static_cast<std::size_t>(len);
  if (rounding == QVLS_ROUND_NEAREST) {
    ConvertAll<true>(src, dst, n, factor);
  } else {
    ConvertAll<false>(src, dst, n, factor);
  }
}

}  // namespace

qvls_status qvlsConvert_i16tof32_px(const std::int16_t* src, float* dst, std::int32_t len) {
  return Checked<I16ToF32>(src, dst, len);
}

qvls_status qvlsConvert_f32toi16_sc_px(const float* src, std::int16_t* dst, std::int32_t len,
                                       std::int32_t rounding, std::int32_t sf) {
  return Checked<F32ToI16>(src, dst, len, rounding, sf);
}
