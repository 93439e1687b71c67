// The mixed-radix DFT: the unscaled forward or inverse transform of a length
// whose context holds a mixed-radix plan (dft_context/plan.h). A decimation
// in time: leaf kernels of length L read the input through the leaf offsets
// and a stride, then one twiddled pass per stage, from the last back to
// stage 0, leaves the result in natural order.
//
// Drivers and kernels check nothing, allocate nothing and keep nothing;
// every table they read was built by the context's create.
#pragma once

#include <cstdint>

#include "siglib/transforms/dft_context/dft_context.h"

// Top-level driver: dst = the unscaled DFT of src (src may equal dst). work:
// 16-byte aligned, of the context's work size less its 16 spare bytes. When
// src equals dst, the first 8N bytes hold the intermediate array and the odd
// kernels' scratch follows at the next 16-byte boundary; otherwise the
// intermediate array is dst and the scratch is the work area.
using qvlsDFTMixed_cf32_fn = void(const dft_context* context, const float* src, float* dst,
                                  std::uint8_t* work);
// Recursive driver of stage d (1..K): y = the DFT of length rd·nd of x[0],
// x[sd], x[2·sd], ...
using qvlsDFTMixedLevel_cf32_fn = void(const dft_context* context, const float* x, float* y,
                                       std::int32_t d, float* scratch);

// Leaf of length L = 3 or 5: for blocks J < b and t < c, the DFT of
// src[offsets[J] + t·s + m·s·c], m < L, into dst[(J·c + t)·L + k], k < L.
using qvlsDFTLeaf_cf32_kernel_fn = void(const float* src, std::int32_t s, float* dst,
                                        std::int32_t c, std::int32_t b,
                                        const std::int32_t* offsets);
// Odd leaf of a prime L > 5, one block: for t < c, the DFT of
// src[t·s + m·s·c] into dst[t·L + k], with (L - 1)/2 scratch records.
using qvlsDFTLeafOdd_cf32_kernel_fn = void(const float* src, std::int32_t s, float* dst,
                                           std::int32_t l, std::int32_t c,
                                           const dft_roots_table* roots, float* scratch);
// Stage pass of radix 2, 3, 4 or 5 over b consecutive blocks of r·n
// elements from src into dst (src may equal dst).
using qvlsDFTRadix_cf32_kernel_fn = void(const float* src, float* dst, std::int32_t n,
                                         std::int32_t b, const float* twiddles);
// Stage pass of a prime radix R > 5 over one block of R·n elements.
using qvlsDFTRadixOdd_cf32_kernel_fn = void(const float* src, float* dst, std::int32_t r,
                                            std::int32_t n, const dft_roots_table* roots,
                                            const float* twiddles, float* scratch);

// Every variant's drivers, leaves and passes of radix 3, 5 and odd.
#define QVLS_DECLARE_DFT_MIXED_ENTRIES(tag)                                                   \
  qvlsDFTMixed_cf32_fn qvlsDFTFwdMixed_cf32_##tag, qvlsDFTInvMixed_cf32_##tag;                \
  qvlsDFTMixedLevel_cf32_fn qvlsDFTFwdMixedLevel_cf32_##tag, qvlsDFTInvMixedLevel_cf32_##tag; \
  qvlsDFTLeaf_cf32_kernel_fn qvlsDFTFwdLeaf3_cf32_##tag##_kernel,                             \
      qvlsDFTInvLeaf3_cf32_##tag##_kernel, qvlsDFTFwdLeaf5_cf32_##tag##_kernel,               \
      qvlsDFTInvLeaf5_cf32_##tag##_kernel;                                                    \
  qvlsDFTLeafOdd_cf32_kernel_fn qvlsDFTFwdLeafOdd_cf32_##tag##_kernel,                        \
      qvlsDFTInvLeafOdd_cf32_##tag##_kernel;                                                  \
  qvlsDFTRadix_cf32_kernel_fn qvlsDFTFwdRadix3_cf32_##tag##_kernel,                           \
      qvlsDFTInvRadix3_cf32_##tag##_kernel, qvlsDFTFwdRadix5_cf32_##tag##_kernel,             \
      qvlsDFTInvRadix5_cf32_##tag##_kernel;                                                   \
  qvlsDFTRadixOdd_cf32_kernel_fn qvlsDFTFwdRadixOdd_cf32_##tag##_kernel,                      \
      qvlsDFTInvRadixOdd_cf32_##tag##_kernel;
QVLS_DECLARE_DFT_MIXED_ENTRIES(px)
QVLS_DECLARE_DFT_MIXED_ENTRIES(m6)
QVLS_DECLARE_DFT_MIXED_ENTRIES(a6)
QVLS_DECLARE_DFT_MIXED_ENTRIES(w7)
#undef QVLS_DECLARE_DFT_MIXED_ENTRIES

// Radix 2: m6's serve px. Radix 4: px's forward serves m6, m6's inverse px.
qvlsDFTRadix_cf32_kernel_fn qvlsDFTFwdRadix2_cf32_m6_kernel, qvlsDFTInvRadix2_cf32_m6_kernel,
    qvlsDFTFwdRadix2_cf32_a6_kernel, qvlsDFTInvRadix2_cf32_a6_kernel,
    qvlsDFTFwdRadix2_cf32_w7_kernel, qvlsDFTInvRadix2_cf32_w7_kernel;
qvlsDFTRadix_cf32_kernel_fn qvlsDFTFwdRadix4_cf32_px_kernel, qvlsDFTInvRadix4_cf32_m6_kernel,
    qvlsDFTFwdRadix4_cf32_a6_kernel, qvlsDFTInvRadix4_cf32_a6_kernel,
    qvlsDFTFwdRadix4_cf32_w7_kernel, qvlsDFTInvRadix4_cf32_w7_kernel;
