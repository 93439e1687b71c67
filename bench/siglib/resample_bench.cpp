// Up- and down-sampling of a block of 96 samples by the factors of the data
// pump's rate converters: 2, 3 and 6.
#include <cstdint>
#include <string>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kBlock = 96;

struct alignas(64) Buffers {
  std::int16_t in[kBlock];
  std::int16_t out[kBlock * 6];
};

Buffers RandomBuffers() {
  Buffers b{};
  qvls_bench::FillRandom(b.in, 21, -32768, 32767);
  return b;
}

const qvls_bench::Registration kResample([] {
  const auto& t = qvls_variant_table;
  for (std::int32_t factor : {2, 3, 6}) {
    const std::string suffix = "_by" + std::to_string(factor);
    qvls_bench::RegisterPerVariant(
        "Resample", "Upsample" + suffix, t.qvlsUpsample_i16, {kBlock},
        [factor](benchmark::State& state, std::int32_t, qvlsUpsample_i16_fn* up, std::int64_t n) {
          Buffers b = RandomBuffers();
          std::int32_t count = 0;
          const std::int32_t phase = 1;
          for (auto _ : state) {
            benchmark::DoNotOptimize(
                up(b.in, static_cast<std::int32_t>(n), b.out, &count, factor, &phase));
            benchmark::ClobberMemory();
          }
        });
    qvls_bench::RegisterPerVariant(
        "Resample", "Downsample" + suffix, t.qvlsDownsample_i16, {kBlock},
        [factor](benchmark::State& state, std::int32_t, qvlsDownsample_i16_fn* down,
                 std::int64_t n) {
          Buffers b = RandomBuffers();
          std::int32_t count = 0;
          std::int32_t phase = 0;
          for (auto _ : state) {
            benchmark::DoNotOptimize(
                down(b.in, static_cast<std::int32_t>(n), b.out, &count, factor, &phase));
            benchmark::ClobberMemory();
          }
        });
  }
});

}  // namespace
