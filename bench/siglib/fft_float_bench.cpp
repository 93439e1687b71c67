// The float FFT's transforms per variant, with a work buffer of the work
// size: complex forward and real forward at the sizes of each road (small
// kernels, reordering kernel, permutation and in-place passes at the direct
// limit), and the multiply by a constant.
#include <cstdint>
#include <string>
#include <vector>

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

// kind 0 complex, 1 real; flag 1 (forward scaled).
void Transform(benchmark::State& state, const Variant& v, int kind, std::int32_t order) {
  fft_context* context = nullptr;
  if (v.create[kind](&context, order, 1, 0) != QVLS_OK) {
    state.SkipWithError("create failed");
    return;
  }
  std::int32_t size = 0;
  v.work_size[kind](context, &size);
  std::uint8_t* work = size > 0 ? qvlsAlloc_u8_px(size) : nullptr;
  const std::size_t n = std::size_t{1} << order;
  std::vector<float> src(kind == 0 ? 2 * n : n), dst(kind == 0 ? 2 * n : n + 2);
  float x = 0.25f;
  for (float& value : src) value = x = x * 3.7f - static_cast<float>(static_cast<int>(x * 3.7f));
  for (auto _ : state) {
    benchmark::DoNotOptimize(v.forward[kind](src.data(), dst.data(), context, work));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
  qvlsFree_px(work);
  v.destroy[kind](context);
}

const qvls_bench::Registration kFloatFft([] {
  for (const Variant& v : kVariants) {
    for (int kind : {0, 1}) {
      std::vector<std::int32_t> orders = {3, 6, 7, 9, 10};
      if (kind == 1) orders.push_back(11);
      if (v.direct_limit == 14) orders.push_back(kind == 0 ? 14 : 15);
      for (std::int32_t order : orders) {
        const std::string name = std::string("FloatFFT/") +
                                 (kind == 0 ? "FwdComplex/" : "FwdReal/") + v.tag + "/" +
                                 std::to_string(1 << order);
        benchmark::RegisterBenchmark(
            name.c_str(), [=, &v](benchmark::State& state) { Transform(state, v, kind, order); });
      }
    }
    for (std::int32_t count : {256, 2048}) {
      const std::string name =
          std::string("FloatFFT/MulConst/") + v.tag + "/" + std::to_string(count);
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
});

}  // namespace
