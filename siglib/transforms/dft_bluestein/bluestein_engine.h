// Bluestein's set-up and transform, one code over a variant policy V
// (dft_bluestein_<variant>.cpp):
//
//   struct V {
//     using Arithmetic = double or float;        // of 1/M
//     kFft: the variant's complex FFT (create, destroy, work size),
//     kFftTransform: its forward and inverse
//     RootsTable, Mul, Zero, Conj, MulConst
//   };
#pragma once

#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/dft_bluestein/dft_bluestein.h"
#include "siglib/transforms/dft_context/context_engine.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_context/table_blocks.h"

namespace qvls::bluestein {

// The sizes of the set-up for N, counted in 64 bits: M (the smallest power
// of two >= 2N - 1) and its order.
struct Length {
  std::int64_t m = 1;
  std::int32_t order = 0;
};
inline Length LengthFor(std::int32_t n) {
  Length length;
  while (length.m < 2 * std::int64_t{n} - 1) {
    length.m *= 2;
    ++length.order;
  }
  return length;
}

// c[n] = element n² mod 2N of the roots table of 2N, the index stepped by
// 2n + 1 (one subtraction of 2N keeps it below 2N).
inline void FillChirp(float* chirp, const float* roots, std::int32_t n) {
  const std::int64_t period = 2 * std::int64_t{n};
  std::int64_t e = 0;
  for (std::int64_t k = 0; k < n; ++k) {
    dft::PutRoot(chirp, k, dft::RootAt(roots, e));
    e += 2 * k + 1;
    if (e >= period) e -= period;
  }
}

// Every size is checked before the first block: the roots table of 2N
// (16N bytes, more than the chirp's 8N), the M elements and the work size
// with the inner FFT's own, which is known once that FFT exists; so the
// inner FFT is created first.
template <class V>
qvls_status InitBluestein(dft_context* context, std::int32_t n) {
  const Length length = LengthFor(n);
  const std::int64_t m = length.m;
  if (!dft::FitsSize(16 * std::int64_t{n}) || !dft::FitsSize(8 * m + 16)) {
    return QVLS_ERR_MEM_ALLOCATED;
  }
  const qvls_status created = V::kFft.create(&context->bluestein_fft, length.order, 8, 0);
  if (created != QVLS_OK) return created;
  std::int32_t fft_work = 0;
  V::kFft.work_size(context->bluestein_fft, &fft_work);
  const std::int64_t work = 8 * m + 16 + fft_work;
  if (!dft::FitsSize(work)) return QVLS_ERR_MEM_ALLOCATED;
  context->bluestein_length = static_cast<std::int32_t>(m);

  context->chirp = dft::AllocateArray<float>(2 * std::int64_t{n});
  if (context->chirp == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  context->chirp_spectrum = dft::AllocateArray<float>(2 * m);
  if (context->chirp_spectrum == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  float* roots = V::RootsTable(2 * n);
  if (roots == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  FillChirp(context->chirp, roots, n);
  qvlsFree_px(roots);

  // The filter h: conj c[0..N-1], zeros, and h[M - k] = h[k] for k = 1..N-1.
  float* h = context->chirp_spectrum;
  V::Conj(context->chirp, h, n);
  V::Zero(h + 2 * std::int64_t{n}, static_cast<std::int32_t>(m - n));
  for (std::int64_t k = 1; k < n; ++k) dft::PutRoot(h, m - k, dft::RootAt(h, k));
  const qvls_status transformed = V::kFftTransform.forward(h, h, context->bluestein_fft, nullptr);
  if (transformed != QVLS_OK) return transformed;
  // The inverse FFT of the transform applies no factor: 1/M here (exact).
  using T = typename V::Arithmetic;
  V::MulConst(static_cast<float>(T{1} / static_cast<T>(m)), h, static_cast<std::int32_t>(2 * m));
  context->work_size = static_cast<std::int32_t>(work);
  return QVLS_OK;
}

// w = c·x, zeros to M; W = FFT(w); W = H·W; w = IFFT(W); X = c·w: the
// forward DFT, since nk = (n² + k² - (k - n)²)/2. The inverse is the forward
// read backwards, X_inv[k] = X[(N - k) mod N].
template <class V>
qvls_status Transform(const dft_context* context, const float* src, float* dst, std::int32_t n,
                      std::int32_t direction, std::uint8_t* work) {
  const std::int32_t m = context->bluestein_length;
  auto* w = reinterpret_cast<float*>(work);
  std::uint8_t* fft_work = work + 8 * std::int64_t{m};
  V::Mul(context->chirp, src, w, n);
  V::Zero(w + 2 * std::int64_t{n}, m - n);
  qvls_status status = V::kFftTransform.forward(w, w, context->bluestein_fft, fft_work);
  if (status != QVLS_OK) return status;
  V::Mul(context->chirp_spectrum, w, w, m);
  status = V::kFftTransform.inverse(w, w, context->bluestein_fft, fft_work);
  if (status != QVLS_OK) return status;
  V::Mul(context->chirp, w, dst, n);
  if (direction < 0) {
    for (std::int64_t i = 1; i < n - i; ++i) {
      const dft::Root low = dft::RootAt(dst, i), high = dft::RootAt(dst, n - i);
      dft::PutRoot(dst, i, high);
      dft::PutRoot(dst, n - i, low);
    }
  }
  return QVLS_OK;
}

}  // namespace qvls::bluestein

// The set-up and transform of variant `tag` over its policy V.
#define QVLS_DEFINE_BLUESTEIN_ENTRIES(tag, V)                                                 \
  qvls_status qvlsDFTInitBluestein_cf32_##tag(dft_context* context, std::int32_t n) {         \
    return qvls::bluestein::InitBluestein<V>(context, n);                                     \
  }                                                                                           \
  qvls_status qvlsDFTBluestein_cf32_##tag(const dft_context* context, const float* src,       \
                                          float* dst, std::int32_t n, std::int32_t direction, \
                                          std::uint8_t* work) {                               \
    return qvls::bluestein::Transform<V>(context, src, dst, n, direction, work);              \
  }
