// The 16-bit FFT operations of one variant and kind, called through the
// variant table as the data pump's slots would call them, with a context
// that destroys itself and a forward that returns what it wrote (and must
// keep the floating-point settings, packed registers released).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "siglib/frame/slots.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/transforms/fft16/fft16.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/structured_inputs.h"

namespace qvls_test::transforms {

struct Fft16Ops {
  Layout layout;
  qvlsFFTCreate_ci16_fn* create;
  qvlsFFTDestroy_ci16_fn* destroy;
  qvlsFFTWorkSize_ci16_fn* work_size;
  qvlsFFTFwd_ci16_sc_fn* forward;

  // Values in and out of a transform of order n.
  std::size_t InputCount(std::int32_t order) const {
    return (layout == Layout::kComplex ? 2u : 1u) << order;
  }
  std::size_t OutputCount(std::int32_t order) const {
    if (layout == Layout::kComplex) return 2u << order;
    return order == 0 ? 2 : (1u << order) + 2;  // {x(0), 0} for a single sample
  }
  std::vector<long double> Exact(std::span<const std::int16_t> src, std::int32_t order,
                                 std::int32_t flag, std::int32_t sf) const {
    return layout == Layout::kComplex ? ExactComplexOutput(src, order, flag, sf)
                                      : ExactRealOutput(src, order, flag, sf);
  }
};

inline Fft16Ops OpsOf(std::int32_t column, Layout layout) {
  const qvls_variant_records& t = qvls_variant_table;
  if (layout == Layout::kComplex) {
    return {layout, t.qvlsFFTCreate_ci16.entry[column], t.qvlsFFTDestroy_ci16.entry[column],
            t.qvlsFFTWorkSize_ci16.entry[column], t.qvlsFFTFwd_ci16_sc.entry[column]};
  }
  return {layout, t.qvlsFFTCreate_i16.entry[column], t.qvlsFFTDestroy_i16.entry[column],
          t.qvlsFFTWorkSize_i16.entry[column], t.qvlsFFTFwd_i16_sc.entry[column]};
}

// A created context, destroyed (and checked) at the end of its scope.
class Fft16Context {
 public:
  Fft16Context(const Fft16Ops& ops, std::int32_t order, std::int32_t flag, std::int32_t hint)
      : ops_(ops), status_(ops.create(&context_, order, flag, hint)) {}
  ~Fft16Context() {
    if (context_ != nullptr) {
      EXPECT_EQ(ops_.destroy(context_), QVLS_OK);
    }
  }
  Fft16Context(const Fft16Context&) = delete;
  Fft16Context& operator=(const Fft16Context&) = delete;

  qvls_status status() const { return status_; }
  fft16_context* get() const { return context_; }

  std::int32_t WorkSize() const {
    std::int32_t size = -1;
    EXPECT_EQ(ops_.work_size(context_, &size), QVLS_OK);
    return size;
  }

  // The forward transform into a fresh destination, with a null work
  // pointer unless one is given.
  std::vector<std::int16_t> Forward(std::span<const std::int16_t> src, std::int32_t sf,
                                    std::uint8_t* work = nullptr) const {
    std::vector<std::int16_t> dst(ops_.OutputCount(context_->order), 0x5A5A);
    EXPECT_EQ(CallKeepingFpSettings(ops_.forward, src.data(), dst.data(), context_, sf, work),
              QVLS_OK);
    return dst;
  }

 private:
  Fft16Ops ops_;
  fft16_context* context_ = nullptr;
  qvls_status status_;
};

}  // namespace qvls_test::transforms
