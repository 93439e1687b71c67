// The argument checks of the filtering operations, in their order: the
// state, its marker and layout, then the operation's pointers and length.
// A state whose marker names the multi-rate filter of the operation's kind
// is handed on after the state checks; that filter is not built (nothing in
// the library creates such a state), so those calls answer "not supported".
#pragma once

#include <cstdint>

#include "siglib/fir/fir_state.h"

namespace qvls::fir {

enum class StateKind { kOwn, kMultiRate, kForeign };

inline StateKind KindOf(const fir_state& h, Layout layout) {
  const bool complex = IsComplex(layout);
  if (h.marker == (complex ? kMarkerMultiRateComplex : kMarkerMultiRateReal)) {
    return StateKind::kMultiRate;
  }
  const bool own_marker = h.marker == (complex ? kMarkerComplex : kMarkerReal);
  return own_marker && h.layout == static_cast<std::int32_t>(layout) ? StateKind::kOwn
                                                                     : StateKind::kForeign;
}

inline constexpr qvls_status kMultiRateFilterNotBuilt = QVLS_ERR_NOT_SUPPORTED;

// The state checks of the block and in-place operations; QVLS_OK with the
// header read when the state is one of theirs.
inline qvls_status CheckBlockState(const fir_state* state, Layout layout, fir_state& h) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  h = ReadHeader(state);
  switch (KindOf(h, layout)) {
    case StateKind::kOwn:
      return QVLS_OK;
    case StateKind::kMultiRate:
      return kMultiRateFilterNotBuilt;
    case StateKind::kForeign:
      break;
  }
  return QVLS_ERR_CONTEXT_MISMATCH;
}

template <class Sample>
qvls_status CheckBlock(const Sample* src, const Sample* dst, std::int32_t n, const fir_state* state,
                       Layout layout, fir_state& h) {
  if (const qvls_status status = CheckBlockState(state, layout, h); status != QVLS_OK) {
    return status;
  }
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (n <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// The one-sample operation takes single-rate states only.
inline qvls_status CheckSample(const std::int16_t* out, const fir_state* state, Layout layout,
                               fir_state& h) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  h = ReadHeader(state);
  if (KindOf(h, layout) != StateKind::kOwn) return QVLS_ERR_CONTEXT_MISMATCH;
  if (out == nullptr) return QVLS_ERR_NULL_POINTER;
  return QVLS_OK;
}

}  // namespace qvls::fir
