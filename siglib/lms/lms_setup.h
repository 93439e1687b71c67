// Making, loading and reading an LMS state: create, destroy, set and get
// taps, the taps pointer, set and get delay line, get delay value and set
// step, for either kind. Every variant runs these same steps; they differ
// only in the copy and zero entries (BlockOps) through which they move the
// taps and the delay line.
//
// Checks come first and in a fixed order (pointers -8, the marker -17, then
// the values -6 or -5); a failing operation changes nothing.
#pragma once

#include <cstdint>
#include <limits>
#include <new>

#include "siglib/frame/unaligned.h"
#include "siglib/lms/lms_state.h"
#include "siglib/memory/memory.h"

namespace qvls::lms {
namespace {

// One variant's block entries that the set-up operations call.
struct BlockOps {
  qvlsCopy_i16_fn* copy_i16;
  qvlsCopy_i32_fn* copy_i32;
  qvlsZero_i16_fn* zero_i16;
  qvlsZero_i32_fn* zero_i32;
};

template <Kind kKind>
constexpr bool HasMarker(const lms_state& s) {
  return s.marker == KindOf<kKind>::kMarker;
}

// Copies n samples (either kind) with the variant's copy entry.
template <Kind kKind>
void CopySamples(const BlockOps& ops, const std::int16_t* src, std::int16_t* dst, std::int32_t n) {
  if constexpr (kKind == Kind::kReal) {
    ops.copy_i16(src, dst, n);
  } else {
    ops.copy_i32(reinterpret_cast<const std::int32_t*>(src), reinterpret_cast<std::int32_t*>(dst),
                 n);
  }
}

// Both copies of the delay line from the caller's delayLen samples, or both
// cleared when there are none.
template <Kind kKind>
void LoadDelayLine(const BlockOps& ops, lms_state& s, const typename KindOf<kKind>::Sample* line) {
  const std::int32_t n = s.delayLen;
  if (line == nullptr) {
    if constexpr (kKind == Kind::kReal) {
      ops.zero_i16(s.delay, 2 * n);
    } else {
      ops.zero_i32(reinterpret_cast<std::int32_t*>(s.delay), 2 * n);
    }
    return;
  }
  const auto* src = reinterpret_cast<const std::int16_t*>(line);
  CopySamples<kKind>(ops, src, s.delay, n);
  CopySamples<kKind>(ops, src, SampleAt<kKind>(s, n), n);
}

// The caller's taps, reversed into the stored order, or all 0 when there
// are none.
template <Kind kKind>
void LoadTaps(const BlockOps& ops, lms_state& s, const typename KindOf<kKind>::Tap* taps) {
  const std::int32_t n = s.tapsLen;
  if (taps == nullptr) {
    ops.zero_i32(s.taps, n * KindOf<kKind>::kWords);
    return;
  }
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t i = n - 1 - k;
    if constexpr (kKind == Kind::kReal) {
      s.taps[i] = LoadAt(taps, k);
    } else {
      const qvls_ci32 tap = LoadAt(taps, k);
      s.taps[2 * i] = tap.re;
      s.taps[2 * i + 1] = tap.im;
    }
  }
}

// The three blocks of a state; destroy takes down whatever is not null.
inline qvls_status Destroy(lms_state* state) {
  if (state == nullptr) return QVLS_OK;
  if (state->delay != nullptr) qvlsFree_px(state->delay);
  if (state->taps != nullptr) qvlsFree_px(state->taps);
  qvlsFree_px(state);
  return QVLS_OK;
}

// delayLen = tapsLen * delayStep + updateDelay is formed in 64 bits: it and
// the doubled line's size in bytes must stay within INT32_MAX, and a negative
// updateDelay would put the windows outside the line. Nothing is written
// before every check has passed, so the caller's pointer keeps its value on
// -8 and -6; on -9 it is null and every block taken has been given back.
template <Kind kKind>
qvls_status Create(const BlockOps& ops, lms_state** state, const typename KindOf<kKind>::Tap* taps,
                   std::int32_t tapsLen, const typename KindOf<kKind>::Sample* delayLine,
                   std::int32_t index, std::int32_t delayStep, std::int32_t updateDelay,
                   std::int32_t mu) {
  using Sample = typename KindOf<kKind>::Sample;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (tapsLen <= 0 || delayStep <= 0 || updateDelay < 0) return QVLS_ERR_DATA_SIZE;
  const std::int64_t delayLen = std::int64_t{tapsLen} * delayStep + updateDelay;
  if (2 * delayLen * static_cast<std::int64_t>(sizeof(Sample)) > kMax) return QVLS_ERR_DATA_SIZE;
  if (index < 0 || index >= delayLen) return QVLS_ERR_DATA_SIZE;

  std::uint8_t* record = qvlsAlloc_u8_px(sizeof(lms_state));
  if (record == nullptr) {
    *state = nullptr;
    return QVLS_ERR_MEM_ALLOCATED;
  }
  auto* s = new (record) lms_state{};
  s->marker = KindOf<kKind>::kMarker;
  s->tapsLen = tapsLen;
  s->delayStep = delayStep;
  s->delayLen = static_cast<std::int32_t>(delayLen);
  s->updateDelay = updateDelay;
  s->index = index;
  s->mu = mu;
  s->shift = 0;
  if constexpr (kKind == Kind::kReal) {
    s->taps = qvlsAlloc_i32(tapsLen);
    s->delay = qvlsAlloc_i16_px(2 * s->delayLen);
  } else {
    s->taps = reinterpret_cast<std::int32_t*>(qvlsAlloc_ci32(tapsLen));
    s->delay = reinterpret_cast<std::int16_t*>(qvlsAlloc_i32(2 * s->delayLen));
  }
  if (s->taps == nullptr || s->delay == nullptr) {
    Destroy(s);
    *state = nullptr;
    return QVLS_ERR_MEM_ALLOCATED;
  }
  LoadTaps<kKind>(ops, *s, taps);
  LoadDelayLine<kKind>(ops, *s, delayLine);
  *state = s;
  return QVLS_OK;
}

template <Kind kKind>
qvls_status SetTaps(const BlockOps& ops, lms_state* state,
                    const typename KindOf<kKind>::Tap* taps) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  LoadTaps<kKind>(ops, *state, taps);
  return QVLS_OK;
}

