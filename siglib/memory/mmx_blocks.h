// The block routines of the 64-bit packed-integer registers. m6 runs them
// with ordinary stores; a6 runs the same zero and fill with non-temporal
// stores for long blocks, and its cached copy reads misaligned sources with
// the m6 rules. The zero and the fill release the packed registers before
// they return, so x87 code may follow; the copy's steps and tail leave that
// to the copy that calls them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "siglib/memory/alignment.h"
#include "siglib/memory/block_entries.h"
#include "siglib/memory/vector_access.h"

namespace qvls::mmx {

// Fewer than 64 bytes, or what a 64-byte loop left: 16 bytes per step as two
// 8-byte pieces, then 8, 4, 2 and 1.
inline void CopyTail(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  for (; n >= 16; n -= 16, src += 16, dst += 16) {
    Put8(dst, Get8(src));
    Put8(dst + 8, Get8(src + 8));
  }
  if (n & 8) {
    Put8(dst, Get8(src));
    src += 8;
    dst += 8;
  }
  memory::CopyLastBytes(src, dst, n);
}

// 64-byte steps from a destination on an 8-byte boundary, read by the
// source's alignment: an 8-byte-aligned source in 8-byte pieces; a source 4
// bytes off as 4, 8 and 4 bytes per 16, so that every 8-byte load is aligned;
// any other source first gets one unaligned 8-byte move that brings it to its
// 8-byte boundary, and is then read in aligned 8-byte pieces. Leaves fewer
// than 64 bytes, with the pointers advanced.
inline void CopySteps64(const std::uint8_t*& src, std::uint8_t*& dst, std::size_t& n) {
  if (n < 64) return;
  const std::size_t source_low = AddressOf(src) & 7;
  if (source_low == 4) {
    for (; n >= 64; n -= 64, src += 64, dst += 64) {
      for (int k = 0; k < 64; k += 16) {
        const __m64 a = Get4(src + k);
        const __m64 b = Get8(src + k + 4);
        const __m64 c = Get4(src + k + 12);
        Put8(dst + k, _mm_unpacklo_pi32(a, b));
        Put8(dst + k + 8, _mm_unpacklo_pi32(_mm_srli_si64(b, 32), c));
      }
    }
    return;
  }
  if (source_low != 0) {
    const std::size_t step = 8 - source_low;
    Put8(dst, Get8(src));
    src += step;
    dst += step;
    n -= step;
  }
  for (; n >= 64; n -= 64, src += 64, dst += 64) {
    for (int k = 0; k < 64; k += 8) Put8(dst + k, Get8(src + k));
  }
}

// Fewer than 64 bytes go to the tail; otherwise one unaligned 8-byte store
// brings the destination to its 8-byte boundary, then 64 bytes per step as
// eight 8-byte stores (non-temporal and fenced when streaming), then the tail
// in 32-, 16-, 8-, 4- and 1-byte stores.
template <Stores kStores>
void ZeroBytes(std::uint8_t* dst, std::size_t n) {
  const __m64 zero = _mm_setzero_si64();
  if (n >= 64) {
    const std::size_t head = DistanceToBoundary(dst, 8);
    if (head != 0) {
      Put8(dst, zero);
      dst += head;
      n -= head;
    }
    for (; n >= 64; n -= 64, dst += 64) {
      for (int k = 0; k < 64; k += 8) Put8<kStores>(dst + k, zero);
    }
    if constexpr (kStores == Stores::kStreaming) _mm_sfence();
  }
  for (std::size_t piece = 32; piece >= 8; piece /= 2) {
    if (n < piece) continue;
    for (std::size_t k = 0; k < piece; k += 8) Put8(dst + k, zero);
    dst += piece;
    n -= piece;
  }
  if (n >= 4) {
    Put4(dst, zero);
    dst += 4;
    n -= 4;
  }
  for (; n > 0; --n) *dst++ = 0;
  _mm_empty();
}

// count copies of a word from a destination on a 4-byte boundary. With at
// least 64 bytes to write, the destination is first brought to its 8-byte
// boundary (by one 4-byte store, or when streaming by one unaligned 8-byte
// store), then 64 bytes per step of 8-byte stores holding the word twice;
// then pairs and a last single word.
template <Stores kStores>
void FillAlignedWords(std::uint32_t word, std::uint8_t* dst, std::size_t count) {
  const __m64 pair = _mm_set1_pi32(static_cast<std::int32_t>(word));
  if (count >= 16) {
    if (!IsOnBoundary(dst, 8)) {
      if constexpr (kStores == Stores::kStreaming) {
        Put8(dst, pair);
      } else {
        Put4(dst, pair);
      }
      dst += 4;
      --count;
    }
    for (; count >= 16; count -= 16, dst += 64) {
      for (int k = 0; k < 64; k += 8) Put8<kStores>(dst + k, pair);
    }
    if constexpr (kStores == Stores::kStreaming) _mm_sfence();
  }
  for (; count >= 2; count -= 2, dst += 8) Put8(dst, pair);
  if (count != 0) Put4(dst, pair);
  _mm_empty();
}

// The fill from any address. A destination off its 4-byte boundary gets the
// value stored where its first and its last element lie; the words between,
// from the next 4-byte boundary on, hold the value's bytes rotated by the
// misalignment, so that memory reads value after value.
template <Stores kStores>
void FillWords(std::int32_t value, std::uint8_t* dst, std::size_t count) {
  const auto word = static_cast<std::uint32_t>(value);
  const std::size_t misalignment = AddressOf(dst) & 3;
  if (misalignment == 0) {
    FillAlignedWords<kStores>(word, dst, count);
    return;
  }
  std::memcpy(dst, &word, 4);
  std::memcpy(dst + 4 * (count - 1), &word, 4);
  FillAlignedWords<kStores>(std::rotl(word, static_cast<int>(8 * misalignment)),
                            dst + (4 - misalignment), count - 1);
}

}  // namespace qvls::mmx
