// Create, destroy, work size and release of the DFT context, one code over
// a variant policy V (dft_context_<variant>.cpp):
//
//   struct V {
//     using Arithmetic = double or float;           // of the scale
//     kFft: the variant's complex FFT (create, destroy, work size)
//     RootsTable, RootsSubset, Factorize, InitMixed, InitBluestein, FreeContext
//   };
//
// The way of a length is chosen here; every size it needs is counted in 64
// bits and checked before its first table is allocated.
#pragma once

#include <bit>
#include <cstdint>
#include <new>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_context/plan.h"
#include "siglib/transforms/dft_context/table_blocks.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/normalisation.h"

namespace qvls::dft {

// Lengths up to this run the small kernels: no table, no work buffer.
inline constexpr std::int32_t kLargestSmall = 4;

// The complex FFT operations of a variant that the DFT creates and destroys.
struct FftContextOps {
  qvlsFFTCreate_f32_fn* create;
  qvlsFFTDestroy_f32_fn* destroy;
  qvlsFFTWorkSize_f32_fn* work_size;
};

// Everything the context owns back to the pool, the context last (id 0 just
// before). pow2_fft is the callers' to destroy.
template <class V>
void FreeContext(dft_context* context) {
  if (context == nullptr) return;
  qvlsFree_px(context->direct_roots);
  qvlsFree_px(context->chirp);
  qvlsFree_px(context->chirp_spectrum);
  qvlsFree_px(context->leaf_offsets);
  if (context->bluestein_fft != nullptr) V::kFft.destroy(context->bluestein_fft);
  if (context->mixed_radix != 0) FreeMixed(context);
  context->id = 0;
  qvlsFree_px(context);
}

// A context with everything it owns, the inner FFT of way 2 first.
template <class V>
void Release(dft_context* context) {
  if (context->pow2_fft != nullptr) V::kFft.destroy(context->pow2_fft);
  V::FreeContext(context);
}

// Way 2: the inner FFT of order log2 N with the caller's flag and hint; the
// work size is its own.
template <class V>
qvls_status InitPowerOfTwo(dft_context* context, std::int32_t flag) {
  context->power_of_two = 1;
  const auto order = static_cast<std::int32_t>(std::countr_zero(std::uint32_t(context->length)));
  const qvls_status status = V::kFft.create(&context->pow2_fft, order, flag, context->hint);
  if (status != QVLS_OK) return status;
  V::kFft.work_size(context->pow2_fft, &context->work_size);
  return QVLS_OK;
}

// Way 3: the plan's tables from the roots table of N, which lives for the
// set-up only.
template <class V>
qvls_status InitMixedWay(dft_context* context) {
  context->mixed_radix = 1;
  if (!FitsSize(MixedWorkBytes(*context))) return QVLS_ERR_MEM_ALLOCATED;
  float* roots = V::RootsTable(context->length);
  if (roots == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  const qvls_status status = V::InitMixed(context, roots);
  qvlsFree_px(roots);
  return status;
}

// Way 4: the roots of N (a copy of the roots table, with the variant's index
// entries) and 8N + 16 bytes of work for the kernel's pair records. A copy
// the pool refuses fails the create.
template <class V>
qvls_status InitDirect(dft_context* context) {
  const std::int32_t n = context->length;
  float* roots = V::RootsTable(n);
  if (roots == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->direct_roots = V::RootsSubset(n, roots, n);
  qvlsFree_px(roots);
  if (context->direct_roots == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->work_size = 8 * n + 16;
  return QVLS_OK;
}

// Ways 2 to 5 for N > 4.
template <class V>
qvls_status InitWay(dft_context* context, std::int32_t flag) {
  const std::int32_t n = context->length;
  if (std::has_single_bit(std::uint32_t(n))) return InitPowerOfTwo<V>(context, flag);
  if (V::Factorize(context, n) != 0) return InitMixedWay<V>(context);
  if (n <= kLargestDirect) return InitDirect<V>(context);
  return V::InitBluestein(context, n);
}

template <class V>
qvls_status Create(dft_context** out, std::int32_t n, std::int32_t flag, std::int32_t hint) {
  if (out == nullptr) return QVLS_ERR_NULL_POINTER;
  if (n < 1) return QVLS_ERR_DATA_SIZE;
  void* block = qvlsAlloc_u8_px(sizeof(dft_context));
  if (block == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  auto* context = new (block) dft_context{};
  context->id = QVLS_ID_DFT;
  context->length = n;
  context->hint = hint;
  using T = typename V::Arithmetic;
  if (!transforms::SetScaling(context, flag, static_cast<T>(n))) {
    Release<V>(context);
    return QVLS_ERR_FFT_FLAG;
  }
  if (n > kLargestSmall) {
    const qvls_status status = InitWay<V>(context, flag);
    if (status != QVLS_OK) {
      Release<V>(context);
      return status;
    }
  }
  *out = context;
  return QVLS_OK;
}

template <class V>
qvls_status Destroy(dft_context* context) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT) return QVLS_ERR_CONTEXT_MISMATCH;
  Release<V>(context);
  return QVLS_OK;
}

inline qvls_status WorkSize(const dft_context* context, std::int32_t* size) {
  if (size == nullptr || context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT) return QVLS_ERR_CONTEXT_MISMATCH;
  StoreAt(size, 0, context->work_size);
  return QVLS_OK;
}

}  // namespace qvls::dft

// The entries of variant `tag` over its policy V (variants.h).
#define QVLS_DEFINE_DFT_ENTRIES(tag, V)                                                            \
  qvls_status qvlsDFTCreate_cf32_##tag(dft_context** out, std::int32_t length, std::int32_t flag,  \
                                       std::int32_t hint) {                                        \
    return qvls::dft::Create<V>(out, length, flag, hint);                                          \
  }                                                                                                \
  qvls_status qvlsDFTDestroy_cf32_##tag(dft_context* context) {                                    \
    return qvls::dft::Destroy<V>(context);                                                         \
  }                                                                                                \
  qvls_status qvlsDFTFwd_cf32_##tag(const float* src, float* dst, const dft_context* context,      \
                                    std::uint8_t* work) {                                          \
    return qvls::dft::Transform<V, qvls::transforms::Direction::kForward>(src, dst, context,       \
                                                                          work);                   \
  }                                                                                                \
  qvls_status qvlsDFTInv_cf32_##tag(const float* src, float* dst, const dft_context* context,      \
                                    std::uint8_t* work) {                                          \
    return qvls::dft::Transform<V, qvls::transforms::Direction::kInverse>(src, dst, context,       \
                                                                          work);                   \
  }                                                                                                \
  void qvlsDFTFreeContext_cf32_##tag(dft_context* context) { qvls::dft::FreeContext<V>(context); } \
  float* qvlsDFTRootsTable_cf32_##tag(std::int32_t t) { return qvls::dft::BuildRootsTable(t); }    \
  qvls_status qvlsDFTInitMixed_cf32_##tag(dft_context* context, const float* roots) {              \
    return qvls::dft::InitMixed<V>(context, roots);                                                \
  }

// The work-size query and the factorisation of variant `tag` (px, whose
// routines m6 and a6 run, and w7).
#define QVLS_DEFINE_DFT_SHARED_ENTRIES(tag)                                                \
  qvls_status qvlsDFTWorkSize_cf32_##tag(const dft_context* context, std::int32_t* size) { \
    return qvls::dft::WorkSize(context, size);                                             \
  }                                                                                        \
  std::int32_t qvlsDFTFactorize_cf32_##tag(dft_context* context, std::int32_t n) {         \
    return qvls::dft::Factorize(context, n);                                               \
  }
