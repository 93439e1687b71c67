// The block operations in 128-bit integer registers.
//
// Copy: one unaligned 16-byte move brings the destination to its 16-byte
// boundary. Up to 0x20000 bytes beyond the first 64 it is a cached copy;
// longer copies choose by the distance from source to destination modulo
// 65,536 between plain streaming, the cached copy and the block path, which
// touches each 256 KB step of the source before streaming it. Zero and fill
// store 64 bytes per step, non-temporal beyond 0x40000 bytes.
#include <bit>
#include <cstring>

#include "siglib/memory/alignment.h"
#include "siglib/memory/block_entries.h"
#include "siglib/memory/vector_access.h"

namespace {

using qvls::AddressOf;
using qvls::DistanceToBoundary;
using qvls::IsOnBoundary;
using namespace qvls::sse2;

constexpr std::size_t kCachedCopyLimit = 0x20000;  // bytes beyond the first 64 after alignment
constexpr std::size_t kCachedZeroLimit = 0x40000;
constexpr std::size_t kWideStepsAbove = 304;  // aligned sources: 128-byte steps above this
constexpr std::size_t kBlockStep = 262144;
constexpr std::size_t kTouchStride = 128;

// 16 bytes read as four 4-byte pieces.
__m128i LoadQuarters(const std::uint8_t* p) {
  return _mm_unpacklo_epi64(_mm_unpacklo_epi32(Load4(p), Load4(p + 4)),
                            _mm_unpacklo_epi32(Load4(p + 8), Load4(p + 12)));
}

// 8-byte moves, then 4, 2 and 1.
void CopyTail(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  for (; n >= 8; n -= 8, src += 8, dst += 8) Store8(dst, Load8(src));
  qvls::memory::CopyLastBytes(src, dst, n);
}

// 64 bytes per step to a 16-byte-aligned destination with aligned stores,
// each 16 bytes read by `load`.
template <auto load>
void CachedSteps64(const std::uint8_t*& src, std::uint8_t*& dst, std::size_t& n) {
  for (; n >= 64; n -= 64, src += 64, dst += 64) {
    for (int k = 0; k < 64; k += 16) Store16(dst + k, load(src + k));
  }
}

// The cached copy, from a destination on its 16-byte boundary; its loads
// follow the source's alignment. Leaves fewer than 128 bytes for the tail.
void CachedCopy(const std::uint8_t*& src, std::uint8_t*& dst, std::size_t& n) {
  const std::size_t source_low = AddressOf(src) & 15;
  if (source_low == 0) {
    if (n <= kWideStepsAbove) {
      CachedSteps64<Load16>(src, dst, n);
      return;
    }
    for (; n >= 128; n -= 128, src += 128, dst += 128) {
      __m128i v[8];
      for (int k = 0; k < 8; ++k) v[k] = Load16(src + 16 * k);
      for (int k = 0; k < 8; ++k) Store16(dst + 16 * k, v[k]);
    }
  } else if ((source_low & 7) == 4) {
    CachedSteps64<LoadQuarters>(src, dst, n);
  } else {
    CachedSteps64<LoadHalves>(src, dst, n);
  }
}

// Non-temporal 16-byte stores, 64 bytes per step, no prefetch; fenced.
void PlainStreaming(const std::uint8_t*& src, std::uint8_t*& dst, std::size_t& n) {
  for (; n >= 64; n -= 64, src += 64, dst += 64) {
    for (int k = 0; k < 64; k += 16) Stream16(dst + k, LoadUnaligned16(src + k));
  }
  _mm_sfence();
}

void StreamSteps64(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  for (; n >= 64; n -= 64, src += 64, dst += 64) {
    for (int k = 0; k < 64; k += 16) Stream16(dst + k, LoadHalves(src + k));
  }
}

// Steps of 256 KB: one byte of every 128 of the step's source is read first,
// then the step is streamed; the rest is streamed 64 bytes at a time; fenced.
void BlockPath(const std::uint8_t*& src, std::uint8_t*& dst, std::size_t& n) {
  for (; n >= kBlockStep; n -= kBlockStep, src += kBlockStep, dst += kBlockStep) {
    for (std::size_t k = 0; k < kBlockStep; k += kTouchStride) qvls::memory::Touch(src + k);
    StreamSteps64(src, dst, kBlockStep);
  }
  const std::size_t streamed = n & ~std::size_t{63};
  StreamSteps64(src, dst, streamed);
  src += streamed;
  dst += streamed;
  n -= streamed;
  _mm_sfence();
}

enum class LongCopy { kPlainStreaming, kCached, kBlockPath };

// Distances (destination minus source, modulo 65,536) at which a long copy
// streams plainly or stays cached; every other distance takes the block path.
struct DistanceRanges {
  std::uint32_t cached_first, cached_last, streaming_first, streaming_last;
};
constexpr DistanceRanges kSourceOn8{200, 336, 337, 432};
constexpr DistanceRanges kSourceOff8{18, 260, 261, 372};

LongCopy ChooseLongCopy(const std::uint8_t* src, const std::uint8_t* dst, bool source_on_8) {
  const auto k = static_cast<std::uint32_t>((AddressOf(dst) - AddressOf(src)) & 0xFFFF);
  const DistanceRanges& r = source_on_8 ? kSourceOn8 : kSourceOff8;
  if (k >= r.streaming_first && k <= r.streaming_last) return LongCopy::kPlainStreaming;
  if (k >= r.cached_first && k <= r.cached_last) return LongCopy::kCached;
  return LongCopy::kBlockPath;
}

void CopyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  const bool source_on_8 = IsOnBoundary(src, 8);
  if (n >= 64) {
    const std::size_t head = DistanceToBoundary(dst, 16);
    if (head != 0) {
      StoreUnaligned16(dst, LoadUnaligned16(src));
      src += head;
      dst += head;
      n -= head;
    }
    const LongCopy path =
        n <= kCachedCopyLimit + 64 ? LongCopy::kCached : ChooseLongCopy(src, dst, source_on_8);
    switch (path) {
      case LongCopy::kCached:
        CachedCopy(src, dst, n);
        break;
      case LongCopy::kPlainStreaming:
        PlainStreaming(src, dst, n);
        break;
      case LongCopy::kBlockPath:
        BlockPath(src, dst, n);
        break;
    }
  }
  CopyTail(src, dst, n);
}

