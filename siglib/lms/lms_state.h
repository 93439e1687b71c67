// The multi-rate LMS filter's record and the two windows on its delay line.
//
// The delay line keeps a circular history of delayLen samples twice: the
// sample of slot p (0 .. delayLen - 1) sits at positions p and p + delayLen,
// so the history in time order is always the contiguous run index ..
// index + delayLen - 1, oldest first, and no kernel ever tests for
// wrap-around:
//
//   output window: stored tap i multiplies position OutputStart + i * delayStep,
//   update window: stored tap i adapts with position UpdateStart + i * delayStep,
//
// the update window lying updateDelay pushes older than the output window.
// Taps are stored in reverse order (stored tap i is the caller's tap
// tapsLen - 1 - i), so taps and window advance together.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/frame/types.h"

struct lms_state {
  std::uint32_t marker;    // LMSR (real) or LMSC (complex)
  std::int32_t* taps;      // tapsLen 32-bit taps, or tapsLen pairs {re, im}; 32-byte aligned
  std::int16_t* delay;     // 2 * delayLen samples, or 2 * delayLen pairs {re, im}; 32-byte aligned
  std::int32_t tapsLen;    // at least 1
  std::int32_t delayStep;  // input samples between the samples of neighbouring taps, at least 1
  std::int32_t delayLen;   // tapsLen * delayStep + updateDelay
  std::int32_t updateDelay;  // how many pushes older the update's samples are, at least 0
  std::int32_t
      index;        // 0 .. delayLen - 1: the slot of the oldest sample, which the next push takes
  std::int32_t mu;  // step size of the update
  std::int32_t shift;  // 0; the update rounds by the rule for shift <= 0
};

namespace qvls::lms {

// The four characters read from the most significant byte down.
inline constexpr std::uint32_t kMarkerReal = 0x4C4D5352;     // "LMSR"
inline constexpr std::uint32_t kMarkerComplex = 0x4C4D5343;  // "LMSC"

enum class Kind { kReal, kComplex };

// What differs between a real and a complex state.
template <Kind>
struct KindOf;

template <>
struct KindOf<Kind::kReal> {
  static constexpr std::uint32_t kMarker = kMarkerReal;
  using Tap = std::int32_t;
  using Sample = std::int16_t;
  static constexpr std::int32_t kWords = 1;  // 32-bit tap words per tap, 16-bit words per sample
};

template <>
struct KindOf<Kind::kComplex> {
  static constexpr std::uint32_t kMarker = kMarkerComplex;
  using Tap = qvls_ci32;
  using Sample = qvls_ci16;
  static constexpr std::int32_t kWords = 2;
};

// Positions (in samples) of the first sample of each window.
constexpr std::int32_t OutputStart(const lms_state& s) {
  return s.index + s.updateDelay + s.delayStep - 1;
}
constexpr std::int32_t UpdateStart(const lms_state& s) { return s.index + s.delayStep - 1; }

// The first 16-bit word of the sample at position p, for either kind.
template <Kind kKind>
std::int16_t* SampleAt(const lms_state& s, std::int32_t p) {
  return s.delay + static_cast<std::ptrdiff_t>(p) * KindOf<kKind>::kWords;
}

}  // namespace qvls::lms
