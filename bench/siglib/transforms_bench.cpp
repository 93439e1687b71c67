// The transforms as the data pump meets them, per variant, through the slots'
// 16-bit operations with the caller's work buffers:
//
// Transforms/Block/<variant>/4: one iteration is four 10 ms blocks of the
// worst-case load, twelve real 64-point transforms (flag 8, sf 4; the tone
// monitor runs three per block) and three complex 128-point ones (flag 1,
// sf 1, in place; phase-2 probing runs about 0.75 per block), with hint 0.
// Counters: block_us, the transforms' CPU time per 10 ms block, and
// realtime_x, 10 ms divided by it.
//
// Transforms/Create/<variant>/5: creating and destroying the five road
// contexts (complex 128 and real 64 with hints 0 and 2, DFT 12), for
// tracking only.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"
#include "siglib/memory/memory.h"

namespace {

constexpr std::int32_t kBlocksPerIteration = 4;
constexpr std::int32_t kRealPerIteration = 12;
constexpr std::int32_t kComplexPerIteration = 3;

struct Contexts {
  Contexts(std::int32_t column, std::int32_t hint) : column(column) {
    const qvls_variant_records& t = qvls_variant_table;
    ok = t.qvlsFFTCreate_ci16.entry[column](&complex, 7, 1, hint) == QVLS_OK &&
         t.qvlsFFTCreate_i16.entry[column](&real, 6, 8, hint) == QVLS_OK;
    std::int32_t complex_size = 0, real_size = 0;
    if (ok) {
      t.qvlsFFTWorkSize_ci16.entry[column](complex, &complex_size);
      t.qvlsFFTWorkSize_i16.entry[column](real, &real_size);
    }
    complex_work = qvlsAlloc_u8_px(std::max(complex_size, 16));
    real_work = qvlsAlloc_u8_px(std::max(real_size, 16));
  }
  ~Contexts() {
    const qvls_variant_records& t = qvls_variant_table;
    if (complex != nullptr) t.qvlsFFTDestroy_ci16.entry[column](complex);
    if (real != nullptr) t.qvlsFFTDestroy_i16.entry[column](real);
    qvlsFree_px(complex_work);
    qvlsFree_px(real_work);
  }
  Contexts(const Contexts&) = delete;
  Contexts& operator=(const Contexts&) = delete;

  std::int32_t column;
  bool ok = false;
  fft16_context* complex = nullptr;
  fft16_context* real = nullptr;
  std::uint8_t* complex_work = nullptr;
  std::uint8_t* real_work = nullptr;
};

void Block(benchmark::State& state, std::int32_t column) {
  const qvls_variant_records& t = qvls_variant_table;
  const Contexts contexts(column, 0);
  if (!contexts.ok) {
    state.SkipWithError("create failed");
    return;
  }
  std::int16_t samples[64], probe[256], spectrum[66], bins[256];
  qvls_bench::FillRandom(samples, 31, -12000, 12000);
  qvls_bench::FillRandom(probe, 32, -12000, 12000);
  const double start = qvls_bench::CpuSeconds();
  for (auto _ : state) {
    for (std::int32_t i = 0; i < kRealPerIteration; ++i) {
      t.qvlsFFTFwd_i16_sc.entry[column](samples, spectrum, contexts.real, 4, contexts.real_work);
    }
    for (std::int32_t i = 0; i < kComplexPerIteration; ++i) {
      std::copy(std::begin(probe), std::end(probe), std::begin(bins));
      t.qvlsFFTFwd_ci16_sc.entry[column](bins, bins, contexts.complex, 1, contexts.complex_work);
    }
    benchmark::ClobberMemory();
  }
  const double block_us = (qvls_bench::CpuSeconds() - start) * 1e6 /
                          static_cast<double>(state.iterations() * kBlocksPerIteration);
  state.counters["block_us"] = block_us;
  state.counters["realtime_x"] = 10000.0 / block_us;
}

void Create(benchmark::State& state, std::int32_t column) {
  const qvls_variant_records& t = qvls_variant_table;
  for (auto _ : state) {
    const Contexts fixed(column, 0);
    const Contexts floating(column, 2);
    dft16_context* dft = nullptr;
    t.qvlsDFTCreate_ci16.entry[column](&dft, 12, 2, 2);
    benchmark::DoNotOptimize(dft);
    t.qvlsDFTDestroy_ci16.entry[column](dft);
  }
}

const qvls_bench::Registration kTransforms([] {
  for (std::int32_t column = 0; column < qvls_variant_count; ++column) {
    const std::string tag = qvls_bench::kVariantTags[column];
    benchmark::RegisterBenchmark(("Transforms/Block/" + tag + "/4").c_str(),
                                 [column](benchmark::State& state) { Block(state, column); });
    benchmark::RegisterBenchmark(("Transforms/Create/" + tag + "/5").c_str(),
                                 [column](benchmark::State& state) { Create(state, column); });
  }
});

}  // namespace
