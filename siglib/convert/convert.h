// The conversions as the other families and the data pump call them
// directly: every variant's widening, narrowing and flip entries (slots
// s101, s102, s12), the float conversions with their unchecked kernels, and
// the generic fixed-point conversions of the transforms.
#pragma once

#include <cstdint>

#include "siglib/frame/slot_list.h"

#define QVLS_DECLARE_INTEGER_CONVERSIONS(tag)         \
  qvlsConvert_i16toi32_fn qvlsConvert_i16toi32_##tag; \
  qvlsConvert_i32toi16_fn qvlsConvert_i32toi16_##tag; \
  qvlsFlip_i16_fn qvlsFlip_i16_##tag;
QVLS_DECLARE_INTEGER_CONVERSIONS(px)
QVLS_DECLARE_INTEGER_CONVERSIONS(m6)
QVLS_DECLARE_INTEGER_CONVERSIONS(a6)
QVLS_DECLARE_INTEGER_CONVERSIONS(w7)
#undef QVLS_DECLARE_INTEGER_CONVERSIONS

// Rounding modes of the float-to-16-bit conversions. Every mode other than
// QVLS_ROUND_NEAREST truncates.
inline constexpr std::int32_t QVLS_ROUND_ZERO = 0;     // toward zero
inline constexpr std::int32_t QVLS_ROUND_NEAREST = 1;  // to nearest, ties to even

// 16-bit integers to single-precision floats, exactly. Checked: src or dst
// null -8, len <= 0 -6, else 0.
using qvlsConvert_i16tof32_fn = qvls_status(const std::int16_t* src, float* dst, std::int32_t len);
// Floats times 2^-sf, rounded by the mode and saturated to 16 bits; NaN
// gives 0, sf is clamped to -160..160. Checked like the above.
using qvlsConvert_f32toi16_sc_fn = qvls_status(const float* src, std::int16_t* dst,
                                               std::int32_t len, std::int32_t rounding,
                                               std::int32_t sf);
// The same without checks; len <= 0 writes nothing.
using qvlsConvert_i16tof32_kernel_fn = void(const std::int16_t* src, float* dst, std::int32_t len);
using qvlsConvert_f32toi16_sc_kernel_fn = void(const float* src, std::int16_t* dst,
                                               std::int32_t len, std::int32_t rounding,
                                               std::int32_t sf);

qvlsConvert_i16tof32_fn qvlsConvert_i16tof32_px, qvlsConvert_i16tof32_m6, qvlsConvert_i16tof32_a6,
    qvlsConvert_i16tof32_w7;
qvlsConvert_i16tof32_kernel_fn qvlsConvert_i16tof32_m6_kernel, qvlsConvert_i16tof32_a6_kernel,
    qvlsConvert_i16tof32_w7_kernel;
qvlsConvert_f32toi16_sc_fn qvlsConvert_f32toi16_sc_px, qvlsConvert_f32toi16_sc_m6,
    qvlsConvert_f32toi16_sc_a6, qvlsConvert_f32toi16_sc_w7;
qvlsConvert_f32toi16_sc_kernel_fn qvlsConvert_f32toi16_sc_m6_kernel,
    qvlsConvert_f32toi16_sc_a6_kernel, qvlsConvert_f32toi16_sc_w7_kernel;

// The generic fixed-point conversions: no checks, len <= 0 writes nothing.
// dst[i] = src[i] · 2^shift in 32-bit two's complement (shift 0..31; a
// negative shift shifts right arithmetically, 32 and more give 0).
void qvlsConvertShift_i16toi32(const std::int16_t* src, std::int32_t* dst, std::int32_t len,
                               std::int32_t shift);
// dst[i] = src[i] · 2^-sf, ties toward +infinity, saturated to 16 bits.
void qvlsConvertScaled_i32toi16(const std::int32_t* src, std::int16_t* dst, std::int32_t len,
                                std::int32_t sf);
// x becomes floor(x · 23170 / 32768), 1/sqrt(2) in 15 fraction bits.
void qvlsMulInvSqrt2_i32_ip(std::int32_t* srcdst, std::int32_t len);
