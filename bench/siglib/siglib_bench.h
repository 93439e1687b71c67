// Benchmarks of the signal library, one per processor variant, named
// <Family>/<op>/<variant>/<size>, so that --benchmark_filter=Memory/Copy/w7
// or =/96$ picks what to compare. A family registers its benchmarks from its
// own source in this folder:
//
//   const qvls_bench::Registration kCopy([] {
//     qvls_bench::RegisterPerVariant("Memory", "Copy", qvls_variant_table.qvlsCopy_u8, {96, 2048},
//         [](benchmark::State& state, std::int32_t column, qvlsCopy_u8_fn* copy, std::int64_t n) {
//           ...; for (auto _ : state) copy(src, dst, n);
//         });
//   });
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

#include "bench/support/paired_ratio.h"
#include "siglib/frame/slots.h"

namespace qvls_bench {

inline constexpr const char* kVariantTags[qvls_variant_count] = {"px", "m6", "a6", "w7"};

// Registers body(state, column, entry, size) for every variant and size.
template <class Fn, class Body>
void RegisterPerVariant(std::string_view family, std::string_view op,
                        const qvls_variant_record<Fn>& record,
                        std::initializer_list<std::int64_t> sizes, Body body) {
  for (std::int32_t column = 0; column < qvls_variant_count; ++column) {
    for (std::int64_t size : sizes) {
      const std::string name = std::string(family) + "/" + std::string(op) + "/" +
                               kVariantTags[column] + "/" + std::to_string(size);
      Fn* entry = record.entry[column];
      benchmark::RegisterBenchmark(
          name.c_str(), [=](benchmark::State& state) { body(state, column, entry, size); });
    }
  }
}

// Fills `values` with integers uniform in [lo, hi], the same for a seed on
// every run.
template <class T, std::size_t N>
void FillRandom(T (&values)[N], unsigned seed, std::int64_t lo, std::int64_t hi) {
  std::mt19937_64 engine(seed);
  std::uniform_int_distribution<std::int64_t> pick(lo, hi);
  for (T& v : values) v = static_cast<T>(pick(engine));
}

using vx_bench::CpuSeconds;

// Runs a registration function while the program starts, before main.
struct Registration {
  explicit Registration(void (*register_benchmarks)()) { register_benchmarks(); }
};

}  // namespace qvls_bench