// n bytes of a pattern that repeats every 4 bytes (zero, or a broadcast
// word from a 4-byte-aligned destination). Fewer than 16 bytes take 4-byte
// and single-byte stores; otherwise one unaligned 16-byte store aligns the
// destination to 16, then 64 bytes per step of aligned stores (non-temporal
// and fenced beyond 0x40000 bytes after the first 64), then up to three
// 16-byte, three 4-byte and three single-byte stores. A byte count that is
// not a multiple of 4 comes only with the zero pattern.
void StoreRepeated(__m128i pattern, std::uint8_t* dst, std::size_t n) {
  if (n >= 16) {
    const std::size_t head = DistanceToBoundary(dst, 16);
    if (head != 0) {
      StoreUnaligned16(dst, pattern);
      dst += head;
      n -= head;
    }
    if (n <= kCachedZeroLimit + 64) {
      for (; n >= 64; n -= 64, dst += 64) {
        for (int k = 0; k < 64; k += 16) Store16(dst + k, pattern);
      }
    } else {
      for (; n >= 64; n -= 64, dst += 64) {
        for (int k = 0; k < 64; k += 16) Stream16(dst + k, pattern);
      }
      _mm_sfence();
    }
    for (; n >= 16; n -= 16, dst += 16) Store16(dst, pattern);
  }
  const auto word = static_cast<std::uint32_t>(_mm_cvtsi128_si32(pattern));
  for (; n >= 4; n -= 4, dst += 4) std::memcpy(dst, &word, 4);
  for (; n > 0; --n) *dst++ = static_cast<std::uint8_t>(word);
}

void ZeroBytes(std::uint8_t* dst, std::size_t n) { StoreRepeated(_mm_setzero_si128(), dst, n); }

// A 4-byte-aligned destination is filled like the zero. One on a 2-byte
// boundary gets the value where its first and last elements lie and, from
// the next 4-byte boundary on, the value with its 16-bit halves swapped; an
// odd one is filled one 4-byte store at a time.
void FillWords(std::int32_t value, std::uint8_t* dst, std::size_t count) {
  const auto word = static_cast<std::uint32_t>(value);
  switch (AddressOf(dst) & 3) {
    case 0:
      StoreRepeated(_mm_set1_epi32(value), dst, 4 * count);
      return;
    case 2:
      std::memcpy(dst, &word, 4);
      std::memcpy(dst + 4 * (count - 1), &word, 4);
      StoreRepeated(_mm_set1_epi32(static_cast<std::int32_t>(std::rotl(word, 16))), dst + 2,
                    4 * (count - 1));
      return;
    default:
      for (; count > 0; --count, dst += 4) std::memcpy(dst, &word, 4);
  }
}

}  // namespace

QVLS_DEFINE_BLOCK_ENTRIES(w7, CopyBytes, ZeroBytes, FillWords)
