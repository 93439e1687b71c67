// The 16-bit FFT's forward transforms per variant with hint 0, with a work
// buffer of the reported size: complex and real on the fixed-point path up
// to the variant's limit and on the floating-point path above (the data
// pump's 128-point complex and 64-point real transforms run fixed in px and
// m6, float in a6 and w7). And the data pump's roads: complex 128 (flag 1,
// sf 1, in place) and real 64 (flag 8, sf 4) with hint 0, and in px and m6,
// whose hint 0 takes the fixed-point path, with hint 2 (the float path) too.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "siglib/memory/memory.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/fft16/fft16.h"

namespace {

// One kind of transform, with the flag and sf of the data pump's road.
struct Operations {
  const char* name;
  const qvls_variant_record<qvlsFFTCreate_ci16_fn>& create;
  const qvls_variant_record<qvlsFFTDestroy_ci16_fn>& destroy;
  const qvls_variant_record<qvlsFFTWorkSize_ci16_fn>& work_size;
  const qvls_variant_record<qvlsFFTFwd_ci16_sc_fn>& forward;
  std::int32_t values_in, values_out_extra;  // per point, and beyond 2^order values
  std::int32_t flag, sf;
  bool in_place;  // the road transforms in place, the input copied in before each call
};

const Operations kComplex = {"Complex",
                             qvls_variant_table.qvlsFFTCreate_ci16,
                             qvls_variant_table.qvlsFFTDestroy_ci16,
                             qvls_variant_table.qvlsFFTWorkSize_ci16,
                             qvls_variant_table.qvlsFFTFwd_ci16_sc,
                             2,
                             0,
                             1,
                             1,
                             true};
const Operations kReal = {"Real",
                          qvls_variant_table.qvlsFFTCreate_i16,
                          qvls_variant_table.qvlsFFTDestroy_i16,
                          qvls_variant_table.qvlsFFTWorkSize_i16,
                          qvls_variant_table.qvlsFFTFwd_i16_sc,
                          1,
                          2,
                          8,
                          4,
                          false};

void Run(benchmark::State& state, const Operations& ops, std::int32_t column, std::int32_t order,
         std::int32_t hint = 0) {
  fft16_context* context = nullptr;
  if (ops.create.entry[column](&context, order, ops.flag, hint) != QVLS_OK) {
    state.SkipWithError("create failed");
    return;
  }
  std::int32_t size = 0;
  ops.work_size.entry[column](context, &size);
  std::uint8_t* work = qvlsAlloc_u8_px(size);
  const std::int32_t n = std::int32_t{1} << order;
  qvls_test::Rng rng("Fft16.bench");
  std::vector<std::int16_t> src(static_cast<std::size_t>(ops.values_in * n));
  for (auto& v : src) v = static_cast<std::int16_t>(rng.Range(-12000, 12000));
  std::vector<std::int16_t> dst(static_cast<std::size_t>(ops.values_in * n + ops.values_out_extra));
  const bool in_place = ops.in_place;
  for (auto _ : state) {
    if (in_place) std::copy(src.begin(), src.end(), dst.begin());
    benchmark::DoNotOptimize(ops.forward.entry[column](in_place ? dst.data() : src.data(),
                                                       dst.data(), context, ops.sf, work));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
  qvlsFree_px(work);
  ops.destroy.entry[column](context);
}

const qvls_bench::Registration kFft16([] {
  for (std::int32_t column = 0; column < qvls_variant_count; ++column) {
    for (const Operations* ops : {&kComplex, &kReal}) {
      for (std::int32_t order : {3, 5, 6, 7}) {
        const std::string name = std::string("Fft16/Fwd") + ops->name + "/" +
                                 qvls_bench::kVariantTags[column] + "/" +
                                 std::to_string(1 << order);
        benchmark::RegisterBenchmark(
            name.c_str(), [=](benchmark::State& state) { Run(state, *ops, column, order); });
      }
    }
    const bool fixed_at_hint0 = column <= 1;  // px, m6
    for (const auto& [ops, order] : {std::pair{&kComplex, 7}, std::pair{&kReal, 6}}) {
      for (std::int32_t hint : {0, 2}) {
        if (hint == 2 && !fixed_at_hint0) continue;
        const std::string name = std::string("Fft16/Road") + ops->name +
                                 (hint == 2 ? "Float/" : "/") + qvls_bench::kVariantTags[column] +
                                 "/" + std::to_string(1 << order);
        benchmark::RegisterBenchmark(
            name.c_str(), [=](benchmark::State& state) { Run(state, *ops, column, order, hint); });
      }
    }
  }
});

}  // namespace
