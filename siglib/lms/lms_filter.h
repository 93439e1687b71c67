// Pushing, output and update on an LMS state, for either kind: the checks
// and the push that every variant shares, around one variant's output and
// update routines (FilterRoutines). The update routine of a variant runs
// only while the scaled error fits a 16-bit word (complex: both parts);
// beyond that every variant takes the scalar loop.
#pragma once

#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/lms/lms_scalar.h"
#include "siglib/lms/lms_setup.h"

namespace qvls::lms {
namespace {

struct FilterRoutines {
  std::int32_t (*real_output)(const lms_state&);
  qvls_ci32 (*complex_output)(const lms_state&);
  void (*real_update)(lms_state&, std::int32_t s);                     // |s| <= 32767
  void (*complex_update)(lms_state&, std::int32_t a, std::int32_t b);  // |a|, |b| <= 32767
};

// px and m6: every tap one at a time.
inline constexpr FilterRoutines kScalarRoutines{RealOutput, ComplexOutput, RealUpdate,
                                                ComplexUpdate};

// Writes both copies of the index slot, then advances the index.
template <Kind kKind>
void PushSample(lms_state& s, typename KindOf<kKind>::Sample x) {
  std::int16_t* first = SampleAt<kKind>(s, s.index);
  std::int16_t* second = SampleAt<kKind>(s, s.index + s.delayLen);
  if constexpr (kKind == Kind::kReal) {
    *first = x;
    *second = x;
  } else {
    first[0] = second[0] = x.re;
    first[1] = second[1] = x.im;
  }
  s.index = s.index + 1 == s.delayLen ? 0 : s.index + 1;
}

// The real sample is the low 16 bits of its argument.
inline std::int16_t RealSample(std::int32_t sample) { return static_cast<std::int16_t>(sample); }

inline qvls_status PushReal(std::int32_t sample, lms_state* state) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<Kind::kReal>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  PushSample<Kind::kReal>(*state, RealSample(sample));
  return QVLS_OK;
}

inline qvls_status PushComplex(qvls_ci16 sample, lms_state* state) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<Kind::kComplex>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  PushSample<Kind::kComplex>(*state, sample);
  return QVLS_OK;
}

template <Kind kKind>
qvls_status CheckOutput(const lms_state* state, const void* out) {
  if (state == nullptr || out == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<kKind>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  return QVLS_OK;
}

inline qvls_status OutputReal(const FilterRoutines& r, std::int32_t* out, const lms_state* state) {
  if (const qvls_status status = CheckOutput<Kind::kReal>(state, out); status != QVLS_OK) {
    return status;
  }
  StoreAt(out, 0, r.real_output(*state));
  return QVLS_OK;
}

inline qvls_status OutputComplex(const FilterRoutines& r, qvls_ci32* out, const lms_state* state) {
  if (const qvls_status status = CheckOutput<Kind::kComplex>(state, out); status != QVLS_OK) {
    return status;
  }
  StoreAt(out, 0, r.complex_output(*state));
  return QVLS_OK;
}

inline qvls_status PushOutputReal(const FilterRoutines& r, std::int32_t sample, std::int32_t* out,
                                  lms_state* state) {
  if (const qvls_status status = CheckOutput<Kind::kReal>(state, out); status != QVLS_OK) {
    return status;
  }
  PushSample<Kind::kReal>(*state, RealSample(sample));
  StoreAt(out, 0, r.real_output(*state));
  return QVLS_OK;
}

inline qvls_status PushOutputComplex(const FilterRoutines& r, qvls_ci16 sample, qvls_ci32* out,
                                     lms_state* state) {
  if (const qvls_status status = CheckOutput<Kind::kComplex>(state, out); status != QVLS_OK) {
    return status;
  }
  PushSample<Kind::kComplex>(*state, sample);
  StoreAt(out, 0, r.complex_output(*state));
  return QVLS_OK;
}

inline qvls_status UpdateReal(const FilterRoutines& r, std::int32_t error, lms_state* state) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<Kind::kReal>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  const std::int32_t s = ScaledError(state->mu, error);
  if (FitsUpdateKernel(s)) {
    r.real_update(*state, s);
  } else {
    RealUpdate(*state, s);
  }
  return QVLS_OK;
}

inline qvls_status UpdateComplex(const FilterRoutines& r, std::int32_t errorRe,
                                 std::int32_t errorIm, lms_state* state) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!HasMarker<Kind::kComplex>(*state)) return QVLS_ERR_CONTEXT_MISMATCH;
  const std::int32_t a = ScaledError(state->mu, errorRe);
  const std::int32_t b = ScaledError(state->mu, errorIm);
  if (FitsUpdateKernel(a) && FitsUpdateKernel(b)) {
    r.complex_update(*state, a, b);
  } else {
    ComplexUpdate(*state, a, b);
  }
  return QVLS_OK;
}

}  // namespace
}  // namespace qvls::lms
