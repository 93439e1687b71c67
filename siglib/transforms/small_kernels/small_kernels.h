// The straight-line kernels of the smallest transforms: the complex FFT and
// the real forward FFT of orders 0 to 3 (N = 1, 2, 4, 8) and the complex DFT
// of lengths 1 to 4, each variant's two tables of them, and the kernels by
// name.
//
// A kernel reads src and writes dst (which may be the same array), checks
// nothing, keeps nothing and touches nothing else. A complex kernel of
// length N reads and writes 2N floats, interleaved {re, im}. A real kernel
// reads N samples and writes the packed real spectrum: {X0} for N = 1, else
// {X0, X(N/2), Re X1, Im X1, ..., Re X(N/2-1), Im X(N/2-1)}. A scaled kernel
// multiplies the whole result by its s once (it multiplies the values of its
// first step).
//
// px and m6 compute in double and round when they store; a6 and w7 round
// every operation to single precision (scalar, never packed). So px = m6
// and a6 = w7 bit for bit; the two pairs agree within single rounding.
#pragma once

#include <array>
#include <cstdint>

#include "siglib/transforms/direction.h"

using qvlsSmallKernel_fn = void(const float* src, float* dst);
using qvlsSmallKernel_sc_fn = void(const float* src, float* dst, float s);

// One entry of a table: the scaled rows (0, 2, 8) hold `scaled`, the
// unscaled rows (1, 3, 9) `unscaled`; the rows no operation reads hold
// neither.
struct small_kernel_entry {
  qvlsSmallKernel_sc_fn* scaled;
  qvlsSmallKernel_fn* unscaled;
};

// 12 rows of 4 entries; row r, column c is element 4r + c. The FFT tables
// have a column per order (N = 2^c), the DFT tables one per length (N = c + 1).
using small_kernel_table = std::array<small_kernel_entry, 48>;

enum small_kernel_row : std::int32_t {
  QVLS_SMALL_COMPLEX_FWD_SC = 0,
  QVLS_SMALL_COMPLEX_FWD = 1,
  QVLS_SMALL_COMPLEX_INV_SC = 2,
  QVLS_SMALL_COMPLEX_INV = 3,
  QVLS_SMALL_REAL_FWD_SC = 8,  // FFT tables only
  QVLS_SMALL_REAL_FWD = 9,     // FFT tables only
};

inline const small_kernel_entry& SmallKernel(const small_kernel_table& table, small_kernel_row row,
                                             std::int32_t column) {
  return table[4 * row + column];
}

// The complex kernel of `column` in one direction: the scaled row with s
// when `scaled`, else the unscaled row.
template <qvls::transforms::Direction D>
void RunComplexKernel(const small_kernel_table& table, std::int32_t column, bool scaled, float s,
                      const float* src, float* dst) {
  constexpr bool kForward = D == qvls::transforms::Direction::kForward;
  if (scaled) {
    SmallKernel(table, kForward ? QVLS_SMALL_COMPLEX_FWD_SC : QVLS_SMALL_COMPLEX_INV_SC, column)
        .scaled(src, dst, s);
  } else {
    SmallKernel(table, kForward ? QVLS_SMALL_COMPLEX_FWD : QVLS_SMALL_COMPLEX_INV, column)
        .unscaled(src, dst);
  }
}

extern const small_kernel_table qvlsFFTSmallKernels_px, qvlsFFTSmallKernels_m6,
    qvlsFFTSmallKernels_a6, qvlsFFTSmallKernels_w7;
extern const small_kernel_table qvlsDFTSmallKernels_px, qvlsDFTSmallKernels_m6,
    qvlsDFTSmallKernels_a6, qvlsDFTSmallKernels_w7;

// The kernels, named by family with the variant tag before _kernel. The
// generic routines (px) serve m6 everywhere, and a6 and w7 for the copies of
// length 1 and the unscaled complex 2-point kernel (and a6 for the unscaled
// real 2-point kernel). a6's scaled kernels of lengths 1 and 2 (complex)
// serve w7.
#define QVLS_DECLARE_SMALL_KERNELS(tag)                                                         \
  qvlsSmallKernel_fn qvlsDFT3Fwd_cf32_##tag##_kernel, qvlsDFT3Inv_cf32_##tag##_kernel,          \
      qvlsDFT4Fwd_cf32_##tag##_kernel, qvlsDFT4Inv_cf32_##tag##_kernel,                         \
      qvlsDFT8Fwd_cf32_##tag##_kernel, qvlsDFT8Inv_cf32_##tag##_kernel,                         \
      qvlsDFT4Fwd_f32_##tag##_kernel, qvlsDFT8Fwd_f32_##tag##_kernel;                           \
  qvlsSmallKernel_sc_fn qvlsDFT3Fwd_cf32_sc_##tag##_kernel, qvlsDFT3Inv_cf32_sc_##tag##_kernel, \
      qvlsDFT4Fwd_cf32_sc_##tag##_kernel, qvlsDFT4Inv_cf32_sc_##tag##_kernel,                   \
      qvlsDFT8Fwd_cf32_sc_##tag##_kernel, qvlsDFT8Inv_cf32_sc_##tag##_kernel,                   \
      qvlsDFT2_f32_sc_##tag##_kernel, qvlsDFT4Fwd_f32_sc_##tag##_kernel,                        \
      qvlsDFT8Fwd_f32_sc_##tag##_kernel;
QVLS_DECLARE_SMALL_KERNELS(px)
QVLS_DECLARE_SMALL_KERNELS(a6)
QVLS_DECLARE_SMALL_KERNELS(w7)
#undef QVLS_DECLARE_SMALL_KERNELS
qvlsSmallKernel_fn qvlsDFT1_cf32_px_kernel, qvlsDFT1_f32_px_kernel, qvlsDFT2_cf32_px_kernel,
    qvlsDFT2_f32_px_kernel, qvlsDFT2_f32_w7_kernel;
qvlsSmallKernel_sc_fn qvlsDFT1_cf32_sc_px_kernel, qvlsDFT1_f32_sc_px_kernel,
    qvlsDFT2_cf32_sc_px_kernel, qvlsDFT1_cf32_sc_a6_kernel, qvlsDFT1_f32_sc_a6_kernel,
    qvlsDFT2_cf32_sc_a6_kernel;
