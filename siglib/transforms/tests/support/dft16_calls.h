// The 16-bit DFT operations of one variant, called through the variant
// table as the data pump's slots would call them, with a context that
// destroys itself, transforms that return what they wrote (keeping the
// floating-point settings), and the exact results they are measured against.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "siglib/frame/slots.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/transforms/dft16/dft16.h"
#include "siglib/transforms/tests/support/dft_calls.h"
#include "siglib/transforms/tests/support/dft_reference.h"

namespace qvls_test::transforms {

struct Dft16Ops {
  qvlsDFTCreate_ci16_fn* create;
  qvlsDFTDestroy_ci16_fn* destroy;
  qvlsDFTWorkSize_ci16_fn* work_size;
  qvlsDFTFwd_ci16_sc_fn* transform[2];  // by Way: forward, inverse
};

inline Dft16Ops Dft16OpsOf(std::int32_t column) {
  const qvls_variant_records& t = qvls_variant_table;
  return {t.qvlsDFTCreate_ci16.entry[column],
          t.qvlsDFTDestroy_ci16.entry[column],
          t.qvlsDFTWorkSize_ci16.entry[column],
          {t.qvlsDFTFwd_ci16_sc.entry[column], t.qvlsDFTInv_ci16_sc.entry[column]}};
}

// A created context, destroyed (and checked) at the end of its scope.
class Dft16Context {
 public:
  Dft16Context(const Dft16Ops& ops, std::int32_t length, std::int32_t flag, std::int32_t hint)
      : ops_(ops), status_(ops.create(&context_, length, flag, hint)) {}
  ~Dft16Context() {
    if (context_ != nullptr) {
      EXPECT_EQ(ops_.destroy(context_), QVLS_OK);
    }
  }
  Dft16Context(const Dft16Context&) = delete;
  Dft16Context& operator=(const Dft16Context&) = delete;

  qvls_status status() const { return status_; }
  dft16_context* get() const { return context_; }

  std::int32_t WorkSize() const {
    std::int32_t size = -1;
    EXPECT_EQ(ops_.work_size(context_, &size), QVLS_OK);
    return size;
  }

  // The transform into a fresh destination (or in place in a copy of src),
  // with a null work pointer unless one is given.
  std::vector<std::int16_t> Run(Way way, std::span<const std::int16_t> src, std::int32_t sf,
                                std::uint8_t* work = nullptr, bool in_place = false) const {
    std::vector<std::int16_t> dst(src.size(), 0x5A5A);
    if (in_place) std::copy(src.begin(), src.end(), dst.begin());
    const std::int16_t* from = in_place ? dst.data() : src.data();
    EXPECT_EQ(CallKeepingFpSettings(ops_.transform[static_cast<int>(way)], from, dst.data(),
                                    context_, sf, work),
              QVLS_OK);
    return dst;
  }

 private:
  Dft16Ops ops_;
  dft16_context* context_ = nullptr;
  qvls_status status_;
};

// What a 16-bit DFT of the interleaved values src should give before
// rounding: X(k) forward or X(L - k) inverse, times the flag's factor and
// 2^-sf, as 2L values {re, im}.
inline std::vector<long double> ExactDft16Output(std::span<const std::int16_t> src, Way way,
                                                 std::int32_t flag, std::int32_t sf) {
  const std::vector<Complex> spectrum = NaiveDft(FromInterleaved(src));
  const auto n = static_cast<std::int32_t>(spectrum.size());
  const long double scale = DftFlagScale(flag, way, n) * std::ldexp(1.0L, -sf);
  std::vector<long double> out;
  for (std::int32_t k = 0; k < n; ++k) {
    const Complex x = spectrum[way == Way::kForward ? k : (n - k) % n];
    out.push_back(x.real() * scale);
    out.push_back(x.imag() * scale);
  }
  return out;
}

}  // namespace qvls_test::transforms
