// The float FFT engine of one variant as its callers reach it (it has no
// slots: the 16-bit FFT and the DFT call a variant's entries by name), a
// context that destroys itself, and the transforms returning what they
// wrote (keeping the floating-point settings).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "siglib/tests/support/fp_env.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/small_kernels/small_kernels.h"
#include "siglib/transforms/tests/support/structured_inputs.h"

namespace qvls_test::transforms {

struct FloatFftEntries {
  std::int32_t direct_limit;        // L: the largest complex order a context takes
  std::int32_t reordering_limit;    // the largest order of the reordering kernel; 0 without
  qvlsFFTCreate_f32_fn* create[2];  // by Layout: complex, real
  qvlsFFTDestroy_f32_fn* destroy[2];
  qvlsFFTWorkSize_f32_fn* work_size[2];
  qvlsFFTFwd_cf32_fn* forward[2];
  qvlsFFTFwd_cf32_fn* inverse;  // complex only
  qvlsFFTSineTable_f32_fn* sine_table;
  qvlsMulConst_f32_ip_fn* mul_const;
  const small_kernel_table* fft_kernels;
  const small_kernel_table* dft_kernels;
};

// By variant column: px, m6, a6, w7.
inline const FloatFftEntries kFloatFft[] = {
    {10,
     0,
     {qvlsFFTCreate_cf32_px, qvlsFFTCreate_f32_px},
     {qvlsFFTDestroy_cf32_px, qvlsFFTDestroy_f32_px},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_px, qvlsFFTFwd_f32_px},
     qvlsFFTInv_cf32_px,
     qvlsFFTSineTable_f32_px,
     qvlsMulConst_f32_ip_px,
     &qvlsFFTSmallKernels_px,
     &qvlsDFTSmallKernels_px},
    {10,
     0,
     {qvlsFFTCreate_cf32_m6, qvlsFFTCreate_f32_m6},
     {qvlsFFTDestroy_cf32_m6, qvlsFFTDestroy_f32_m6},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_m6, qvlsFFTFwd_f32_m6},
     qvlsFFTInv_cf32_m6,
     qvlsFFTSineTable_f32_m6,
     qvlsMulConst_f32_ip_px,
     &qvlsFFTSmallKernels_m6,
     &qvlsDFTSmallKernels_m6},
    {10,
     9,
     {qvlsFFTCreate_cf32_a6, qvlsFFTCreate_f32_a6},
     {qvlsFFTDestroy_cf32_a6, qvlsFFTDestroy_f32_a6},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_a6, qvlsFFTFwd_f32_a6},
     qvlsFFTInv_cf32_a6,
     qvlsFFTSineTable_f32_a6,
     qvlsMulConst_f32_ip_a6,
     &qvlsFFTSmallKernels_a6,
     &qvlsDFTSmallKernels_a6},
    {14,
     13,
     {qvlsFFTCreate_cf32_w7, qvlsFFTCreate_f32_w7},
     {qvlsFFTDestroy_cf32_w7, qvlsFFTDestroy_f32_w7},
     {qvlsFFTWorkSize_cf32_w7, qvlsFFTWorkSize_f32_w7},
     {qvlsFFTFwd_cf32_w7, qvlsFFTFwd_f32_w7},
     qvlsFFTInv_cf32_w7,
     qvlsFFTSineTable_f32_w7,
     qvlsMulConst_f32_ip_w7,
     &qvlsFFTSmallKernels_w7,
     &qvlsDFTSmallKernels_w7},
};

inline std::size_t Index(Layout layout) { return layout == Layout::kComplex ? 0 : 1; }

// The largest order a context of this layout takes in this variant.
inline std::int32_t LargestOrder(const FloatFftEntries& e, Layout layout) {
  return layout == Layout::kComplex ? e.direct_limit : e.direct_limit + 1;
}

// Floats in and out of a transform of order n.
inline std::size_t FloatInputs(Layout layout, std::int32_t order) {
  return (layout == Layout::kComplex ? 2u : 1u) << order;
}
inline std::size_t FloatOutputs(Layout layout, std::int32_t order) {
  if (layout == Layout::kComplex) return 2u << order;
  return order == 0 ? 2 : (1u << order) + 2;
}

enum class Way { kForward, kInverse };

// The ways a layout has: complex forward and inverse, real forward.
inline std::vector<Way> WaysOf(Layout layout) {
  if (layout == Layout::kReal) return {Way::kForward};
  return {Way::kForward, Way::kInverse};
}

// The normalisation flags: 1 scales the forward result by 1/N, 2 the
// inverse, 4 both by 1/sqrt N, 8 neither.
inline constexpr std::int32_t kFlags[] = {1, 2, 4, 8};

// A created context, destroyed (and checked) at the end of its scope.
class FloatContext {
 public:
  FloatContext(const FloatFftEntries& entries, Layout layout, std::int32_t order, std::int32_t flag)
      : entries_(entries),
        layout_(layout),
        status_(entries.create[Index(layout)](&context_, order, flag, 0)) {}
  ~FloatContext() {
    if (context_ != nullptr) {
      EXPECT_EQ(entries_.destroy[Index(layout_)](context_), QVLS_OK);
    }
  }
  FloatContext(const FloatContext&) = delete;
  FloatContext& operator=(const FloatContext&) = delete;

  qvls_status status() const { return status_; }
  fft_context* get() const { return context_; }

  std::int32_t WorkSize() const {
    std::int32_t size = -1;
    EXPECT_EQ(entries_.work_size[Index(layout_)](context_, &size), QVLS_OK);
    return size;
  }

  qvlsFFTFwd_cf32_fn* Entry(Way way) const {
    return way == Way::kForward ? entries_.forward[Index(layout_)] : entries_.inverse;
  }

  // The transform into a fresh destination (or in place in a copy of src
  // grown to the output size), with a null work pointer unless one is given.
  std::vector<float> Run(Way way, std::span<const float> src, std::uint8_t* work = nullptr,
                         bool in_place = false) const {
    std::vector<float> dst(FloatOutputs(layout_, context_->order), -777.0f);
    if (in_place) std::copy(src.begin(), src.end(), dst.begin());
    const float* from = in_place ? dst.data() : src.data();
    EXPECT_EQ(CallKeepingFpSettings(Entry(way), from, dst.data(), context_, work), QVLS_OK);
    return dst;
  }

 private:
  const FloatFftEntries& entries_;
  Layout layout_;
  fft_context* context_ = nullptr;
  qvls_status status_;
};

}  // namespace qvls_test::transforms
