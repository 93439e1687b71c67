// The float FFT's transforms, one code over a variant policy V
// (fft_exec_<variant>.cpp):
//
//   struct V {
//     static constexpr Limits kLimits;                 // direct and reordering limits
//     using Arithmetic = double or float;              // of the real fold
//     static constexpr const small_kernel_table& kSmallKernels;
//     Permute, PermuteInPlace                          // bit reversal of the complex data
//     kPasses, kReordering (a6, w7)                    // radix kernels by direction
//     kLarge                                           // the large-order entries
//     Recombine, MulConst
//   };
//
// A complex transform of order m <= L runs the reordering kernel (up to the
// variant's reordering limit) or the bit reversal into dst and the in-place
// passes; a scaled direction then multiplies dst by the context's scale.
// Above L the bit reversal into dst is followed by the large-order split,
// which scales as it goes. A real transform of order n >= 4 runs the complex
// transform of order n - 1 on the samples taken in pairs (scaled as the
// complex one, its 2^n floats being the N samples), folds the first bin into
// X(0) and X(N/2), recombines and packs X(N/2) behind the N floats.
#pragma once

#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/fft_context/context_engine.h"
#include "siglib/transforms/fft_context/limits.h"
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/small_kernels/small_kernels.h"
#include "siglib/transforms/work_area.h"

namespace qvls::float_fft {

using transforms::ByDirection;
using transforms::Direction;

template <class V>
void BitReverseInto(const float* src, float* dst, std::int32_t n, const fft_context& context) {
  if (src == dst) {
    V::PermuteInPlace(dst, n, context.bitrev_table);
  } else {
    V::Permute(src, dst, n, context.bitrev_table);
  }
}

template <class V, Direction D>
void DirectComplex(const float* src, float* dst, std::int32_t m, const fft_context& context,
                   std::uint8_t* work) {
  const std::int32_t n = std::int32_t{1} << m;
  constexpr bool kVector = V::kLimits.reordering > 0;
  if constexpr (kVector) {
    if (m <= V::kLimits.reordering) {
      V::kReordering.template Get<D>()(src, dst, n, context.twiddles, context.bitrev_table, work);
      return;
    }
  }
  BitReverseInto<V>(src, dst, n, context);
  if constexpr (kVector) {
    V::kPasses.template Get<D>()(dst, n, context.twiddles, work, 1);
  } else {
    V::kPasses.template Get<D>()(dst, n, context.twiddles);
  }
}

// The complex transform of order m >= 4 from src into dst, scaled as the
// context says for the direction.
template <class V, Direction D>
void ScaledComplex(const float* src, float* dst, std::int32_t m, const fft_context& context,
                   std::uint8_t* work) {
  if (m > V::kLimits.direct) {
    BitReverseInto<V>(src, dst, std::int32_t{1} << m, context);
    V::kLarge.template Get<D>()(&context, dst, m, work);
    return;
  }
  DirectComplex<V, D>(src, dst, m, context, work);
  const bool scaled = (D == Direction::kForward ? context.fwd_scaled : context.inv_scaled) != 0;
  if (scaled) V::MulConst(context.scale, dst, std::int32_t{2} << m);
}

inline qvls_status CheckCall(const float* src, const float* dst, const fft_context* context,
                             Kind kind) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  return QVLS_OK;
}

template <class V, Direction D>
qvls_status TransformComplex(const float* src, float* dst, const fft_context* context,
                             std::uint8_t* work) {
  const qvls_status checked = CheckCall(src, dst, context, Kind::kComplex);
  if (checked != QVLS_OK) return checked;
  constexpr bool kForward = D == Direction::kForward;
  const bool scaled = (kForward ? context->fwd_scaled : context->inv_scaled) != 0;
  const std::int32_t order = context->order;
  if (order <= kLargestSmallOrder) {
    RunComplexKernel<D>(V::kSmallKernels, order, scaled, context->scale, src, dst);
    return QVLS_OK;
  }
  const transforms::WorkArea area(work, context->work_size);
  if (area.missing()) return QVLS_ERR_MEM_ALLOCATED;
  ScaledComplex<V, D>(src, dst, order, *context, area.data());
  return QVLS_OK;
}

// The packed form {X0, X(N/2), Re X1, Im X1, ...} into the output layout:
// X(N/2) moves behind the N floats, both imaginary parts are 0.
inline void PackNyquist(float* dst, std::int32_t n) {
  if (n > 1) {
    StoreAt(dst, n, LoadAt(dst, 1));
    StoreAt(dst, n + 1, 0.0f);
  }
  StoreAt(dst, 1, 0.0f);
}

template <class V>
qvls_status ForwardReal(const float* src, float* dst, const fft_context* context,
                        std::uint8_t* work) {
  const qvls_status checked = CheckCall(src, dst, context, Kind::kReal);
  if (checked != QVLS_OK) return checked;
  const bool scaled = context->fwd_scaled != 0;
  const std::int32_t order = context->order;
  const std::int32_t n = std::int32_t{1} << order;
  if (order <= kLargestSmallOrder) {
    const small_kernel_entry& kernel =
        SmallKernel(V::kSmallKernels, scaled ? QVLS_SMALL_REAL_FWD_SC : QVLS_SMALL_REAL_FWD, order);
    if (scaled) {
      kernel.scaled(src, dst, context->scale);
    } else {
      kernel.unscaled(src, dst);
    }
    PackNyquist(dst, n);
    return QVLS_OK;
  }
  const transforms::WorkArea area(work, context->work_size);
  if (area.missing()) return QVLS_ERR_MEM_ALLOCATED;
  ScaledComplex<V, Direction::kForward>(src, dst, order - 1, *context, area.data());
  // Z(0) = (a, b) holds X(0) = a + b and X(N/2) = a - b.
  using T = typename V::Arithmetic;
  const T a = LoadAt(dst, 0), b = LoadAt(dst, 1);
  StoreAt(dst, 0, static_cast<float>(a + b));
  StoreAt(dst, 1, static_cast<float>(a - b));
  V::Recombine(dst, n / 2, context->real_twiddles);
  PackNyquist(dst, n);
  return QVLS_OK;
}

}  // namespace qvls::float_fft

// The transforms of variant `tag` over its policy V.
#define QVLS_DEFINE_FLOAT_FFT_TRANSFORMS(tag, V)                                              \
  qvls_status qvlsFFTFwd_cf32_##tag(const float* src, float* dst, const fft_context* context, \
                                    std::uint8_t* work) {                                     \
    return qvls::float_fft::TransformComplex<V, qvls::transforms::Direction::kForward>(       \
        src, dst, context, work);                                                             \
  }                                                                                           \
  qvls_status qvlsFFTInv_cf32_##tag(const float* src, float* dst, const fft_context* context, \
                                    std::uint8_t* work) {                                     \
    return qvls::float_fft::TransformComplex<V, qvls::transforms::Direction::kInverse>(       \
        src, dst, context, work);                                                             \
  }                                                                                           \
  qvls_status qvlsFFTFwd_f32_##tag(const float* src, float* dst, const fft_context* context,  \
                                   std::uint8_t* work) {                                      \
    return qvls::float_fft::ForwardReal<V>(src, dst, context, work);                          \
  }
