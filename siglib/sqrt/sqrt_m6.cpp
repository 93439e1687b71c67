// The square root, m6 variant: the bit-by-bit root in 64-bit packed registers
// for sf 0 .. 8, and for sf -1 .. -14 the x87 root at single precision with
// the table of the inputs whose 24-bit root lands on the wrong side of a
// half-integer.
#include <mmintrin.h>

#include <cstdint>
#include <cstring>
#include <span>

#include "siglib/frame/fpu_control.h"
#include "siglib/sqrt/sqrt_bitwise_m64.h"
#include "siglib/sqrt/sqrt_entries.h"
#include "siglib/sqrt/sqrt_rules.h"

namespace qvls::sqrt {
namespace {

// ---- sf 0 .. 8 ----------------------------------------------------------

// The floor of the root of 0 <= x <= 32767, one bit at a time.
std::int32_t FloorRoot(std::int32_t x) {
  std::int32_t r = 0;
  for (std::int32_t b = 128; b != 0; b >>= 1) {
    if ((r | b) * (r | b) <= x) r |= b;
  }
  return r;
}

// The result for sf 0 .. 8 from the floor f of the root, by the tests of the
// packed kernel.
std::int32_t ScaledFromFloor(std::int32_t x, std::int32_t f, std::int32_t sf) {
  if (sf == 0) return f + (x > f * f + f);
  const std::int32_t r = f & ~((1 << sf) - 1);
  const std::int32_t c = r >> sf;
  const std::int32_t d = r + (1 << (sf - 1));
  return c + (x + (c & 1) > d * d);
}

bool SingleElements(std::int16_t* p, std::int32_t n, std::int32_t sf) {
  return ForEachElement(p, n,
                        [sf](std::int32_t x) { return ScaledFromFloor(x, FloorRoot(x), sf); });
}

// Four elements in place; negative ones count as 0 and mark `signs`.
void Packed4(std::int16_t* p, std::int32_t sf, __m64& signs) {
  __m64 x;
  std::memcpy(&x, p, sizeof x);
  signs = _mm_or_si64(signs, x);
  x = _mm_andnot_si64(_mm_srai_pi16(x, 15), x);
  const __m64 y = BitwiseRootScaled(x, sf);
  std::memcpy(p, &y, sizeof y);
}

bool PackedKernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  std::int16_t* p = srcdst;
  std::int32_t n = len;
  bool negative = false;
  // Single elements until the address is a multiple of 8 bytes (an odd
  // address never is; its groups go unaligned).
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  if (address % 2 == 0) {
    const auto head = static_cast<std::int32_t>((8 - address % 8) % 8 / 2);
    const std::int32_t h = head < n ? head : n;
    negative |= SingleElements(p, h, sf);
    p += h;
    n -= h;
  }
  __m64 signs = _mm_setzero_si64();
  for (; n >= 8; p += 8, n -= 8) {
    Packed4(p, sf, signs);
    Packed4(p + 4, sf, signs);
  }
  negative |= (_mm_cvtm64_si64(signs) & 0x8000800080008000) != 0;
  _mm_empty();
  return negative | SingleElements(p, n, sf);
}

// ---- sf -1 .. -14 ---------------------------------------------------------

// The root of X on the x87 unit, converted to an integer, both under the
// precision and rounding the control word holds.
std::int64_t X87Root(std::int64_t big_x) {
  std::int64_t r;
  asm volatile("fildll %1\n\tfsqrt\n\tfistpll %0" : "=m"(r) : "m"(big_x) : "st", "memory");
  return r;
}

// The inputs whose 24-bit root, rounded to nearest, lands on the wrong side
// of a half-integer, with their results.
struct Exception {
  std::int32_t sf;
  std::int32_t x;
  std::int32_t result;
};
constexpr Exception kExceptions[] = {
    {-4, 20727, 2303}, {-4, 25590, 2559}, {-4, 30965, 2815}, {-5, 9213, 3071},
    {-5, 16380, 4095}, {-5, 17116, 4187}, {-5, 25595, 5119}, {-5, 25615, 5121},
    {-5, 26513, 5211}, {-9, 1783, 21619}, {-9, 2321, 24667}, {-9, 4018, 32455},
};

std::span<const Exception> ExceptionsOf(std::int32_t sf) {
  std::size_t first = 0;
  while (first < std::size(kExceptions) && kExceptions[first].sf != sf) ++first;
  std::size_t last = first;
  while (last < std::size(kExceptions) && kExceptions[last].sf == sf) ++last;
  return std::span(kExceptions).subspan(first, last - first);
}

// The largest element whose scaled root stays below 32767.5.
constexpr std::int32_t LastUnsaturated(std::int32_t k) {
  if (k < 8) return 32767;
  if (k == 8) return 16382;
  if (k == 9) return 4095;
  return (1 << (30 - 2 * k)) - 1;
}

constexpr std::uint32_t kPrecisionRoundingMask = 0xF00;
constexpr std::uint32_t kSingleNearest = 0x000;   // 24-bit significand, to nearest
constexpr std::uint32_t kSingleTruncate = 0xC00;  // 24-bit significand, toward zero

bool X87Kernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  const std::int32_t k = -sf;
  const std::int32_t last = LastUnsaturated(k);
  // Toward zero the converted root is the floor, then rounded by an exact test.
  const bool truncate = sf == -6 || sf == -7 || sf == -8;
  const std::uint32_t setting = truncate ? kSingleTruncate : kSingleNearest;
  const std::span<const Exception> exceptions = ExceptionsOf(sf);

  const std::uint32_t caller = qvlsChangeFpuControl(setting, kPrecisionRoundingMask);
  const bool negative = ForEachElement(srcdst, len, [&](std::int32_t x) -> std::int32_t {
    if (x > last) return 32767;
    const std::int64_t big_x = std::int64_t{x} << (2 * k);
    std::int64_t s = X87Root(big_x);
    if (truncate) return static_cast<std::int32_t>(s + (big_x > s * s + s));
    for (const Exception& e : exceptions) {
      if (e.x == x) s = e.result;
    }
    return static_cast<std::int32_t>(s);
  });
  if ((caller & kPrecisionRoundingMask) != setting) qvlsLoadFpuControl(caller);
  return negative;
}

bool Kernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  return sf >= 0 ? PackedKernel(srcdst, len, sf) : X87Kernel(srcdst, len, sf);
}

}  // namespace
}  // namespace qvls::sqrt

qvls_status qvlsSqrt_i16_ip_sc_m6(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  return qvls::sqrt::Run(srcdst, len, sf, qvls::sqrt::Kernel);
}
