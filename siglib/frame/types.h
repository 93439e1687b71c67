// The types that the signal library's operations take and return: status
// codes, complex elements, the opaque states and contexts of the filter and
// transform families, the trellis words, the version record and the codes of
// processor identification.
#pragma once

#include <cstdint>

// The outcome of every operation: 0 success, negative an error, positive a
// warning (the work was done, but the condition named was met).
using qvls_status = std::int32_t;

inline constexpr qvls_status QVLS_OK = 0;
inline constexpr qvls_status QVLS_WARN_SQRT_NEGATIVE = 3;
inline constexpr qvls_status QVLS_ERR_BAD_ARG = -5;
inline constexpr qvls_status QVLS_ERR_DATA_SIZE = -6;
inline constexpr qvls_status QVLS_ERR_NULL_POINTER = -8;
inline constexpr qvls_status QVLS_ERR_MEM_ALLOCATED = -9;
inline constexpr qvls_status QVLS_ERR_DIV_BY_ZERO = -10;
inline constexpr qvls_status QVLS_ERR_FFT_ORDER = -15;
inline constexpr qvls_status QVLS_ERR_FFT_FLAG = -16;
inline constexpr qvls_status QVLS_ERR_CONTEXT_MISMATCH = -17;
inline constexpr qvls_status QVLS_ERR_FIR_LENGTH = -26;
inline constexpr qvls_status QVLS_ERR_SAMPLE_PHASE = -30;
inline constexpr qvls_status QVLS_ERR_SAMPLE_FACTOR = -31;
inline constexpr qvls_status QVLS_ERR_BUFFER_ALIGNMENT = -97;
inline constexpr qvls_status QVLS_ERR_CPU_NOT_SUPPORTED = -9998;
// What an operation that is not built yet answers.
inline constexpr qvls_status QVLS_ERR_NOT_SUPPORTED = -9999;

// Complex elements: real part first. A qvls_ci16 passed by value travels as
// one 32-bit word with the real part in the low half.
struct qvls_ci16 {
  std::int16_t re;
  std::int16_t im;
};
struct qvls_ci32 {
  std::int32_t re;
  std::int32_t im;
};
static_assert(sizeof(qvls_ci16) == 4 && sizeof(qvls_ci32) == 8);

// States and contexts that the caller holds by pointer; each family that
// builds them defines them.
struct fir_state;
struct lms_state;
struct fft16_context;
struct dft16_context;

// Trellis words: two 16-bit halves in one 32-bit word.
using trellis_metric2d = std::uint32_t;  // low: metric, high: offset code of the nearest point
using trellis_metric4d = std::uint32_t;  // low: label of the two offset codes, high: metric
using trellis_survivor = std::uint32_t;  // low: label of the winning branch, high: source state

// The processor variants: the columns of the variant table, in order.
enum qvls_variant_column : std::int32_t {
  QVLS_VARIANT_PX = 0,  // generic
  QVLS_VARIANT_M6 = 1,  // 64-bit packed-integer SIMD
  QVLS_VARIANT_A6 = 2,  // 128-bit single-precision SIMD with the m6 integer code
  QVLS_VARIANT_W7 = 3,  // 128-bit integer and double-precision SIMD
  QVLS_VARIANT_END = 4  // ends a row of the variant order
};
inline constexpr std::int32_t qvls_variant_count = QVLS_VARIANT_END;

// The record that describes one variant of the library.
struct qvls_version {
  std::int32_t major_version;
  std::int32_t minor_version;
  std::int32_t first_build;
  std::int32_t second_build;
  char cpu_tag[4];  // "px", "m6", "a6" or "w7", padded with zero bytes
  const char* library_name;
  const char* version_text;
  const char* build_date;
};

// What processor identification reads from identification leaf 1.
struct qvls_cpu_features {
  std::int32_t family;         // signature bits 8..11
  std::int32_t m6;             // 64-bit packed-integer SIMD
  std::int32_t a6;             // 128-bit single-precision SIMD
  std::int32_t w7;             // 128-bit integer and double-precision SIMD
  std::int32_t multi_logical;  // several logical processors
  std::int32_t next_simd;      // the next SIMD generation
};

// The processor types of identification.
enum qvls_cpu_type : std::int32_t {
  QVLS_CPU_UNKNOWN = 0,
  QVLS_CPU_FAM5 = 1,
  QVLS_CPU_FAM5_SIMD64 = 2,
  QVLS_CPU_FAM6 = 3,
  QVLS_CPU_FAM6_SIMD64 = 4,
  QVLS_CPU_FAM6_SIMD128F = 5,
  QVLS_CPU_SIMD128D = 6,
  QVLS_CPU_SIMD128D_MULTI = 7,
  QVLS_CPU_SIMD128D_B0 = 8,
  QVLS_CPU_FAM7 = 16,
  QVLS_CPU_FAM15 = 17,
};
