// FIR filtering per variant at the data pump's sizes: Fir/Block/<variant>/<taps>
// filters a block of 96 real samples, Fir/Block_ci16/<variant>/48 a block of
// 96 complex samples through 48 taps, Fir/Sample/<variant>/<taps> one real
// sample. Each state is built by the same variant's init, in a block of the
// library's allocator; the input is random, the taps a low-pass shape.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kBlock = 96;

std::vector<std::int32_t> LowPassTaps(std::int64_t len) {
  std::vector<std::int32_t> taps(len);
  for (std::int64_t k = 0; k < len; ++k) {
    const double x = (k - (len - 1) / 2.0) / 4.0;
    taps[k] = static_cast<std::int32_t>(std::lround(30000.0 * (x == 0 ? 1.0 : std::sin(x) / x)));
  }
  return taps;
}

std::vector<std::int16_t> RandomSamples(std::size_t n) {
  std::mt19937 engine(14);
  std::uniform_int_distribution<int> pick(-20000, 20000);
  std::vector<std::int16_t> xs(n);
  for (auto& x : xs) x = static_cast<std::int16_t>(pick(engine));
  return xs;
}

// A state of `column` in an aligned block, freed at the end of the benchmark.
class BenchState {
 public:
  BenchState(std::int32_t column, std::int64_t taps, bool complex) {
    const auto len = static_cast<std::int32_t>(taps);
    std::int32_t size = 0;
    const auto& t = qvls_variant_table;
    (complex ? t.qvlsFIRStateSize_ci16 : t.qvlsFIRStateSize_i16).entry[column](len, &size);
    buffer_ = t.qvlsAlloc_u8.entry[column](size);
    const std::vector<std::int32_t> real = LowPassTaps(len);
    if (complex) {
      std::vector<qvls_ci32> pairs(len);
      for (std::int32_t k = 0; k < len; ++k) pairs[k] = {real[k], real[len - 1 - k] / 3};
      t.qvlsFIRInit_ci16.entry[column](&state_, pairs.data(), len, 0, nullptr, buffer_);
    } else {
      t.qvlsFIRInit_i16.entry[column](&state_, real.data(), len, 0, nullptr, buffer_);
    }
  }
  ~BenchState() { qvls_variant_table.qvlsFree.entry[0](buffer_); }
  BenchState(const BenchState&) = delete;
  BenchState& operator=(const BenchState&) = delete;

  fir_state* get() const { return state_; }

 private:
  std::uint8_t* buffer_ = nullptr;
  fir_state* state_ = nullptr;
};

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
