// FIR filtering per variant at the data pump's sizes: Fir/Block/<variant>/<taps>
// filters a block of 96 real samples, Fir/Block_ci16/<variant>/48 a block of
// 96 complex samples through 48 taps, Fir/Sample/<variant>/<taps> one real
// sample. Each state is built by the same variant's init, in a block of the
// library's allocator; the input is random, the taps a low-pass shape.
#include <cstdint>
#include <vector>

#include "bench/siglib/filter_states.h"
#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kBlock = 96;

using qvls_bench::RandomSamples;
using BenchState = qvls_bench::FirState;

constexpr std::int32_t kSf = 16;

const qvls_bench::Registration kFir([] {
  qvls_bench::RegisterPerVariant(
      "Fir", "Block", qvls_variant_table.qvlsFIRBlock_i16, {16, 48, 63, 128, 165},
      [](benchmark::State& state, std::int32_t column, qvlsFIRBlock_i16_fn* block,
         std::int64_t taps) {
        const BenchState fir(column, taps, false);
        const std::vector<std::int16_t> src = RandomSamples(kBlock);
        std::vector<std::int16_t> dst(kBlock);
        for (auto _ : state) {
          benchmark::DoNotOptimize(block(src.data(), dst.data(), kBlock, fir.get(), kSf));
          benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * kBlock);
      });

  qvls_bench::RegisterPerVariant(
      "Fir", "Block_ci16", qvls_variant_table.qvlsFIRBlock_ci16, {48},
      [](benchmark::State& state, std::int32_t column, qvlsFIRBlock_ci16_fn* block,
         std::int64_t taps) {
        const BenchState fir(column, taps, true);
        const std::vector<std::int16_t> parts = RandomSamples(2 * kBlock);
        std::vector<qvls_ci16> src(kBlock), dst(kBlock);
        for (std::int32_t k = 0; k < kBlock; ++k) src[k] = {parts[2 * k], parts[2 * k + 1]};
        for (auto _ : state) {
          benchmark::DoNotOptimize(block(src.data(), dst.data(), kBlock, fir.get(), kSf));
          benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * kBlock);
      });

  qvls_bench::RegisterPerVariant("Fir", "Sample", qvls_variant_table.qvlsFIRSample_i16, {16, 48},
                                 [](benchmark::State& state, std::int32_t column,
                                    qvlsFIRSample_i16_fn* sample, std::int64_t taps) {
                                   const BenchState fir(column, taps, false);
                                   const std::vector<std::int16_t> src = RandomSamples(kBlock);
                                   std::int16_t y = 0;
                                   std::size_t k = 0;
                                   for (auto _ : state) {
                                     benchmark::DoNotOptimize(sample(src[k], &y, fir.get(), kSf));
                                     k = k + 1 == src.size() ? 0 : k + 1;
                                   }
                                 });
});

}  // namespace
