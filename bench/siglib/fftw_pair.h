// The transforms' yardstick: single-precision FFTW, where the build found it
// (VX_HAVE_FFTW). A benchmark of ours measures FFTW on the same length, the
// same data and the same in-place choice in its own run and reports
// vs_fftw = our CPU time / FFTW's (and, for the scalar variants,
// vs_fftw_scalar against FFTW planned without SIMD). Plans are made with
// FFTW_MEASURE before any timing; buffers are 32-byte aligned.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#ifdef VX_HAVE_FFTW
#include <fftw3.h>
#endif

#include "bench/siglib/siglib_bench.h"

namespace qvls_bench {

struct AlignedFree {
  void operator()(float* p) const { std::free(p); }
};
using AlignedFloats = std::unique_ptr<float[], AlignedFree>;

// `count` floats on a 32-byte boundary, filled with the same values for the
// same count on every call.
inline AlignedFloats NewAlignedFloats(std::size_t count) {
  const std::size_t bytes = (count * sizeof(float) + 31) / 32 * 32;
  AlignedFloats data(static_cast<float*>(std::aligned_alloc(32, bytes)));
  float x = 0.25f;
  for (std::size_t i = 0; i < count; ++i) {
    x = x * 3.7f - static_cast<float>(static_cast<int>(x * 3.7f));
    data[i] = x - 0.5f;
  }
  return data;
}

using vx_bench::PairedRatio;
using vx_bench::TimeOf;

enum class FftwKind { kComplex, kReal };

#ifdef VX_HAVE_FFTW

// A forward FFTW transform of n points (complex) or samples (real), on its
// own 32-byte aligned buffer, in place or from a buffer of its own.
class FftwForward {
 public:
  FftwForward(FftwKind kind, std::int32_t n, bool in_place, bool simd) : kind_(kind) {
    const std::size_t floats = kind == FftwKind::kComplex ? 2 * std::size_t(n) : n + 2;
    dst_ = NewAlignedFloats(floats);
    src_ = in_place ? nullptr : NewAlignedFloats(floats);
    float* from = in_place ? dst_.get() : src_.get();
    const unsigned flags = FFTW_MEASURE | (simd ? 0u : FFTW_NO_SIMD);
    auto* to = reinterpret_cast<fftwf_complex*>(dst_.get());
    plan_ =
        kind == FftwKind::kComplex
            ? fftwf_plan_dft_1d(n, reinterpret_cast<fftwf_complex*>(from), to, FFTW_FORWARD, flags)
            : fftwf_plan_dft_r2c_1d(n, from, to, flags);
    // Planning by measurement wrote over the buffers: the same data again.
    dst_ = NewAlignedFloats(floats);
    if (!in_place) src_ = NewAlignedFloats(floats);
    from_ = in_place ? dst_.get() : src_.get();
  }
  ~FftwForward() { fftwf_destroy_plan(plan_); }
  FftwForward(const FftwForward&) = delete;
  FftwForward& operator=(const FftwForward&) = delete;

  void Run() {
    auto* to = reinterpret_cast<fftwf_complex*>(dst_.get());
    if (kind_ == FftwKind::kComplex) {
      fftwf_execute_dft(plan_, reinterpret_cast<fftwf_complex*>(from_), to);
    } else {
      fftwf_execute_dft_r2c(plan_, from_, to);
    }
    benchmark::ClobberMemory();
  }

 private:
  FftwKind kind_;
  AlignedFloats src_, dst_;
  float* from_ = nullptr;
  fftwf_plan plan_ = nullptr;
};

// Reports vs_fftw (and vs_fftw_scalar when `scalar_anchor`) for our
// forward transform `ours` of the given kind and length.
template <class Ours>
void ReportAgainstFftw(benchmark::State& state, Ours ours, FftwKind kind, std::int32_t n,
                       bool in_place, bool scalar_anchor) {
  auto pair = [&](bool simd) {
    FftwForward fftw(kind, n, in_place, simd);
    return PairedRatio(ours, [&] { fftw.Run(); });
  };
  state.counters["vs_fftw"] = pair(true);
  if (scalar_anchor) state.counters["vs_fftw_scalar"] = pair(false);
}

#else

template <class Ours>
void ReportAgainstFftw(benchmark::State&, Ours, FftwKind, std::int32_t, bool, bool) {}

#endif

}  // namespace qvls_bench
