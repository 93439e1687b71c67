// The delay buffer around a block: the new samples appended behind the
// history window, so that the first outputs read one contiguous sequence,
// and afterwards the newest `len` samples of history and block moved to
// positions 0 to len-1 (the caller then sets index to 0).
#pragma once

#include <algorithm>
#include <cstdint>

#include "siglib/frame/unaligned.h"

namespace qvls::fir {

// window: the history, oldest first; the first `count` source samples go
// to window positions len onward.
template <class Sample>
void AppendBehind(Sample* window, std::int32_t len, const Sample* src, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) StoreAt(window, len + i, LoadAt(src, i));
}

// The sequence is the window (history, then what was appended) followed by
// the source. A block shorter than len leaves its newest samples in the
// buffer, at or above their destination: copied first to last.
template <class Sample>
void KeepNewest(Sample* delay, const Sample* window, const Sample* src, std::int32_t n,
                std::int32_t len) {
  if (n >= len) {
    for (std::int32_t i = 0; i < len; ++i) StoreAt(delay, i, LoadAt(src, n - len + i));
  } else {
    for (std::int32_t i = 0; i < len; ++i) StoreAt(delay, i, LoadAt(window, n + i));
  }
}

// Samples a block appends: at most `limit`, never more than it has.
constexpr std::int32_t Appended(std::int32_t n, std::int32_t limit) { return std::min(n, limit); }

}  // namespace qvls::fir
