// Where the arrays of a state lie and how many bytes it needs, by layout and
// tap count. Computed in 64 bits: a huge tap count gives a huge size, which
// the operations refuse, never a wrapped small one.
#pragma once

#include <cstdint>

#include "siglib/fir/fir_state.h"

namespace qvls::fir {

inline constexpr std::int64_t kHeaderBytes = sizeof(fir_state);
inline constexpr std::int64_t kWorkBytes = 16384;  // 8192 16-bit words, 4096 complex pairs
inline constexpr std::int64_t kSlackBytes = 16;    // counted by the size, never used by the state

struct Geometry {
  std::int64_t taps;  // byte offsets from the state's first byte
  std::int64_t delay;
  std::int64_t taps16;
  std::int64_t work;
  std::int64_t bytes;      // what the size operations report: the state plus the slack
  std::int64_t row_len;    // 16-bit words per tap row (rows layout; 0 otherwise)
  std::int64_t delay_len;  // elements (pairs for complex) of the delay buffer
  std::int64_t prefill;
};

constexpr std::int64_t RoundUp16(std::int64_t bytes) { return (bytes + 15) / 16 * 16; }

// The smallest multiple of 8 that is at least len + 4.
constexpr std::int64_t RowLength(std::int64_t len) { return (len + 11) / 8 * 8; }

// 4·ceil(len / 4): outputs the block kernels take from the delay buffer.
constexpr std::int64_t QuadLength(std::int64_t len) { return (len + 3) / 4 * 4; }

constexpr Geometry GeometryOf(Layout layout, std::int32_t len) {
  const std::int64_t n = len;
  Geometry g{};
  std::int64_t taps_bytes = 4 * n;
  std::int64_t taps16_bytes = 0;
  switch (layout) {
    case Layout::kGenericReal:
      g.delay_len = 3 * n + 4;
      taps16_bytes = 8 * n;
      g.prefill = QuadLength(n) + 1;
      break;
    case Layout::kRowsReal:
      g.row_len = RowLength(n);
      g.delay_len = g.row_len + 2 * n + 4;
      taps16_bytes = 4 * 2 * g.row_len;
      g.prefill = g.row_len;
      break;
    case Layout::kGenericComplex:
    case Layout::kPairedComplex:
      taps_bytes = 8 * n;
      g.delay_len = 3 * n + 4;
      taps16_bytes = layout == Layout::kPairedComplex ? 16 * n : 0;
      g.prefill = 2 * QuadLength(n) + 2;  // counted in 16-bit words
      break;
  }
  const std::int64_t element_bytes = IsComplex(layout) ? 4 : 2;
  g.taps = kHeaderBytes;
  g.delay = g.taps + RoundUp16(taps_bytes);
  g.taps16 = g.delay + RoundUp16(element_bytes * g.delay_len);
  g.work = g.taps16 + RoundUp16(taps16_bytes);
  g.bytes = g.work + kWorkBytes + kSlackBytes;
  return g;
}

// Whether a state of this size can be described by the 32-bit size result.
constexpr bool FitsInt32(const Geometry& g) { return g.bytes <= INT32_MAX; }

}  // namespace qvls::fir
