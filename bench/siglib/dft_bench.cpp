// The DFT per variant, with a work buffer of the work size: the 16-bit
// operations on the V.34 road (length 12, flag 2: forward sf 1, inverse
// sf 0) through the slots' entries, and the float engine's forward,
// unscaled and out of place, at lengths of each way (mixed radix, direct,
// Bluestein, a power of two) with its vs_fftw counter (fftw_pair.h).
#include <cstdint>
#include <string>
#include <vector>

#include "bench/siglib/fftw_pair.h"
#include "bench/siglib/siglib_bench.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/dft16/dft16.h"
#include "siglib/transforms/dft_context/dft_context.h"

namespace {

struct Engine {
  qvlsDFTCreate_cf32_fn* create;
  qvlsDFTDestroy_cf32_fn* destroy;
  qvlsDFTWorkSize_cf32_fn* work_size;
  qvlsDFTFwd_cf32_fn* forward;
};

const Engine kEngines[] = {
    {qvlsDFTCreate_cf32_px, qvlsDFTDestroy_cf32_px, qvlsDFTWorkSize_cf32_px, qvlsDFTFwd_cf32_px},
    {qvlsDFTCreate_cf32_m6, qvlsDFTDestroy_cf32_m6, qvlsDFTWorkSize_cf32_px, qvlsDFTFwd_cf32_m6},
    {qvlsDFTCreate_cf32_a6, qvlsDFTDestroy_cf32_a6, qvlsDFTWorkSize_cf32_px, qvlsDFTFwd_cf32_a6},
    {qvlsDFTCreate_cf32_w7, qvlsDFTDestroy_cf32_w7, qvlsDFTWorkSize_cf32_w7, qvlsDFTFwd_cf32_w7},
};

void FloatForward(benchmark::State& state, const Engine& e, std::int32_t column, std::int32_t n) {
  dft_context* context = nullptr;
  if (e.create(&context, n, 8, 0) != QVLS_OK) {
    state.SkipWithError("create failed");
    return;
  }
  std::int32_t size = 0;
  e.work_size(context, &size);
  std::uint8_t* work = qvlsAlloc_u8_px(size);
  const qvls_bench::AlignedFloats src = qvls_bench::NewAlignedFloats(2 * std::size_t(n));
  const qvls_bench::AlignedFloats dst = qvls_bench::NewAlignedFloats(2 * std::size_t(n));
  auto ours = [&] {
    benchmark::DoNotOptimize(e.forward(src.get(), dst.get(), context, work));
    benchmark::ClobberMemory();
  };
  for (auto _ : state) ours();
  state.SetItemsProcessed(state.iterations() * n);
  qvls_bench::ReportAgainstFftw(state, ours, qvls_bench::FftwKind::kComplex, n, false, column <= 1);
  qvlsFree_px(work);
  e.destroy(context);
}

const qvls_bench::Registration kDft([] {
  const qvls_variant_records& t = qvls_variant_table;
  for (std::int32_t column = 0; column < qvls_variant_count; ++column) {
    const std::string tag = qvls_bench::kVariantTags[column];
    for (std::int32_t n : {12, 60, 120, 149, 151, 300, 302, 2040, 3072}) {
      benchmark::RegisterBenchmark(("Dft/Float/" + tag + "/" + std::to_string(n)).c_str(),
                                   [column, n](benchmark::State& state) {
                                     FloatForward(state, kEngines[column], column, n);
                                   });
    }
    benchmark::RegisterBenchmark(
        ("Dft/V34Road/" + tag + "/12").c_str(), [&t, column](benchmark::State& state) {
          dft16_context* context = nullptr;
          t.qvlsDFTCreate_ci16.entry[column](&context, 12, 2, 2);
          std::int32_t size = 0;
          t.qvlsDFTWorkSize_ci16.entry[column](context, &size);
          std::uint8_t* work = qvlsAlloc_u8_px(size);
          std::int16_t data[24];
          qvls_bench::FillRandom(data, 12, -8000, 8000);
          for (auto _ : state) {
            t.qvlsDFTFwd_ci16_sc.entry[column](data, data, context, 1, work);
            t.qvlsDFTInv_ci16_sc.entry[column](data, data, context, 0, work);
            benchmark::ClobberMemory();
          }
          qvlsFree_px(work);
          t.qvlsDFTDestroy_ci16.entry[column](context);
        });
  }
});

}  // namespace
