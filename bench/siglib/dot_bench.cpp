// The dot products at the lengths of the data pump's filters and
// correlations: 48, 96 and 128 products of random full-scale samples.
#include <cstdint>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kMaxElements = 128;

struct alignas(64) Vectors {
  std::int16_t a[kMaxElements];
  std::int16_t b[kMaxElements];
  std::int32_t wide_a[kMaxElements];
  std::int32_t wide_b[kMaxElements];
  qvls_ci16 complex[kMaxElements];
};

Vectors RandomVectors() {
  Vectors v{};
  qvls_bench::FillRandom(v.a, 13, -32768, 32767);
  qvls_bench::FillRandom(v.b, 14, -32768, 32767);
  qvls_bench::FillRandom(v.wide_a, 15, -(1 << 24), 1 << 24);
  qvls_bench::FillRandom(v.wide_b, 16, -(1 << 24), 1 << 24);
  std::int16_t parts[2 * kMaxElements];
  qvls_bench::FillRandom(parts, 17, -32768, 32767);
  for (std::int32_t i = 0; i < kMaxElements; ++i) v.complex[i] = {parts[2 * i], parts[2 * i + 1]};
  return v;
}

// Registers `op` called as op(first, second, n, &result, sf) for every variant.
template <class Fn, class First, class Second, class Result>
void RegisterDot(const char* name, const qvls_variant_record<Fn>& record, First Vectors::*first,
                 Second Vectors::*second, Result) {
  qvls_bench::RegisterPerVariant(
      "Dot", name, record, {48, 96, 128},
      [first, second](benchmark::State& state, std::int32_t, Fn* dot, std::int64_t n) {
        const Vectors v = RandomVectors();
        Result result{};
        for (auto _ : state) {
          benchmark::DoNotOptimize(
              dot(v.*first, v.*second, static_cast<std::int32_t>(n), &result, 15));
          benchmark::DoNotOptimize(result);
        }
      });
}

const qvls_bench::Registration kDot([] {
  const auto& t = qvls_variant_table;
  RegisterDot("Dot_i16", t.qvlsDot_i16_sc, &Vectors::a, &Vectors::b, std::int16_t{});
  RegisterDot("Dot_i16toi32", t.qvlsDot_i16toi32_sc, &Vectors::a, &Vectors::b, std::int32_t{});
  RegisterDot("Dot_i16i32toi32", t.qvlsDot_i16i32toi32_sc, &Vectors::a, &Vectors::wide_a,
              std::int32_t{});
  RegisterDot("Dot_i16ci16toci32", t.qvlsDot_i16ci16toci32_sc, &Vectors::a, &Vectors::complex,
              qvls_ci32{});
  RegisterDot("Dot_i32", t.qvlsDot_i32_sc, &Vectors::wide_a, &Vectors::wide_b, std::int32_t{});
});

}  // namespace
