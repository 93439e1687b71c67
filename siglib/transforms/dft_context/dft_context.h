// The floating-point DFT of any length N >= 1 on interleaved complex
// singles: its context, built once by a create operation and then only read.
//
// The create chooses one way for the length and builds that way's tables:
//   1. N <= 4: the variant's DFT small kernels; no table, no work buffer.
//   2. N a power of two (8 or more): an inner complex FFT (pow2_fft).
//   3. N neither a power of two nor a prime, every prime factor <= 149: the
//      mixed-radix plan (stages, twiddles, leaf_offsets; dft_mixed/).
//   4. The primes 5..149: the direct kernel over direct_roots (dft_direct/).
//   5. Every other N (above 150): Bluestein's algorithm (dft_bluestein/).
// A transform only dispatches and scales; it computes no sine or cosine.
//
// An inner FFT (ways 2 and 5) whose order lies above the variant's direct
// limit runs through the large-order split; a create of the inner FFT that
// fails passes its status on as the DFT create's.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"

struct fft_context;

inline constexpr std::int32_t QVLS_ID_DFT = 13;

// Roots of unity of a length n: n complex singles W_n^m = {cos 2πm/n,
// -sin 2πm/n}, m = 0..n-1. In the a6 and w7 variants the same block goes
// on with 2n index entries, entry k = 2·(k mod n) (roots_table.h).
struct dft_roots_table;

// One stage i of the mixed-radix plan (ri, ni, si, bi below). The record
// after the last stage carries only the leaf's roots table.
struct dft_stage {
  std::int32_t radix;      // ri: 2, 4 or an odd prime up to 149
  std::int32_t rest;       // ni = N / (r0·...·ri); the last stage's is the leaf factor L
  std::int32_t stride;     // si = r0·...·r(i-1), s0 = 1; N = si·ri·ni
  std::int32_t blocks;     // bi: blocks of ri·ni elements one breadth-first run covers
  dft_roots_table* roots;  // ri > 5: the roots of ri (shared by consecutive equal radices)
  float* twiddles;         // the stage's twiddles: positions k < ni of (ri - 1) or ri factors
};

inline constexpr std::int32_t QVLS_DFT_STAGE_RECORDS = 20;

// Fields in this order. Allocated with the library's allocator and cleared
// before any field is set: what the chosen way does not use is 0 or null.
struct dft_context {
  std::int32_t id;                // QVLS_ID_DFT; 0 once freed
  std::int32_t length;            // N >= 1
  std::int32_t fwd_scaled;        // 1: forward results are multiplied by scale (flags 1, 4)
  std::int32_t inv_scaled;        // 1: inverse results are multiplied by scale (flags 2, 4)
  float scale;                    // 1/N (flags 1, 2), 1/sqrt N (flag 4), 0 (flag 8)
  std::int32_t hint;              // stored; handed to the inner FFT of way 2
  std::int32_t work_size;         // bytes of work buffer one transform needs; 0 for N <= 4
  std::int32_t power_of_two;      // 1 for way 2
  std::int32_t bluestein_length;  // way 5: M, the inner FFT's length
  dft_roots_table* direct_roots;  // way 4: the roots of N
  float* chirp;                   // way 5: N elements
  float* chirp_spectrum;          // way 5: M elements
  fft_context* pow2_fft;          // way 2: the inner FFT (the caller's flag and hint)
  fft_context* bluestein_fft;     // way 5: the inner FFT of length M (flag 8, hint 0)
  std::int32_t mixed_radix;       // 1 for way 3
  std::int32_t last_stage;        // way 3: K, the index of the last stage
  std::int32_t* leaf_offsets;     // way 3: bK entries
  dft_stage stages[QVLS_DFT_STAGE_RECORDS];  // way 3: stages 0..K, then the leaf's roots
};

// The breadth-first limit of the mixed-radix drivers: a sub-transform of at
// most this many elements runs all its passes over its whole array; a larger
// one is split depth-first. The plan's `blocks` follow the same rule.
inline constexpr std::int32_t QVLS_DFT_BREADTH_FIRST_LIMIT = 2000;

// out null -8; N < 1 -6 (nothing allocated); the context's allocation -9;
// flag not 1, 2, 4 or 8 -16; a size of the chosen way beyond 32 bits -9
// (before any table); any table's allocation -9; an inner FFT's create its
// status. A failed create frees all it allocated and leaves *out unchanged.
using qvlsDFTCreate_cf32_fn = qvls_status(dft_context** out, std::int32_t length, std::int32_t flag,
                                          std::int32_t hint);
// Null -8; another identifier -17 (nothing freed); else freed, 0.
using qvlsDFTDestroy_cf32_fn = qvls_status(dft_context* context);
// size or context null -8; another identifier -17; else *size = work_size.
using qvlsDFTWorkSize_cf32_fn = qvls_status(const dft_context* context, std::int32_t* size);
// context null -8, another identifier -17, src or dst null -8 (nothing
// written); work null with no memory for the call's own buffer -9; an inner
// FFT's error (ways 2, 5) its status. src may equal dst.
using qvlsDFTFwd_cf32_fn = qvls_status(const float* src, float* dst, const dft_context* context,
                                       std::uint8_t* work);

#define QVLS_DECLARE_DFT_ENTRIES(tag)                              \
  qvlsDFTCreate_cf32_fn qvlsDFTCreate_cf32_##tag;                  \
  qvlsDFTDestroy_cf32_fn qvlsDFTDestroy_cf32_##tag;                \
  qvlsDFTFwd_cf32_fn qvlsDFTFwd_cf32_##tag, qvlsDFTInv_cf32_##tag; \
  void qvlsDFTFreeContext_cf32_##tag(dft_context* context);        \
  float* qvlsDFTRootsTable_cf32_##tag(std::int32_t t);             \
  qvls_status qvlsDFTInitMixed_cf32_##tag(dft_context* context, const float* roots);
QVLS_DECLARE_DFT_ENTRIES(px)
QVLS_DECLARE_DFT_ENTRIES(m6)
QVLS_DECLARE_DFT_ENTRIES(a6)
QVLS_DECLARE_DFT_ENTRIES(w7)
#undef QVLS_DECLARE_DFT_ENTRIES

// px's serve m6 and a6.
qvlsDFTWorkSize_cf32_fn qvlsDFTWorkSize_cf32_px, qvlsDFTWorkSize_cf32_w7;
// The mixed-radix factorisation of N into the context's stages (radix,
// rest, stride) and last_stage: 1 when N >= 5, not a power of two, has a
// stage and a leaf factor L <= 150; else 0 with the context untouched.
// px's serves m6 and a6.
std::int32_t qvlsDFTFactorize_cf32_px(dft_context* context, std::int32_t n);
std::int32_t qvlsDFTFactorize_cf32_w7(dft_context* context, std::int32_t n);
// The roots of n taken from a roots table of t (n divides t): a new
// dft_roots_table, with the index entries in a6 and w7; null when the pool
// refuses it. px's serves m6.
dft_roots_table* qvlsDFTRootsSubset_cf32_px(std::int32_t n, const float* table, std::int32_t t);
dft_roots_table* qvlsDFTRootsSubset_cf32_a6(std::int32_t n, const float* table, std::int32_t t);
dft_roots_table* qvlsDFTRootsSubset_cf32_w7(std::int32_t n, const float* table, std::int32_t t);
