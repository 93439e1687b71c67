// Macros that make a variant's LMS entries from its block entries (set-up)
// and its filter routines (output and update). Each variant's source uses
// the ones whose entries its column owns (lms_entries.h).
#pragma once

#include "siglib/lms/lms_entries.h"
#include "siglib/lms/lms_filter.h"
#include "siglib/lms/lms_setup.h"

// The fourteen entries that every column owns.
#define QVLS_DEFINE_LMS_ENTRIES(tag, blocks, routines)                                            \
  qvls_status qvlsLMSCreate_i16_##tag(lms_state** state, const std::int32_t* taps,                \
                                      std::int32_t tapsLen, const std::int16_t* delayLine,        \
                                      std::int32_t index, std::int32_t delayStep,                 \
                                      std::int32_t updateDelay, std::int32_t mu) {                \
    return qvls::lms::Create<qvls::lms::Kind::kReal>(blocks, state, taps, tapsLen, delayLine,     \
                                                     index, delayStep, updateDelay, mu);          \
  }                                                                                               \
  qvls_status qvlsLMSCreate_ci16_##tag(                                                           \
      lms_state** state, const qvls_ci32* taps, std::int32_t tapsLen, const qvls_ci16* delayLine, \
      std::int32_t index, std::int32_t delayStep, std::int32_t updateDelay, std::int32_t mu) {    \
    return qvls::lms::Create<qvls::lms::Kind::kComplex>(blocks, state, taps, tapsLen, delayLine,  \
                                                        index, delayStep, updateDelay, mu);       \
  }                                                                                               \
  qvls_status qvlsLMSSetTaps_i16_##tag(lms_state* state, const std::int32_t* taps) {              \
    return qvls::lms::SetTaps<qvls::lms::Kind::kReal>(blocks, state, taps);                       \
  }                                                                                               \
  qvls_status qvlsLMSSetTaps_ci16_##tag(lms_state* state, const qvls_ci32* taps) {                \
    return qvls::lms::SetTaps<qvls::lms::Kind::kComplex>(blocks, state, taps);                    \
  }                                                                                               \
  qvls_status qvlsLMSSetDelayLine_i16_##tag(lms_state* state, const std::int16_t* delayLine,      \
                                            std::int32_t index) {                                 \
    return qvls::lms::SetDelayLine<qvls::lms::Kind::kReal>(blocks, state, delayLine, index);      \
  }                                                                                               \
  qvls_status qvlsLMSSetDelayLine_ci16_##tag(lms_state* state, const qvls_ci16* delayLine,        \
                                             std::int32_t index) {                                \
    return qvls::lms::SetDelayLine<qvls::lms::Kind::kComplex>(blocks, state, delayLine, index);   \
  }                                                                                               \
  qvls_status qvlsLMSGetDelayLine_i16_##tag(const lms_state* state, std::int16_t* dst,            \
                                            std::int32_t* index) {                                \
    return qvls::lms::GetDelayLine<qvls::lms::Kind::kReal>(blocks, state, dst, index);            \
  }                                                                                               \
  qvls_status qvlsLMSGetDelayLine_ci16_##tag(const lms_state* state, qvls_ci16* dst,              \
                                             std::int32_t* index) {                               \
    return qvls::lms::GetDelayLine<qvls::lms::Kind::kComplex>(blocks, state, dst, index);         \
  }                                                                                               \
  qvls_status qvlsLMSOutput_i16_##tag(std::int32_t* out, const lms_state* state) {                \
    return qvls::lms::OutputReal(routines, out, state);                                           \
  }                                                                                               \
  qvls_status qvlsLMSOutput_ci16_##tag(qvls_ci32* out, const lms_state* state) {                  \
    return qvls::lms::OutputComplex(routines, out, state);                                        \
  }                                                                                               \
  qvls_status qvlsLMSPushOutput_i16_##tag(std::int32_t sample, std::int32_t* out,                 \
                                          lms_state* state) {                                     \
    return qvls::lms::PushOutputReal(routines, sample, out, state);                               \
  }                                                                                               \
  qvls_status qvlsLMSPushOutput_ci16_##tag(qvls_ci16 sample, qvls_ci32* out, lms_state* state) {  \
    return qvls::lms::PushOutputComplex(routines, sample, out, state);                            \
  }                                                                                               \
  qvls_status qvlsLMSUpdate_i16_##tag(std::int32_t error, lms_state* state) {                     \
    return qvls::lms::UpdateReal(routines, error, state);                                         \
  }                                                                                               \
  qvls_status qvlsLMSUpdate_ci16_##tag(std::int32_t errorRe, std::int32_t errorIm,                \
                                       lms_state* state) {                                        \
    return qvls::lms::UpdateComplex(routines, errorRe, errorIm, state);                           \
  }

// The entries that px and w7 own and m6 and a6 borrow from px.
#define QVLS_DEFINE_LMS_PX_W7_ENTRIES(tag)                                              \
  qvls_status qvlsLMSGetTaps_i16_##tag(const lms_state* state, std::int32_t* dst) {     \
    return qvls::lms::GetTaps<qvls::lms::Kind::kReal>(state, dst);                      \
  }                                                                                     \
  qvls_status qvlsLMSGetTaps_ci16_##tag(const lms_state* state, qvls_ci32* dst) {       \
    return qvls::lms::GetTaps<qvls::lms::Kind::kComplex>(state, dst);                   \
  }                                                                                     \
  qvls_status qvlsLMSTapsPtr_i16_##tag(lms_state* state, std::int32_t** taps) {         \
    return qvls::lms::TapsPointer(state, taps);                                         \
  }                                                                                     \
  qvls_status qvlsLMSGetDelayValue_i16_##tag(const lms_state* state, std::int16_t* dst, \
                                             std::int32_t offset) {                     \
    return qvls::lms::GetDelayValue<qvls::lms::Kind::kReal>(state, dst, offset);        \
  }                                                                                     \
  qvls_status qvlsLMSGetDelayValue_ci16_##tag(const lms_state* state, qvls_ci16* dst,   \
                                              std::int32_t offset) {                    \
    return qvls::lms::GetDelayValue<qvls::lms::Kind::kComplex>(state, dst, offset);     \
  }                                                                                     \
  qvls_status qvlsLMSSetStep_i16_##tag(lms_state* state, std::int32_t mu) {             \
    return qvls::lms::SetStep<qvls::lms::Kind::kReal>(state, mu);                       \
  }                                                                                     \
  qvls_status qvlsLMSSetStep_ci16_##tag(lms_state* state, std::int32_t mu) {            \
    return qvls::lms::SetStep<qvls::lms::Kind::kComplex>(state, mu);                    \
  }

// The push entries of px, m6 and w7 (a6 runs m6's).
#define QVLS_DEFINE_LMS_PUSH_ENTRIES(tag)                                    \
  qvls_status qvlsLMSPush_i16_##tag(std::int32_t sample, lms_state* state) { \
    return qvls::lms::PushReal(sample, state);                               \
  }                                                                          \
  qvls_status qvlsLMSPush_ci16_##tag(qvls_ci16 sample, lms_state* state) {   \
    return qvls::lms::PushComplex(sample, state);                            \
  }
