// The large-order FFT: the complex transforms of the orders above a
// variant's direct limit (px, m6, a6 from 11, w7 from 15; a real context's
// half-length transform likewise), split recursively in the four-step way
// (sub-transforms, twiddle multiply, column transforms, transposed
// write-back) or, where the split table gives 0, run as 1024-point leaves
// joined by radix-2 merges (fft_large/split_tables.h).
//
// The set-up runs while a context is created, after its bit-reversal list,
// with the context's work_size at 0: it stores the tables the decomposition
// needs and raises work_size to R, the largest 32·2^s over its levels (the
// four column rows); the caller adds its own constant. Every value of every
// table is a copy or negation of an entry of the sine table it is given
// (order r >= n, read with stride 2^(r-n)). -9 when a table cannot be
// allocated; what was stored stays for the context's free.
//
// The execution takes the data in bit-reversed order over n bits, in
// place, and leaves the transform in natural order, scaled as the context's
// flag says for the direction. The work buffer is 16-byte aligned and holds
// the context's work_size less its 16 bytes of slack. No checks, no
// failure.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"
#include "siglib/transforms/fft_context/fft_context.h"

using qvlsFFTInitLarge_cf32_fn = qvls_status(fft_context* context, std::int32_t n,
                                             const float* sine, std::int32_t r);
// One split level at `depth` (0 or 1) and, recursively, the levels below.
using qvlsFFTInitSplit_cf32_fn = qvls_status(fft_context* context, std::int32_t n,
                                             const float* sine, std::int32_t r, std::int32_t depth);
using qvlsFFTLarge_cf32_fn = void(const fft_context* context, float* data, std::int32_t n,
                                  std::uint8_t* work);
// One four-step level of order n at `depth`: at depth 0 the result is
// interleaved; at depth 1 (a px, m6 chunk: interleaved; a6, w7: split by 4)
// it is what the level above reads.
using qvlsFFTSplit_cf32_fn = void(const fft_context* context, float* data, std::int32_t n,
                                  std::int32_t depth, std::uint8_t* work);
// The block path on `count` (2048 or 4096) values.
using qvlsFFTBlock_cf32_fn = void(const fft_context* context, float* data, std::int32_t count,
                                  std::uint8_t* work);

#define QVLS_DECLARE_LARGE_FFT(tag)                                            \
  qvlsFFTInitLarge_cf32_fn qvlsFFTInitLarge_cf32_##tag;                        \
  qvlsFFTInitSplit_cf32_fn qvlsFFTInitSplit_cf32_##tag;                        \
  qvlsFFTLarge_cf32_fn qvlsFFTFwdLarge_cf32_##tag, qvlsFFTInvLarge_cf32_##tag; \
  qvlsFFTSplit_cf32_fn qvlsFFTFwdSplit_cf32_##tag, qvlsFFTInvSplit_cf32_##tag;
QVLS_DECLARE_LARGE_FFT(px)
QVLS_DECLARE_LARGE_FFT(m6)
QVLS_DECLARE_LARGE_FFT(a6)
QVLS_DECLARE_LARGE_FFT(w7)
#undef QVLS_DECLARE_LARGE_FFT

// px, m6, a6: the block path. px and m6: the 1024-point leaves from the
// last to the first, then the merges; the work buffer is not used. a6: the
// recursive halving (qvlsFFTFwdBlockLevel_cf32_a6 with the whole
// block_twiddles table, final 1).
qvlsFFTBlock_cf32_fn qvlsFFTFwdBlock_cf32_px, qvlsFFTInvBlock_cf32_px, qvlsFFTFwdBlock_cf32_m6,
    qvlsFFTInvBlock_cf32_m6, qvlsFFTFwdBlock_cf32_a6, qvlsFFTInvBlock_cf32_a6;

// px, m6: the radix-2 merges of `count` / l consecutive l-point transforms
// into one, with t[j] = W^j of the count (j < count/4); direction 1
// forward, 0 inverse; each run of blocking/2 twiddles goes through every
// group before the next run is read.
using qvlsFFTMerge_cf32_fn = void(float* data, std::int32_t count, std::int32_t l,
                                  const float* twiddles, std::int32_t direction,
                                  std::int32_t blocking);
qvlsFFTMerge_cf32_fn qvlsFFTMerge_cf32_px, qvlsFFTMerge_cf32_m6;

// a6: one level of the block path on `count` values: the two halves (1024
// points each: the leaves, split by 4; else the level below with the next
// level's table), then one merge. `levels` starts with this level's W^j
// (j < count/4) in groups of four; final 1 leaves the result interleaved,
// 0 split by 4.
using qvlsFFTBlockLevel_cf32_fn = void(const fft_context* context, float* data, std::int32_t count,
                                       const float* levels, std::uint8_t* work, std::int32_t final);
qvlsFFTBlockLevel_cf32_fn qvlsFFTFwdBlockLevel_cf32_a6, qvlsFFTInvBlockLevel_cf32_a6;
// a6: the merge of the two split-by-4 halves of `count` values.
using qvlsFFTMerge_cf32_kernel_fn = void(float* data, std::int32_t count, const float* levels,
                                         std::int32_t final);
qvlsFFTMerge_cf32_kernel_fn qvlsFFTFwdMerge_cf32_a6_kernel, qvlsFFTInvMerge_cf32_a6_kernel;

// a6, w7: step 2a of a level for the column group starting at `group`
// (column k0 of chunk 0; chunks 2b floats apart, split by 4): every chunk's
// four values times their four matrix values (`twiddles`, groups of four,
// chunk by chunk), stored interleaved at the chunk's position of rows 0..3
// (`rows`, 16-byte aligned, p values each). direction 1 forward, 0 inverse
// (the conjugate twiddles).
using qvlsFFTTwiddleGather_cf32_kernel_fn = void(const float* group, float* rows,
                                                 const float* twiddles, std::int32_t direction,
                                                 std::int32_t b, std::int32_t p);
qvlsFFTTwiddleGather_cf32_kernel_fn qvlsFFTTwiddleGather_cf32_a6_kernel,
    qvlsFFTTwiddleGather_cf32_w7_kernel;
// a6, w7: step 2c: the rows' values l (split by 4) back to chunk l's column
// group, interleaved when `interleave` is 1, else as one split-by-4 group.
using qvlsFFTColumnScatter_cf32_kernel_fn = void(float* group, const float* rows, std::int32_t b,
                                                 std::int32_t p, std::int32_t interleave);
qvlsFFTColumnScatter_cf32_kernel_fn qvlsFFTColumnScatter_cf32_a6_kernel,
    qvlsFFTColumnScatter_cf32_w7_kernel;
