// The trellis kernels per variant at the V.34 decoder's three codes (the size
// is the state count): Metrics2D for one received point, Metrics4D from two
// points' words, ACS for one add-compare-select step with the new metrics
// preset to 65535 (the preset is part of the time, as it is of the
// decoder's step), and Step for the decoder's whole library work per 4D
// symbol: two 2D calls, the 4D call and the step. Points are random; the
// next-state tables follow the structure of the V.34 codes (the 32-state one
// takes the seeded kernel).
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "bench/siglib/trellis_inputs.h"
#include "siglib/frame/slots.h"

namespace {

using qvls_bench::TrellisInputs;

constexpr std::initializer_list<std::int64_t> kStates = {16, 32, 64};

const qvls_bench::Registration kTrellis([] {
  const auto& t = qvls_variant_table;
  qvls_bench::RegisterPerVariant(
      "Trellis", "Metrics2D", t.qvlsTrellisMetrics2D_i16, kStates,
      [](benchmark::State& state, std::int32_t, qvlsTrellisMetrics2D_i16_fn* metrics2d,
         std::int64_t states) {
        const TrellisInputs in(static_cast<std::int32_t>(states));
        std::uint32_t corner = 0;
        std::array<std::uint32_t, 8> words{};
        std::size_t k = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(metrics2d(in.Point(k++), &corner, words.data(), in.labels,
                                             static_cast<std::int32_t>(states)));
          benchmark::ClobberMemory();
        }
      });
  qvls_bench::RegisterPerVariant(
      "Trellis", "Metrics4D", t.qvlsTrellisMetrics4D_u16, kStates,
      [](benchmark::State& state, std::int32_t column, qvlsTrellisMetrics4D_u16_fn* metrics4d,
         std::int64_t states) {
        const TrellisInputs in(static_cast<std::int32_t>(states));
        const auto words = in.Words2D(column);
        std::array<std::uint32_t, 32> out{};
        std::size_t k = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(metrics4d(words[k++ % words.size()].data(), out.data(),
                                             static_cast<std::int32_t>(states), 0));
          benchmark::ClobberMemory();
        }
      });
  qvls_bench::RegisterPerVariant(
      "Trellis", "ACS", t.qvlsTrellisACS_u16, kStates,
      [](benchmark::State& state, std::int32_t, qvlsTrellisACS_u16_fn* acs, std::int64_t states) {
        const auto s = static_cast<std::int32_t>(states);
        TrellisInputs in(s);
        const auto metrics4d = in.Metrics4D();
        std::vector<std::uint32_t> survivors(s);
        std::size_t k = 0;
        for (auto _ : state) {
          in.new_metrics.assign(s, 0xFFFF);
          benchmark::DoNotOptimize(acs(in.old_metrics.data(), in.next.data(), in.new_metrics.data(),
                                       metrics4d[k++ % metrics4d.size()].data(), survivors.data(),
                                       s, 0));
          benchmark::ClobberMemory();
        }
      });
  qvls_bench::RegisterPerVariant("Trellis", "Step", t.qvlsTrellisACS_u16, kStates,
                                 [](benchmark::State& state, std::int32_t column,
                                    qvlsTrellisACS_u16_fn*, std::int64_t states) {
                                   TrellisInputs in(static_cast<std::int32_t>(states));
                                   std::size_t k = 0;
                                   for (auto _ : state) {
                                     in.Step(column, k);
                                     k += 2;
                                     benchmark::ClobberMemory();
                                   }
                                 });
});

}  // namespace
