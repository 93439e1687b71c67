// The conversions per variant at 80, 96, 1024 and 4096 elements: widening,
// narrowing, flip, and the float conversions of the transforms (to 16 bits
// with rounding to nearest and sf 4).
#include <cstdint>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/convert/convert.h"
#include "siglib/tests/support/random.h"

namespace {

constexpr std::initializer_list<std::int64_t> kElements = {80, 96, 1024, 4096};

template <class T>
std::vector<T> Inputs(std::int64_t n) {
  qvls_test::Rng rng("Convert.bench");
  std::vector<T> values(static_cast<std::size_t>(n));
  for (auto& v : values) v = static_cast<T>(rng.Range(-40000, 40000));
  return values;
}

// The same call for any operation (src, dst, len, extra...).
template <class Src, class Dst, class Fn, class... Extra>
void Run(benchmark::State& state, Fn* op, std::int64_t n, Extra... extra) {
  const std::vector<Src> src = Inputs<Src>(n);
  std::vector<Dst> dst(static_cast<std::size_t>(n));
  for (auto _ : state) {
    benchmark::DoNotOptimize(op(src.data(), dst.data(), static_cast<std::int32_t>(n), extra...));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

const qvls_variant_record<qvlsConvert_i16tof32_fn> kI16ToF32 = {
    nullptr,
    {qvlsConvert_i16tof32_px, qvlsConvert_i16tof32_m6, qvlsConvert_i16tof32_a6,
     qvlsConvert_i16tof32_w7}};
const qvls_variant_record<qvlsConvert_f32toi16_sc_fn> kF32ToI16 = {
    nullptr,
    {qvlsConvert_f32toi16_sc_px, qvlsConvert_f32toi16_sc_m6, qvlsConvert_f32toi16_sc_a6,
     qvlsConvert_f32toi16_sc_w7}};

const qvls_bench::Registration kConvert([] {
  qvls_bench::RegisterPerVariant(
      "Convert", "Widen", qvls_variant_table.qvlsConvert_i16toi32, kElements,
      [](benchmark::State& state, std::int32_t, auto* op, std::int64_t n) {
        Run<std::int16_t, std::int32_t>(state, op, n);
      });
  qvls_bench::RegisterPerVariant(
      "Convert", "Narrow", qvls_variant_table.qvlsConvert_i32toi16, kElements,
      [](benchmark::State& state, std::int32_t, auto* op, std::int64_t n) {
        Run<std::int32_t, std::int16_t>(state, op, n);
      });
  qvls_bench::RegisterPerVariant(
      "Convert", "Flip", qvls_variant_table.qvlsFlip_i16, kElements,
      [](benchmark::State& state, std::int32_t, auto* op, std::int64_t n) {
        Run<std::int16_t, std::int16_t>(state, op, n);
      });
  qvls_bench::RegisterPerVariant("Convert", "I16ToF32", kI16ToF32, kElements,
                                 [](benchmark::State& state, std::int32_t, auto* op,
                                    std::int64_t n) { Run<std::int16_t, float>(state, op, n); });
  qvls_bench::RegisterPerVariant(
      "Convert", "F32ToI16", kF32ToI16, kElements,
      [](benchmark::State& state, std::int32_t, auto* op, std::int64_t n) {
        Run<float, std::int16_t>(state, op, n, QVLS_ROUND_NEAREST, 4);
      });
});

}  // namespace
