// The 16-bit FFT operations (slots s58-s64 and s67): the context, the
// entries of every variant and the internal routines they share.
#pragma once

#include <cstdint>

#include "siglib/frame/slot_list.h"

// The floating-point FFT context, owned by a 16-bit context on the
// floating-point path.
struct fft_context;

inline constexpr std::int32_t QVLS_ID_FFT16_COMPLEX = 1;
inline constexpr std::int32_t QVLS_ID_FFT16_REAL = 3;

// One transform, complex or real, of N = 2^order values. Created complete by
// a create operation and only read until the matching destroy, which sets
// `id` to 0 just before the memory goes back to the pool. A context is used
// only by the variant that created it.
struct fft16_context {
  std::int32_t id;              // QVLS_ID_FFT16_COMPLEX or QVLS_ID_FFT16_REAL; 0 once freed
  std::int32_t order;           // 0..30
  std::int32_t fwd_div_order;   // the fixed-point forward result is divided by 2^fwd_div_order
  std::int32_t odd_sqrt2;       // 1: flag 4 at an odd order, one more factor 1/sqrt 2
  std::int32_t hint;            // the caller's hint, as given
  std::int32_t work_size;       // bytes of work buffer one forward call needs; 0 for order 0
  std::int32_t fixed_path;      // 1: the forward runs the fixed-point path
  std::int32_t* swap_list;      // fixed-point path: bit-reversal swap list
  std::int16_t* twiddles;       // fixed-point path: Q14 twiddles of the radix passes
  std::int16_t* real_twiddles;  // fixed-point real context: Q14 twiddles of the recombination
  fft_context* float_ctx;       // floating-point path: the float engine's context
};

// The slot entries. The work-size query of px serves m6 and a6 as well.
#define QVLS_DECLARE_FFT16_ENTRIES(tag)             \
  qvlsFFTCreate_ci16_fn qvlsFFTCreate_ci16_##tag;   \
  qvlsFFTCreate_i16_fn qvlsFFTCreate_i16_##tag;     \
  qvlsFFTDestroy_ci16_fn qvlsFFTDestroy_ci16_##tag; \
  qvlsFFTDestroy_i16_fn qvlsFFTDestroy_i16_##tag;   \
  qvlsFFTFwd_ci16_sc_fn qvlsFFTFwd_ci16_sc_##tag;   \
  qvlsFFTFwd_i16_sc_fn qvlsFFTFwd_i16_sc_##tag;
QVLS_DECLARE_FFT16_ENTRIES(px)
QVLS_DECLARE_FFT16_ENTRIES(m6)
QVLS_DECLARE_FFT16_ENTRIES(a6)
QVLS_DECLARE_FFT16_ENTRIES(w7)
#undef QVLS_DECLARE_FFT16_ENTRIES
qvlsFFTWorkSize_ci16_fn qvlsFFTWorkSize_ci16_px, qvlsFFTWorkSize_ci16_w7;
qvlsFFTWorkSize_i16_fn qvlsFFTWorkSize_i16_px, qvlsFFTWorkSize_i16_w7;

// The fixed-point tables of a context for `table_order`: the swap list, then
// the twiddles read from `sine` (a sine table of order sine_order), or from a
// sine table of table_order built and freed here when sine is null. -9 when
// a table cannot be allocated (what was stored stays in the context), else 0.
using qvlsFFTInitFixed_i16_fn = qvls_status(fft16_context* context, std::int32_t table_order,
                                            const std::int16_t* sine, std::int32_t sine_order);
qvlsFFTInitFixed_i16_fn qvlsFFTInitFixed_i16_px, qvlsFFTInitFixed_i16_m6, qvlsFFTInitFixed_i16_a6,
    qvlsFFTInitFixed_i16_w7;

// Frees the context's fixed-point tables, sets `id` to 0 and frees the
// context; it never touches float_ctx. px serves m6 and a6 as well.
using qvlsFFTFreeContext_i16_fn = void(fft16_context* context);
qvlsFFTFreeContext_i16_fn qvlsFFTFreeContext_i16_px, qvlsFFTFreeContext_i16_w7;
