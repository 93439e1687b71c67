// The entries that every variant makes the same way from the templates,
// each over its own variant's block operations: set-up (init, create and the
// delay-line load for the variant's two layouts), the delay-line reads, and
// the in-place operations chunked over the variant's own block entries.
#pragma once

#include <cstdint>

#include "siglib/fir/fir_entries.h"
#include "siglib/fir/fir_in_place.h"
#include "siglib/fir/fir_setup.h"

// The block operations of variant `tag`.
#define QVLS_FIR_MEMORY(tag)                                                         \
  ::qvls::fir::MemoryOps<qvlsZero_i16_##tag, qvlsZero_i32_##tag, qvlsCopy_i16_##tag, \
                         qvlsCopy_i32_##tag>

#define QVLS_FIR_SETUP_ENTRIES(tag, real_layout, complex_layout)                                  \
  qvls_status qvlsFIRInit_i16_##tag(fir_state** pState, const std::int32_t* taps,                 \
                                    std::int32_t len, std::int32_t tapsFactor,                    \
                                    const std::int16_t* delayLine, std::uint8_t* buffer) {        \
    return ::qvls::fir::Init<real_layout, QVLS_FIR_MEMORY(tag)>(pState, taps, len, tapsFactor,    \
                                                                delayLine, buffer);               \
  }                                                                                               \
  qvls_status qvlsFIRCreate_i16_##tag(fir_state** pState, const std::int32_t* taps,               \
                                      std::int32_t len, std::int32_t tapsFactor,                  \
                                      const std::int16_t* delayLine) {                            \
    return ::qvls::fir::Create<real_layout, QVLS_FIR_MEMORY(tag)>(pState, taps, len, tapsFactor,  \
                                                                  delayLine);                     \
  }                                                                                               \
  qvls_status qvlsFIRInit_ci16_##tag(fir_state** pState, const qvls_ci32* taps, std::int32_t len, \
                                     std::int32_t tapsFactor, const qvls_ci16* delayLine,         \
                                     std::uint8_t* buffer) {                                      \
    return ::qvls::fir::Init<complex_layout, QVLS_FIR_MEMORY(tag)>(pState, taps, len, tapsFactor, \
                                                                   delayLine, buffer);            \
  }                                                                                               \
  qvls_status qvlsFIRCreate_ci16_##tag(fir_state** pState, const qvls_ci32* taps,                 \
                                       std::int32_t len, std::int32_t tapsFactor,                 \
                                       const qvls_ci16* delayLine) {                              \
    return ::qvls::fir::Create<complex_layout, QVLS_FIR_MEMORY(tag)>(pState, taps, len,           \
                                                                     tapsFactor, delayLine);      \
  }                                                                                               \
  qvls_status qvlsFIRSetDelayLine_i16_##tag(fir_state* state, const std::int16_t* src) {          \
    return ::qvls::fir::SetDelayLine<QVLS_FIR_MEMORY(tag)>(state, src);                           \
  }

#define QVLS_FIR_READ_ENTRIES(tag)                                                       \
  qvls_status qvlsFIRGetDelayLine_i16_##tag(const fir_state* state, std::int16_t* dst) { \
    return ::qvls::fir::GetDelayLine(state, dst);                                        \
  }                                                                                      \
  qvls_status qvlsFIRGetDelayLine_ci16_##tag(const fir_state* state, qvls_ci16* dst) {   \
    return ::qvls::fir::GetDelayLine(state, dst);                                        \
  }

#define QVLS_FIR_IN_PLACE_ENTRIES(tag, real_layout, complex_layout)                             \
  qvls_status qvlsFIRBlock_i16_ip_##tag(std::int16_t* srcdst, std::int32_t n, fir_state* state, \
                                        std::int32_t sf) {                                      \
    return ::qvls::fir::InPlace<real_layout, QVLS_FIR_MEMORY(tag), qvlsFIRBlock_i16_##tag>(     \
        srcdst, n, state, sf);                                                                  \
  }                                                                                             \
  qvls_status qvlsFIRBlock_ci16_ip_##tag(qvls_ci16* srcdst, std::int32_t n, fir_state* state,   \
                                         std::int32_t sf) {                                     \
    return ::qvls::fir::InPlace<complex_layout, QVLS_FIR_MEMORY(tag), qvlsFIRBlock_ci16_##tag>( \
        srcdst, n, state, sf);                                                                  \
  }
