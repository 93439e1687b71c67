// The floating-point power-of-two FFT's context: everything that depends
// only on the order and the normalisation, built once by a create operation
// and then only read. A complex context transforms N = 2^order interleaved
// complex floats; a real context N real samples through a complex transform
// of N/2 values (its complex order m is order - 1).
//
// Every variant runs its complex orders m up to its direct limit L (10 in px,
// m6 and a6, 14 in w7) with bit reversal and radix passes alone, and the
// orders above through the large-order split (fft_large/); orders 0 to 3
// run the small kernels and hold no table.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"

inline constexpr std::int32_t QVLS_ID_FFT_COMPLEX = 4;
inline constexpr std::int32_t QVLS_ID_FFT_REAL = 6;

// Fields in this order. Every table comes from qvlsAlloc_u8 (the bit-reversal
// list from qvlsAlloc_i32), belongs to the context and goes with it; a table
// the order does not need stays null.
struct fft_context {
  std::int32_t id;             // QVLS_ID_FFT_COMPLEX or QVLS_ID_FFT_REAL; 0 once freed
  std::int32_t order;          // 0..30
  std::int32_t fwd_scaled;     // 1: forward results are multiplied by scale
  std::int32_t inv_scaled;     // 1: inverse results are multiplied by scale
  float scale;                 // 1/N (flags 1, 2), 1/sqrt N (flag 4), 0 (flag 8)
  std::int32_t hint;           // the create's hint, stored; nothing reads it
  std::int32_t work_size;      // bytes of work buffer one transform needs; 0: none
  std::int32_t* bitrev_table;  // swap list or quarter list of order m, as the variant keeps
  float* twiddles;            // radix twiddles of order m: records (px, m6) or pass blocks (a6, w7)
  float* block_twiddles;      // large orders taking the block path only
  float* real_twiddles;       // real contexts: the recombination table of order n
  float* column_twiddles[3];  // large orders only, per split depth
  float* split_twiddles[3];   // large orders only, per split depth
};

// Checks in order: out null -8; order outside 0..30 -15 (nothing allocated);
// the context's allocation -9; flag not 1, 2, 4 or 8 -16 (the context freed);
// a table the order needs beyond the allocator's 32-bit size -9, before any
// table is built (complex orders from 28, real from 29); any table's
// allocation -9. A failed create frees all it allocated and leaves *out
// unchanged. The hint is stored and not read.
using qvlsFFTCreate_f32_fn = qvls_status(fft_context** out, std::int32_t order, std::int32_t flag,
                                         std::int32_t hint);
// Null -8; a context of the other kind -17 (left as it is); else freed, 0.
using qvlsFFTDestroy_f32_fn = qvls_status(fft_context* context);
// size or context null -8; the other kind -17; else *size = work_size, 0.
using qvlsFFTWorkSize_f32_fn = qvls_status(const fft_context* context, std::int32_t* size);

#define QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES(tag)                       \
  qvlsFFTCreate_f32_fn qvlsFFTCreate_cf32_##tag, qvlsFFTCreate_f32_##tag; \
  qvlsFFTDestroy_f32_fn qvlsFFTDestroy_cf32_##tag, qvlsFFTDestroy_f32_##tag;
QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES(px)
QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES(m6)
QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES(a6)
QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES(w7)
#undef QVLS_DECLARE_FLOAT_FFT_CONTEXT_ENTRIES
// px's queries serve m6 and a6.
qvlsFFTWorkSize_f32_fn qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px, qvlsFFTWorkSize_cf32_w7,
    qvlsFFTWorkSize_f32_w7;

// The tables of the complex transform of order m into the context: the
// bit-reversal list, the radix twiddles read from `sine` (a sine table of
// order s >= m; built and freed here when null) and the work size. -9 when a
// table cannot be allocated; what was stored stays for the caller's free.
using qvlsFFTInitTables_cf32_fn = qvls_status(fft_context* context, std::int32_t m,
                                              const float* sine, std::int32_t s);
qvlsFFTInitTables_cf32_fn qvlsFFTInitTables_cf32_px, qvlsFFTInitTables_cf32_m6,
    qvlsFFTInitTables_cf32_a6, qvlsFFTInitTables_cf32_w7;

// Frees every table that is set, in field order, sets id to 0 and frees the
// context; null does nothing. px's serves m6 and a6.
using qvlsFFTFreeContext_f32_fn = void(fft_context* context);
qvlsFFTFreeContext_f32_fn qvlsFFTFreeContext_f32_px, qvlsFFTFreeContext_f32_w7;

// Sine table of order s (S = 2^s): S/4 + 1 floats, entry i = sin(2πi/S)
// rounded to single; 0 first, 1 last. Null when the pool refuses the block.
using qvlsFFTSineTable_f32_fn = float*(std::int32_t s);
qvlsFFTSineTable_f32_fn qvlsFFTSineTable_f32_px, qvlsFFTSineTable_f32_m6, qvlsFFTSineTable_f32_a6,
    qvlsFFTSineTable_f32_w7;

// Radix twiddles of order m >= 2 (M = 2^m) read from a sine table of order
// s >= m, every value a copy or negation of a sine entry. px (serving m6):
// M/4 + 1 records of six floats, record i = W^i, W^2i, W^3i as {re, im}
// (W = e^(-2πi/M)). a6 and w7 (the same table): room for 2M floats (one
// zero pair when M <= 8), one block per radix-4 pass with twiddles, for the
// pass sizes c = 16 (m even) or 32 (m odd), then 4c, ... up to M;
// block c holds, per group of four k = 4g..4g+3 (k < c/4), the four real
// parts of W_c^k, the four imaginary parts, then the same for W_c^2k and
// W_c^3k; the rest is zero. Null when the pool refuses the block.
using qvlsFFTTwiddleTable_cf32_fn = float*(std::int32_t m, const float* sine, std::int32_t s);
qvlsFFTTwiddleTable_cf32_fn qvlsFFTTwiddleTable_cf32_px, qvlsFFTTwiddleTable_cf32_a6,
    qvlsFFTTwiddleTable_cf32_w7;

// The block path's table of order m >= 11, read from a sine table of order
// s >= m. px and m6 (one code): W^i for i < M/4 as pairs. a6: one level per
// order l = m, m - 1, .. 11, each W_(2^l)^i for i < 2^l/4 in groups of four
// (four real parts, four imaginary parts), one right behind the other in
// room for M floats. Null when the pool refuses the block.
qvlsFFTTwiddleTable_cf32_fn qvlsFFTBlockTwiddles_cf32_px, qvlsFFTBlockTwiddles_cf32_m6,
    qvlsFFTBlockTwiddles_cf32_a6;
