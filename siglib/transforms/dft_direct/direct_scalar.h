// The direct kernel of px and m6: the odd butterfly of the mixed-radix
// kernels in double over the whole length. The pair sums and differences
// are stored as singles in the records {Re s, Im s, Re d, Im d}; X[0] adds
// the sums as formed; the four sums of every other output run in double
// over the rounded records and are rounded once when stored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_direct/dft_direct.h"
#include "siglib/transforms/dft_mixed/kernels.h"

namespace qvls::dft_direct {

template <transforms::Direction D>
void DirectScalar(const float* src, float* dst, std::int32_t n, const dft_roots_table* roots,
                  std::uint8_t* work) {
  using dft_mixed::Complex;
  dft_mixed::OddButterfly<double, D>(
      [src](std::ptrdiff_t m) { return dft_mixed::Element<double>(src, m); }, n,
      dft::RootValues(roots), reinterpret_cast<float*>(work),
      [dst](std::ptrdiff_t j, Complex<double> x) { dft_mixed::PutElement(dst, j, x); });
}

inline void DirectScalar(const float* src, float* dst, std::int32_t n, std::int32_t direction,
                         const dft_roots_table* roots, std::uint8_t* work) {
  if (direction < 0) {
    DirectScalar<transforms::Direction::kInverse>(src, dst, n, roots, work);
  } else {
    DirectScalar<transforms::Direction::kForward>(src, dst, n, roots, work);
  }
}

}  // namespace qvls::dft_direct
