// The block operations with 128-bit single-precision moves, 64-bit
// packed-integer registers, prefetch hints and non-temporal stores.
//
// Copy, by the byte count: below 8,192 a cached copy; from 8,192 a streaming
// copy (non-temporal stores, fenced); from 16,384 the destination is first
// brought to its 8-byte boundary, and from 20,480 remaining bytes the source
// is copied in 4 KB chunks, each prefetched before it is streamed. Zero and
// fill run the m6 routines, with non-temporal stores from 20,480 bytes.
#include "siglib/memory/block_entries.h"
#include "siglib/memory/mmx_blocks.h"

namespace {

using qvls::DistanceToBoundary;
using qvls::IsOnBoundary;
using qvls::mmx::Stores;

constexpr std::size_t kStreamingFrom = 8192;
constexpr std::size_t kLargeFrom = 16384;
constexpr std::size_t kChunkedFrom = 20480;
constexpr std::size_t kChunk = 4096;
constexpr std::size_t kCacheLine = 32;
constexpr std::size_t kStreamingZeroFrom = 20480;

void Move16(const std::uint8_t* src, std::uint8_t* dst) {
  _mm_storeu_ps(reinterpret_cast<float*>(dst), _mm_loadu_ps(reinterpret_cast<const float*>(src)));
}

// Below 8,192 bytes: one unaligned 16-byte move brings the destination to its
// 16-byte boundary; a 16-byte-aligned source is then moved 16 bytes at a time
// with aligned loads and stores, any other source by the m6 rules; 64 bytes
// per step, then the m6 tail.
void CachedCopy(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  if (n >= 64) {
    const std::size_t head = DistanceToBoundary(dst, 16);
    if (head != 0) {
      Move16(src, dst);
      src += head;
      dst += head;
      n -= head;
    }
    if (IsOnBoundary(src, 16)) {
      for (; n >= 64; n -= 64, src += 64, dst += 64) {
        for (int k = 0; k < 64; k += 16) {
          _mm_store_ps(reinterpret_cast<float*>(dst + k),
                       _mm_load_ps(reinterpret_cast<const float*>(src + k)));
        }
      }
    } else {
      qvls::mmx::CopySteps64(src, dst, n);
    }
  }
  qvls::mmx::CopyTail(src, dst, n);
  _mm_empty();
}

// One unaligned 16-byte move aligns the destination to 16, and a source off
// its 8-byte boundary gets one more that aligns it to 16; then 64 bytes per
// step as eight 8-byte loads and non-temporal 8-byte stores, the tail with
// cached stores, and a store fence.
void StreamingCopy(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  if (n >= 64) {
    std::size_t head = DistanceToBoundary(dst, 16);
    if (head != 0) {
      Move16(src, dst);
      src += head;
      dst += head;
      n -= head;
    }
    if (!IsOnBoundary(src, 8)) {
      head = DistanceToBoundary(src, 16);
      Move16(src, dst);
      src += head;
      dst += head;
      n -= head;
    }
    for (; n >= 64; n -= 64, src += 64, dst += 64) {
      for (int k = 0; k < 64; k += 8) {
        qvls::mmx::Put8<Stores::kStreaming>(dst + k, qvls::mmx::Get8(src + k));
      }
    }
  }
  qvls::mmx::CopyTail(src, dst, n);
  _mm_sfence();
  _mm_empty();
}

// Brings a 4 KB chunk of the source towards the processor: its first and
// last bytes are read and every line gets a non-temporal prefetch hint.
void PrefetchChunk(const std::uint8_t* src) {
  qvls::memory::Touch(src);
  qvls::memory::Touch(src + kChunk - 1);
  for (std::size_t k = 0; k < kChunk; k += kCacheLine) {
    _mm_prefetch(reinterpret_cast<const char*>(src + k), _MM_HINT_NTA);
  }
}

void LargeCopy(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  for (; !IsOnBoundary(dst, 8); --n) *dst++ = *src++;
  if (n < kChunkedFrom) {
    StreamingCopy(src, dst, n);
    return;
  }
  // Up to the source's next 4 KB boundary, counted from the source rounded
  // down to 8; then whole chunks; then the rest.
  const std::size_t first = kChunk - ((qvls::AddressOf(src) & ~std::uintptr_t{7}) & (kChunk - 1));
  StreamingCopy(src, dst, first);
  src += first;
  dst += first;
  n -= first;
  for (; n >= kChunk; n -= kChunk, src += kChunk, dst += kChunk) {
    PrefetchChunk(src);
    StreamingCopy(src, dst, kChunk);
  }
  StreamingCopy(src, dst, n);
}

void CopyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  if (n < kStreamingFrom) {
    CachedCopy(src, dst, n);
  } else if (n < kLargeFrom) {
    StreamingCopy(src, dst, n);
  } else {
    LargeCopy(src, dst, n);
  }
}

void ZeroBytes(std::uint8_t* dst, std::size_t n) {
  if (n < kStreamingZeroFrom) {
    qvls::mmx::ZeroBytes<Stores::kCached>(dst, n);
  } else {
    qvls::mmx::ZeroBytes<Stores::kStreaming>(dst, n);
  }
}

void FillWords(std::int32_t value, std::uint8_t* dst, std::size_t count) {
  if (count * 4 < kStreamingZeroFrom) {
    qvls::mmx::FillWords<Stores::kCached>(value, dst, count);
  } else {
    qvls::mmx::FillWords<Stores::kStreaming>(value, dst, count);
  }
}

}  // namespace

QVLS_DEFINE_BLOCK_ENTRIES(a6, CopyBytes, ZeroBytes, FillWords)
