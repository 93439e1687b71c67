// How a variant's .cpp lays out its two small-kernel tables: rows by role,
// a column per order (FFT) or length (DFT).
#pragma once

#include <array>

#include "siglib/transforms/small_kernels/small_kernels.h"

namespace qvls::small_kernels {

using ScaledRow = std::array<qvlsSmallKernel_sc_fn*, 4>;
using UnscaledRow = std::array<qvlsSmallKernel_fn*, 4>;

struct TableRows {
  ScaledRow complex_fwd_sc;
  UnscaledRow complex_fwd;
  ScaledRow complex_inv_sc;
  UnscaledRow complex_inv;
  ScaledRow real_fwd_sc = {};  // empty in the DFT tables
  UnscaledRow real_fwd = {};
};

constexpr small_kernel_table MakeTable(const TableRows& rows) {
  small_kernel_table table{};
  for (std::int32_t c = 0; c < 4; ++c) {
    table[4 * QVLS_SMALL_COMPLEX_FWD_SC + c].scaled = rows.complex_fwd_sc[c];
    table[4 * QVLS_SMALL_COMPLEX_FWD + c].unscaled = rows.complex_fwd[c];
    table[4 * QVLS_SMALL_COMPLEX_INV_SC + c].scaled = rows.complex_inv_sc[c];
    table[4 * QVLS_SMALL_COMPLEX_INV + c].unscaled = rows.complex_inv[c];
    table[4 * QVLS_SMALL_REAL_FWD_SC + c].scaled = rows.real_fwd_sc[c];
    table[4 * QVLS_SMALL_REAL_FWD + c].unscaled = rows.real_fwd[c];
  }
  return table;
}

}  // namespace qvls::small_kernels

// The FFT and DFT tables of variant `tag` from its kernels: the routines
// of lengths 1 and 2 (`one_*`, `two_*`) as the variant takes them, and its
// 17 own kernels (suffix own_tag).
#define QVLS_DEFINE_SMALL_KERNEL_TABLES(tag, own, one_c_sc, one_r_sc, two_c_sc, two_r)             \
  const small_kernel_table qvlsFFTSmallKernels_##tag = qvls::small_kernels::MakeTable({            \
      .complex_fwd_sc = {one_c_sc, two_c_sc, qvlsDFT4Fwd_cf32_sc_##own##_kernel,                   \
                         qvlsDFT8Fwd_cf32_sc_##own##_kernel},                                      \
      .complex_fwd = {qvlsDFT1_cf32_px_kernel, qvlsDFT2_cf32_px_kernel,                            \
                      qvlsDFT4Fwd_cf32_##own##_kernel, qvlsDFT8Fwd_cf32_##own##_kernel},           \
      .complex_inv_sc = {one_c_sc, two_c_sc, qvlsDFT4Inv_cf32_sc_##own##_kernel,                   \
                         qvlsDFT8Inv_cf32_sc_##own##_kernel},                                      \
      .complex_inv = {qvlsDFT1_cf32_px_kernel, qvlsDFT2_cf32_px_kernel,                            \
                      qvlsDFT4Inv_cf32_##own##_kernel, qvlsDFT8Inv_cf32_##own##_kernel},           \
      .real_fwd_sc = {one_r_sc, qvlsDFT2_f32_sc_##own##_kernel, qvlsDFT4Fwd_f32_sc_##own##_kernel, \
                      qvlsDFT8Fwd_f32_sc_##own##_kernel},                                          \
      .real_fwd = {qvlsDFT1_f32_px_kernel, two_r, qvlsDFT4Fwd_f32_##own##_kernel,                  \
                   qvlsDFT8Fwd_f32_##own##_kernel},                                                \
  });                                                                                              \
  const small_kernel_table qvlsDFTSmallKernels_##tag = qvls::small_kernels::MakeTable({            \
      .complex_fwd_sc = {one_c_sc, two_c_sc, qvlsDFT3Fwd_cf32_sc_##own##_kernel,                   \
                         qvlsDFT4Fwd_cf32_sc_##own##_kernel},                                      \
      .complex_fwd = {qvlsDFT1_cf32_px_kernel, qvlsDFT2_cf32_px_kernel,                            \
                      qvlsDFT3Fwd_cf32_##own##_kernel, qvlsDFT4Fwd_cf32_##own##_kernel},           \
      .complex_inv_sc = {one_c_sc, two_c_sc, qvlsDFT3Inv_cf32_sc_##own##_kernel,                   \
                         qvlsDFT4Inv_cf32_sc_##own##_kernel},                                      \
      .complex_inv = {qvlsDFT1_cf32_px_kernel, qvlsDFT2_cf32_px_kernel,                            \
                      qvlsDFT3Inv_cf32_##own##_kernel, qvlsDFT4Inv_cf32_##own##_kernel},           \
  });
