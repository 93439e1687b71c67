// The float FFT's transforms per variant, with a work buffer of the work
// size: complex forward and real forward, in place and unscaled (as FFTW
// computes them) at N = 2^4 .. 2^20 (the reordering kernel, the in-place
// passes at the direct limit and the large-order split), each with its
// vs_fftw counter (fftw_pair.h); FFTW itself, with and without SIMD; and the
// multiply by a constant.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/siglib/fftw_pair.h"
#include "bench/siglib/siglib_bench.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_exec/fft_exec.h"

namespace {

struct Variant {
  const char* tag;
  std::int32_t direct_limit;
  qvlsFFTCreate_f32_fn* create[2];  // complex, real
  qvlsFFTDestroy_f32_fn* destroy[2];
  qvlsFFTWorkSize_f32_fn* work_size[2];
  qvlsFFTFwd_cf32_fn* forward[2];
  qvlsMulConst_f32_ip_fn* mul_const;
};

const Variant kVariants[] = {
    {"px",
     10,
     {qvlsFFTCreate_cf32_px, qvlsFFTCreate_f32_px},
     {qvlsFFTDestroy_cf32_px, qvlsFFTDestroy_f32_px},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_px, qvlsFFTFwd_f32_px},
     qvlsMulConst_f32_ip_px},
    {"m6",
     10,
     {qvlsFFTCreate_cf32_m6, qvlsFFTCreate_f32_m6},
     {qvlsFFTDestroy_cf32_m6, qvlsFFTDestroy_f32_m6},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_m6, qvlsFFTFwd_f32_m6},
     qvlsMulConst_f32_ip_px},
    {"a6",
     10,
     {qvlsFFTCreate_cf32_a6, qvlsFFTCreate_f32_a6},
     {qvlsFFTDestroy_cf32_a6, qvlsFFTDestroy_f32_a6},
     {qvlsFFTWorkSize_cf32_px, qvlsFFTWorkSize_f32_px},
     {qvlsFFTFwd_cf32_a6, qvlsFFTFwd_f32_a6},
     qvlsMulConst_f32_ip_a6},
    {"w7",
     14,
     {qvlsFFTCreate_cf32_w7, qvlsFFTCreate_f32_w7},
     {qvlsFFTDestroy_cf32_w7, qvlsFFTDestroy_f32_w7},
     {qvlsFFTWorkSize_cf32_w7, qvlsFFTWorkSize_f32_w7},
     {qvlsFFTFwd_cf32_w7, qvlsFFTFwd_f32_w7},
     qvlsMulConst_f32_ip_w7},
};

constexpr std::int32_t kSmallestOrder = 4;
constexpr std::int32_t kLargestOrder = 20;

// kind 0 complex, 1 real; flag 8, in place in a 32-byte aligned buffer.
void Transform(benchmark::State& state, const Variant& v, int kind, std::int32_t order) {
  fft_context* context = nullptr;
  if (v.create[kind](&context, order, 8, 0) != QVLS_OK) {
    state.SkipWithError("create failed");
    return;
  }
  std::int32_t size = 0;
  v.work_size[kind](context, &size);
  std::uint8_t* work = size > 0 ? qvlsAlloc_u8_px(size) : nullptr;
  const std::int32_t n = std::int32_t{1} << order;
  qvls_bench::AlignedFloats data =
      qvls_bench::NewAlignedFloats(kind == 0 ? 2 * std::size_t(n) : std::size_t(n) + 2);
  auto ours = [&] {
    benchmark::DoNotOptimize(v.forward[kind](data.get(), data.get(), context, work));
    benchmark::ClobberMemory();
  };
  for (auto _ : state) ours();
  state.SetItemsProcessed(state.iterations() * n);
  const bool scalar = std::string_view(v.tag) == "px" || std::string_view(v.tag) == "m6";
  qvls_bench::ReportAgainstFftw(
      state, ours, kind == 0 ? qvls_bench::FftwKind::kComplex : qvls_bench::FftwKind::kReal, n,
      true, scalar);
  qvlsFree_px(work);
  v.destroy[kind](context);
}

std::string OpName(int kind) { return kind == 0 ? "FwdComplex/" : "FwdReal/"; }

const qvls_bench::Registration kFloatFft([] {
  for (const Variant& v : kVariants) {
    for (int kind : {0, 1}) {
      for (std::int32_t order = kSmallestOrder; order <= kLargestOrder; ++order) {
        const std::string name =
            "FloatFft/" + OpName(kind) + v.tag + "/" + std::to_string(1 << order);
        benchmark::RegisterBenchmark(
            name.c_str(), [=, &v](benchmark::State& state) { Transform(state, v, kind, order); });
      }
    }
    for (std::int32_t count : {256, 2048}) {
      const std::string name =
          std::string("FloatFft/MulConst/") + v.tag + "/" + std::to_string(count);
      benchmark::RegisterBenchmark(name.c_str(), [=, &v](benchmark::State& state) {
        std::vector<float> data(static_cast<std::size_t>(count) + 1, 1.0f);
        for (auto _ : state) {
          v.mul_const(-1.0f, data.data() + 1, count);  // off the 16-byte boundary
          benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * count);
      });
    }
  }
#ifdef VX_HAVE_FFTW
  for (int kind : {0, 1}) {
    for (const bool simd : {true, false}) {
      for (std::int32_t order = kSmallestOrder; order <= kLargestOrder; ++order) {
        const std::string name =
            "Fftw/" + OpName(kind) + (simd ? "simd/" : "nosimd/") + std::to_string(1 << order);
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
          qvls_bench::FftwForward fftw(
              kind == 0 ? qvls_bench::FftwKind::kComplex : qvls_bench::FftwKind::kReal,
              std::int32_t{1} << order, true, simd);
          for (auto _ : state) fftw.Run();
          state.SetItemsProcessed(state.iterations() * (std::int64_t{1} << order));
        });
      }
    }
  }
#endif
});

}  // namespace