// The full 32-bit taps (or pairs) in the caller's order.
template <Kind kKind>
qvls_status GetTaps(const lms_state* state, typename KindOf<kKind>::Tap* dst) {
  if (state == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  const std::int32_t n = state->tapsLen;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t k = n - 1 - i;
    if constexpr (kKind == Kind::kReal) {
      StoreAt(dst, k, state->taps[i]);
    } else {
      StoreAt(dst, k, qvls_ci32{state->taps[2 * i], state->taps[2 * i + 1]});
    }
  }
  return QVLS_OK;
}

// The stored (reversed) taps in place, for either kind; no marker check.
inline qvls_status TapsPointer(lms_state* state, std::int32_t** taps) {
  if (state == nullptr || taps == nullptr) return QVLS_ERR_NULL_POINTER;
  *taps = state->taps;
  return QVLS_OK;
}

// An index outside 0 .. delayLen - 1 would send the next push outside the
// line: -6, and nothing changes.
template <Kind kKind>
qvls_status SetDelayLine(const BlockOps& ops, lms_state* state,
                         const typename KindOf<kKind>::Sample* line, std::int32_t index) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  if (index < 0 || index >= state->delayLen) return QVLS_ERR_DATA_SIZE;
  state->index = index;
  LoadDelayLine<kKind>(ops, *state, line);
  return QVLS_OK;
}

// The delayLen samples in slot order, and the index: the slot of the oldest
// sample, the one the next push overwrites.
template <Kind kKind>
qvls_status GetDelayLine(const BlockOps& ops, const lms_state* state,
                         typename KindOf<kKind>::Sample* dst, std::int32_t* index) {
  if (state == nullptr || dst == nullptr || index == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  StoreAt(index, 0, state->index);
  CopySamples<kKind>(ops, state->delay, reinterpret_cast<std::int16_t*>(dst), state->delayLen);
  return QVLS_OK;
}

// The sample at offset k of the output window: 0 is what the caller's last
// tap multiplies, (tapsLen - 1) * delayStep the newest sample; larger offsets
// continue cyclically with the oldest. The position wraps within the first
// copy, so no offset up to delayLen reads past the line.
template <Kind kKind>
qvls_status GetDelayValue(const lms_state* state, typename KindOf<kKind>::Sample* dst,
                          std::int32_t offset) {
  if (state == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  if (offset < 0 || offset > state->delayLen) return QVLS_ERR_BAD_ARG;
  const auto position =
      static_cast<std::int32_t>((std::int64_t{OutputStart(*state)} + offset) % state->delayLen);
  const std::int16_t* sample = SampleAt<kKind>(*state, position);
  if constexpr (kKind == Kind::kReal) {
    StoreAt(dst, 0, sample[0]);
  } else {
    StoreAt(dst, 0, qvls_ci16{sample[0], sample[1]});
  }
  return QVLS_OK;
}

template <Kind kKind>
qvls_status SetStep(lms_state* state, std::int32_t mu) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  state->mu = mu;
  return QVLS_OK;
}

}  // namespace
}  // namespace qvls::lms
