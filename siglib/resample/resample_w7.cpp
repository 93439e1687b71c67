// Up- and down-sampling, w7 variant: block kernels for every factor above 1
// (down-sampling by 3 or more only from 48 inputs on); factor 1 through the
// w7 copy. Outputs go to the destination in 32-bit words or 128-bit stores,
// whatever its alignment; every kernel writes exactly the generic loop's
// samples.
#include <emmintrin.h>

#include <cstring>

#include "siglib/memory/alignment.h"
#include "siglib/memory/memory.h"
#include "siglib/memory/vector_access.h"
#include "siglib/resample/resample_entries.h"
#include "siglib/resample/resample_rules.h"

namespace {

using namespace qvls::resample;
using namespace qvls::sse2;
using qvls::IsOnBoundary;
using qvls::LoadAt;
using qvls::StoreAt;

// Two samples as one 32-bit word, the first in the low half.
void StorePair(std::int16_t* dst, std::int16_t first, std::int16_t second) {
  const std::uint32_t word = static_cast<std::uint16_t>(first) |
                             static_cast<std::uint32_t>(static_cast<std::uint16_t>(second)) << 16;
  std::memcpy(dst, &word, sizeof word);
}

void Store(std::int16_t* dst, __m128i v) {
  if (IsOnBoundary(dst, 16)) {
    Store16(dst, v);
  } else {
    StoreUnaligned16(dst, v);
  }
}

// Down by 2: single samples until the destination is 8-byte aligned (never,
// at an odd address); then 16 inputs to 8 outputs per step, by shuffles that
// keep the even samples when the source is 8-byte aligned there, and by
// pairs of samples joined into 32-bit stores otherwise; then one at a time.
void DownBy2(const std::int16_t* src, std::int32_t len, std::int16_t* dst, DownState& s) {
  const bool odd_destination = qvls::AddressOf(dst) % 2 != 0;
  while (s.next < len && (odd_destination || !IsOnBoundary(dst + s.written, 8))) {
    StoreAt(dst, s.written++, LoadAt(src, s.next));
    s.next += 2;
  }
  const bool shuffles = IsOnBoundary(src + s.next, 8);
  for (; len - s.next >= 16; s.next += 16, s.written += 8) {
    const std::int16_t* in = src + s.next;
    std::int16_t* out = dst + s.written;
    if (shuffles) {
      const __m128i a = _mm_srai_epi32(_mm_slli_epi32(LoadUnaligned16(in), 16), 16);
      const __m128i b = _mm_srai_epi32(_mm_slli_epi32(LoadUnaligned16(in + 8), 16), 16);
      Store(out, _mm_packs_epi32(a, b));
    } else {
      for (std::int32_t k = 0; k < 4; ++k)
        StorePair(out + 2 * k, LoadAt(in, 4 * k), LoadAt(in, 4 * k + 2));
    }
  }
  DownGeneric(src, len, dst, 2, s);
}

// Down by 3 or more from 48 inputs: one sample first when the destination is
// not 4-byte aligned, then 8 outputs per step as four 32-bit words, then one
// at a time.
void DownBy3OrMore(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                   std::int32_t factor, DownState& s) {
  if (!IsOnBoundary(dst, 4) && s.next < len) {
    StoreAt(dst, s.written++, LoadAt(src, s.next));
    s.next += factor;
  }
  const std::int64_t span = 7 * std::int64_t{factor};  // from the first to the eighth kept input
  for (; s.next + span < len; s.next += 8 * std::int64_t{factor}, s.written += 8) {
    const std::int16_t* in = src + s.next;
    for (std::int32_t k = 0; k < 4; ++k) {
      StorePair(dst + s.written + 2 * k, LoadAt(in, 2 * k * factor),
                LoadAt(in, (2 * k + 1) * factor));
    }
  }
  DownGeneric(src, len, dst, factor, s);
}

void Down(const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t factor,
          DownState& s) {
  if (factor == 2) {
    DownBy2(src, len, dst, s);
  } else if (len >= 48) {
    DownBy3OrMore(src, len, dst, factor, s);
  } else {
    DownGeneric(src, len, dst, factor, s);
  }
}

// Up by 2: every input becomes one 32-bit word with the sample in its first
// (phase 0) or second (phase 1) half. With a 4-byte-aligned source and an
// 8-byte-aligned destination, single steps bring the source to a 16-byte
// (phase 1) or 8-byte (phase 0) boundary, then 16 inputs per step go out in
// four 128-bit stores; otherwise, and for the rest, one at a time.
void UpBy2(const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t phase) {
  auto single = [&](std::int32_t i) {
    const std::int16_t x = LoadAt(src, i);
    if (phase == 0) {
      StorePair(dst + 2 * i, x, 0);
    } else {
      StorePair(dst + 2 * i, 0, x);
    }
  };
  std::int32_t i = 0;
  if (IsOnBoundary(src, 4) && IsOnBoundary(dst, 8)) {
    for (; i < len && !IsOnBoundary(src + i, phase == 0 ? 8 : 16); ++i) single(i);
    const __m128i zero = _mm_setzero_si128();
    for (; len - i >= 16; i += 16) {
      for (std::int32_t k = 0; k < 16; k += 8) {
        const __m128i x = LoadUnaligned16(src + i + k);
        std::int16_t* out = dst + 2 * (i + k);
        Store(out, phase == 0 ? _mm_unpacklo_epi16(x, zero) : _mm_unpacklo_epi16(zero, x));
        Store(out + 8, phase == 0 ? _mm_unpackhi_epi16(x, zero) : _mm_unpackhi_epi16(zero, x));
      }
    }
  }
  for (; i < len; ++i) single(i);
}

// Up by 3 or more, in chunks of at most 8192 inputs: the chunk's outputs are
// zeroed (single samples up to a 16-byte boundary, 32 per step in 128-bit
// stores, then single samples), then its inputs are written at stride
// factor from the phase, four per step.
constexpr std::int32_t kUpChunk = 8192;

void Zero(std::int16_t* dst, std::int64_t n) {
  std::int64_t i = 0;
  // At an odd address the boundary is never reached: all single samples.
  for (; i < n && !IsOnBoundary(dst + i, 16); ++i) StoreAt(dst, i, std::int16_t{0});
  const __m128i zero = _mm_setzero_si128();
  for (; n - i >= 32; i += 32) {
    for (std::int32_t k = 0; k < 32; k += 8) Store16(dst + i + k, zero);
  }
  for (; i < n; ++i) StoreAt(dst, i, std::int16_t{0});
}

void UpBy3OrMore(const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t factor,
                 std::int32_t phase) {
  for (std::int32_t done = 0; done < len; done += kUpChunk) {
    const std::int32_t count = len - done < kUpChunk ? len - done : kUpChunk;
    std::int16_t* out = dst + static_cast<std::int64_t>(done) * factor;
    Zero(out, static_cast<std::int64_t>(count) * factor);
    std::int32_t i = 0;
    for (; count - i >= 4; i += 4) {
      for (std::int32_t k = i; k < i + 4; ++k) {
        StoreAt(out, static_cast<std::int64_t>(k) * factor + phase, LoadAt(src, done + k));
      }
    }
    for (; i < count; ++i)
      StoreAt(out, static_cast<std::int64_t>(i) * factor + phase, LoadAt(src, done + i));
  }
}

void Up(const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t factor,
        std::int32_t phase) {
  if (factor == 2) {
    UpBy2(src, len, dst, phase);
  } else {
    UpBy3OrMore(src, len, dst, factor, phase);
  }
}

}  // namespace

qvls_status qvlsUpsample_i16_w7(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                                std::int32_t* dst_len, std::int32_t factor,
                                const std::int32_t* phase) {
  return Upsample<qvlsCopy_i16_w7, Up>(src, len, dst, dst_len, factor, phase);
}

qvls_status qvlsDownsample_i16_w7(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                                  std::int32_t* dst_len, std::int32_t factor, std::int32_t* phase) {
  return Downsample<qvlsCopy_i16_w7, Down>(src, len, dst, dst_len, factor, phase);
}
