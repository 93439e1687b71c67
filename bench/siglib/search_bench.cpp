// Minimum and maximum (with and without index) over 96 and 4096 samples, and
// the nearest entry of tables of 34 and 128 entries, for one value and for
// a block of 96 values.
#include <algorithm>
#include <cstdint>

#include "bench/siglib/siglib_bench.h"
#include "siglib/frame/slots.h"

namespace {

constexpr std::int32_t kMaxElements = 4096;

struct alignas(64) Samples {
  std::int16_t v[kMaxElements];
};

Samples RandomSamples() {
  Samples s{};
  qvls_bench::FillRandom(s.v, 17, -32768, 32767);
  return s;
}

struct alignas(64) Table {
  std::uint16_t entries[128];
  std::uint16_t values[96];
};

Table SortedTable() {
  Table t{};
  qvls_bench::FillRandom(t.entries, 18, 0, 65535);
  std::sort(std::begin(t.entries), std::end(t.entries));
  qvls_bench::FillRandom(t.values, 19, 0, 65535);
  return t;
}

template <class Fn>
void RegisterPlain(const char* name, const qvls_variant_record<Fn>& record) {
  qvls_bench::RegisterPerVariant(
      "Search", name, record, {96, 4096},
      [](benchmark::State& state, std::int32_t, Fn* op, std::int64_t n) {
        const Samples x = RandomSamples();
        std::int16_t result = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(op(x.v, static_cast<std::int32_t>(n), &result));
          benchmark::DoNotOptimize(result);
        }
      });
}

template <class Fn>
void RegisterWithIndex(const char* name, const qvls_variant_record<Fn>& record) {
  qvls_bench::RegisterPerVariant(
      "Search", name, record, {96, 4096},
      [](benchmark::State& state, std::int32_t, Fn* op, std::int64_t n) {
        const Samples x = RandomSamples();
        std::int16_t result = 0;
        std::int32_t index = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(op(x.v, static_cast<std::int32_t>(n), &result, &index));
          benchmark::DoNotOptimize(index);
        }
      });
}

const qvls_bench::Registration kSearch([] {
  const auto& t = qvls_variant_table;
  RegisterPlain("Min", t.qvlsMin_i16);
  RegisterPlain("Max", t.qvlsMax_i16);
  RegisterWithIndex("MinWithIndex", t.qvlsMinWithIndex_i16);
  RegisterWithIndex("MaxWithIndex", t.qvlsMaxWithIndex_i16);
  // The size is the table's length.
  qvls_bench::RegisterPerVariant(
      "Search", "Nearest", t.qvlsNearest_u16, {34, 128},
      [](benchmark::State& state, std::int32_t, qvlsNearest_u16_fn* nearest, std::int64_t n) {
        const Table table = SortedTable();
        std::uint16_t result = 0;
        std::int32_t index = 0;
        std::uint32_t k = 0;
        for (auto _ : state) {
          benchmark::DoNotOptimize(nearest(table.values[k++ % 96], &result, &index, table.entries,
                                           static_cast<std::int32_t>(n)));
          benchmark::DoNotOptimize(index);
        }
      });
  qvls_bench::RegisterPerVariant(
      "Search", "NearestVec96", t.qvlsNearestVec_u16, {34, 128},
      [](benchmark::State& state, std::int32_t, qvlsNearestVec_u16_fn* nearest, std::int64_t n) {
        const Table table = SortedTable();
        std::uint16_t results[96];
        std::int32_t indices[96];
        for (auto _ : state) {
          benchmark::DoNotOptimize(nearest(table.values, results, indices, 96, table.entries,
                                           static_cast<std::int32_t>(n)));
          benchmark::ClobberMemory();
        }
      });
});

}  // namespace
