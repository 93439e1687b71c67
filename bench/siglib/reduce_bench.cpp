// Sum, mean and norms over a block of 96 samples and a vector of 1024.
#include <cstdint>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kMaxElements = 1024;

struct alignas(64) Samples {
  std::int16_t v[kMaxElements];
};

Samples RandomSamples(unsigned seed) {
  Samples s{};
  qvls_bench::FillRandom(s.v, seed, -32768, 32767);
  return s;
}

template <class Fn, class Result>
void RegisterOne(const char* name, const qvls_variant_record<Fn>& record, Result) {
  qvls_bench::RegisterPerVariant(
      "Reduce", name, record, {96, 1024},
      [](benchmark::State& state, std::int32_t, Fn* op, std::int64_t n) {
        const Samples x = RandomSamples(14);
        Result result{};
        for (auto _ : state) {
          benchmark::DoNotOptimize(op(x.v, static_cast<std::int32_t>(n), &result, 2));
          benchmark::DoNotOptimize(result);
        }
      });
}

const qvls_bench::Registration kReduce([] {
  const auto& t = qvls_variant_table;
  RegisterOne("Sum", t.qvlsSum_i16toi32_sc, std::int32_t{});
  RegisterOne("Mean", t.qvlsMean_i16_sc, std::int16_t{});
  RegisterOne("NormInf", t.qvlsNormInf_i16toi32_sc, std::int32_t{});
  RegisterOne("NormL1", t.qvlsNormL1_i16toi32_sc, std::int32_t{});
  RegisterOne("NormL2", t.qvlsNormL2_i16toi32_sc, std::int32_t{});
  qvls_bench::RegisterPerVariant(
      "Reduce", "DiffNormL1", t.qvlsDiffNormL1_i16toi32_sc, {96, 1024},
      [](benchmark::State& state, std::int32_t, qvlsDiffNormL1_i16toi32_sc_fn* op, std::int64_t n) {
        const Samples a = RandomSamples(15);
        const Samples b = RandomSamples(16);
        std::int32_t result = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(op(a.v, b.v, static_cast<std::int32_t>(n), &result, 0));
          benchmark::DoNotOptimize(result);
        }
      });
});

}  // namespace
