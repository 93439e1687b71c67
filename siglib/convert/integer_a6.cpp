// Widening and narrowing eight elements per step in 64-bit packed-integer
// registers, with stores that bypass the cache (and a store fence) when more
// than 2731 elements remain after the head; the flip reverses four elements
// per register (flip_words.h). A destination off its element boundary takes
// the generic loop.
#include "siglib/convert/convert.h"
#include "siglib/convert/flip_words.h"
#include "siglib/convert/scalar_loops.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::convert;
using qvls::IsOnBoundary;
using qvls::mmx::Get8;
using qvls::mmx::Put8;
using qvls::mmx::Stores;

constexpr std::size_t kBypassAbove = 2731;  // about 16 KB of source and destination

// Each pair of source values in the high halves of two 32-bit lanes, shifted
// right arithmetically by 16.
template <Stores kStores>
std::size_t WidenEights(const std::int16_t* src, std::int32_t* dst, std::size_t n) {
  const __m64 zero = _mm_setzero_si64();
  std::size_t i = 0;
  for (; n - i >= 8; i += 8) {
    const __m64 a = Get8(src + i);
    const __m64 b = Get8(src + i + 4);
    Put8<kStores>(dst + i, _mm_srai_pi32(_mm_unpacklo_pi16(zero, a), 16));
    Put8<kStores>(dst + i + 2, _mm_srai_pi32(_mm_unpackhi_pi16(zero, a), 16));
    Put8<kStores>(dst + i + 4, _mm_srai_pi32(_mm_unpacklo_pi16(zero, b), 16));
    Put8<kStores>(dst + i + 6, _mm_srai_pi32(_mm_unpackhi_pi16(zero, b), 16));
  }
  if constexpr (kStores == Stores::kStreaming) _mm_sfence();
  return i;
}

void Widen(const std::int16_t* src, std::int32_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (!IsOnBoundary(dst, 4)) {
    WidenScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + i, 8); ++i) WidenOne(src, dst, i);
  i += n - i > kBypassAbove ? WidenEights<Stores::kStreaming>(src + i, dst + i, n - i)
                            : WidenEights<Stores::kCached>(src + i, dst + i, n - i);
  _mm_empty();
  for (; i < n; ++i) WidenOne(src, dst, i);
}

// One element through the signed saturating pack.
void NarrowOneByPack(const std::int32_t* src, std::int16_t* dst, std::size_t i) {
  const __m64 packed = _mm_packs_pi32(_mm_cvtsi32_si64(LoadAt(src, i)), _mm_setzero_si64());
  StoreAt(dst, i, static_cast<std::int16_t>(_mm_cvtsi64_si32(packed)));
}

// Four 8-byte loads, two signed saturating packs, two 8-byte stores.
template <Stores kStores>
std::size_t NarrowEights(const std::int32_t* src, std::int16_t* dst, std::size_t n) {
  std::size_t i = 0;
  for (; n - i >= 8; i += 8) {
    Put8<kStores>(dst + i, _mm_packs_pi32(Get8(src + i), Get8(src + i + 2)));
    Put8<kStores>(dst + i + 4, _mm_packs_pi32(Get8(src + i + 4), Get8(src + i + 6)));
  }
  if constexpr (kStores == Stores::kStreaming) _mm_sfence();
  return i;
}

void Narrow(const std::int32_t* src, std::int16_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (!IsOnBoundary(dst, 2)) {
    NarrowScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + i, 8); ++i) NarrowOneByPack(src, dst, i);
  i += n - i > kBypassAbove ? NarrowEights<Stores::kStreaming>(src + i, dst + i, n - i)
                            : NarrowEights<Stores::kCached>(src + i, dst + i, n - i);
  for (; i < n; ++i) NarrowOneByPack(src, dst, i);
  _mm_empty();
}

void Flip(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  FlipWords(src, dst, static_cast<std::size_t>(len));
}

}  // namespace

QVLS_DEFINE_INTEGER_CONVERSIONS(a6, Widen, Narrow, Flip)
