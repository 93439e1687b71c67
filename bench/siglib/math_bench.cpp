// The square root, division by a constant, phase and Hann window at the
// sizes and scale factors the data pump uses them. The in-place operations
// restore their input before every call (a copy of 2n bytes, included in the
// time), so each call sees the same data.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kMaxElements = 128;

struct alignas(64) Samples {
  std::int16_t v[kMaxElements];
};

Samples RandomSamples(std::int16_t lo, std::int16_t hi) {
  std::mt19937 engine(12);
  std::uniform_int_distribution<int> pick(lo, hi);
  Samples s{};
  for (std::int16_t& x : s.v) x = static_cast<std::int16_t>(pick(engine));
  return s;
}

void RegisterSqrt(std::int32_t sf) {
  qvls_bench::RegisterPerVariant(
      "Math", "Sqrt_sf" + std::to_string(sf), qvls_variant_table.qvlsSqrt_i16_ip_sc, {1, 96},
      [sf](benchmark::State& state, std::int32_t, qvlsSqrt_i16_ip_sc_fn* sqrt, std::int64_t n) {
        const Samples input = RandomSamples(0, 32767);
        Samples work;
        for (auto _ : state) {
          std::memcpy(work.v, input.v, n * sizeof(std::int16_t));
          benchmark::DoNotOptimize(sqrt(work.v, static_cast<std::int32_t>(n), sf));
          benchmark::ClobberMemory();
        }
      });
}

const qvls_bench::Registration kMath([] {
  RegisterSqrt(0);
  RegisterSqrt(-8);

  qvls_bench::RegisterPerVariant(
      "Math", "DivConst_sf-14", qvls_variant_table.qvlsDivConst_i16_ip_sc, {128},
      [](benchmark::State& state, std::int32_t, qvlsDivConst_i16_ip_sc_fn* divide, std::int64_t n) {
        const Samples input = RandomSamples(-2000, 2000);
        Samples work;
        for (auto _ : state) {
          std::memcpy(work.v, input.v, n * sizeof(std::int16_t));
          benchmark::DoNotOptimize(divide(12345, work.v, static_cast<std::int32_t>(n), -14));
          benchmark::ClobberMemory();
        }
      });

  for (std::int32_t sf : {-12, 0}) {
    qvls_bench::RegisterPerVariant(
        "Math", "Phase_sf" + std::to_string(sf), qvls_variant_table.qvlsPhase_ci16toi16_sc, {52},
        [sf](benchmark::State& state, std::int32_t, qvlsPhase_ci16toi16_sc_fn* phase,
             std::int64_t n) {
          const Samples parts = RandomSamples(-32768, 32767);
          qvls_ci16 src[kMaxElements / 2];
          std::memcpy(src, parts.v, sizeof src);
          Samples dst;
          for (auto _ : state) {
            benchmark::DoNotOptimize(phase(src, dst.v, static_cast<std::int32_t>(n), sf));
            benchmark::ClobberMemory();
          }
        });
  }

  qvls_bench::RegisterPerVariant(
      "Math", "WinHann", qvls_variant_table.qvlsWinHann_i16, {80},
      [](benchmark::State& state, std::int32_t, qvlsWinHann_i16_fn* window, std::int64_t n) {
        const Samples src = RandomSamples(-32768, 32767);
        Samples dst;
        for (auto _ : state) {
          benchmark::DoNotOptimize(window(src.v, dst.v, static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
      });
});

}  // namespace
