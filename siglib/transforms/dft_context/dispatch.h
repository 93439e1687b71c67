// The DFT's forward and inverse operations over a variant policy V
// (variants.h): the checks, the work area, the way of the context and the
// flag's factor.
#pragma once

#include <cstdint>

#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/small_kernels/small_kernels.h"
#include "siglib/transforms/work_area.h"

namespace qvls::dft {

// Checks in order: the context (null, then its identifier), then src and
// dst. Lengths up to 4 run a small kernel, which scales itself and takes no
// work buffer. The inner FFT of way 2 applies the flag's factor (it has the
// same flag); the other ways multiply the 2N floats of dst by `scale` once
// they succeed.
template <class V, transforms::Direction D>
qvls_status Transform(const float* src, float* dst, const dft_context* context,
                      std::uint8_t* work) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT) return QVLS_ERR_CONTEXT_MISMATCH;
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  constexpr bool kForward = D == transforms::Direction::kForward;
  const bool scaled = (kForward ? context->fwd_scaled : context->inv_scaled) != 0;
  const std::int32_t n = context->length;
  if (n <= kLargestSmall) {
    RunComplexKernel<D>(V::kSmallKernels, n - 1, scaled, context->scale, src, dst);
    return QVLS_OK;
  }
  const transforms::WorkArea area(work, context->work_size);
  if (area.missing()) return QVLS_ERR_MEM_ALLOCATED;
  if (context->power_of_two != 0) {
    return V::kFftTransform.template Get<D>()(src, dst, context->pow2_fft, area.data());
  }
  const std::int32_t direction = kForward ? 1 : -1;
  qvls_status status = QVLS_OK;
  if (context->mixed_radix != 0) {
    V::kMixed.template Get<D>()(context, src, dst, area.data());
  } else if (n > kLargestDirect) {
    status = V::Bluestein(context, src, dst, n, direction, area.data());
  } else {
    V::Direct(src, dst, n, direction, context->direct_roots, area.data());
  }
  if (status == QVLS_OK && scaled) V::MulConst(context->scale, dst, 2 * n);
  return status;
}

}  // namespace qvls::dft
