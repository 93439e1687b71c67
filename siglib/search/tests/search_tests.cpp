#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

using Vector = std::vector<std::int16_t>;
using Table = std::vector<std::uint16_t>;

struct Extremes {
  std::int16_t min, max;
  std::int32_t min_index, max_index;
  bool operator==(const Extremes&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Extremes& e) {
  return os << "min " << e.min << " at " << e.min_index << ", max " << e.max << " at "
            << e.max_index;
}

// All four searches of one variant on x placed at byte offset `offset`; the
// plain extremes must agree with the ones the index searches report.
Extremes Search(Variant v, const Vector& x, std::size_t offset = 0) {
  GuardedBuffer<std::int16_t> g(x, offset);
  const auto len = static_cast<std::int32_t>(x.size());
  const auto& t = qvls_variant_table;
  Extremes e{};
  std::int16_t plain_min = 0;
  std::int16_t plain_max = 0;
  EXPECT_EQ(CallKeepingFpSettings(t.qvlsMin_i16.entry[v], g.data(), len, &plain_min), QVLS_OK);
  EXPECT_EQ(CallKeepingFpSettings(t.qvlsMax_i16.entry[v], g.data(), len, &plain_max), QVLS_OK);
  EXPECT_EQ(
      CallKeepingFpSettings(t.qvlsMinWithIndex_i16.entry[v], g.data(), len, &e.min, &e.min_index),
      QVLS_OK);
  EXPECT_EQ(
      CallKeepingFpSettings(t.qvlsMaxWithIndex_i16.entry[v], g.data(), len, &e.max, &e.max_index),
      QVLS_OK);
  EXPECT_EQ(plain_min, e.min);
  EXPECT_EQ(plain_max, e.max);
  EXPECT_EQ(g.Load(), x);
  return e;
}

Extremes BruteForce(const Vector& x) {
  const auto min = std::min_element(x.begin(), x.end());  // the first of equals
  const auto max = std::max_element(x.begin(), x.end());
  return {*min, *max, static_cast<std::int32_t>(min - x.begin()),
          static_cast<std::int32_t>(max - x.begin())};
}

TEST(Search, BruteForceModel) {
  Rng rng("Search.BruteForceModel");
  std::vector<std::int32_t> lengths;
  for (std::int32_t n = 1; n <= 80; ++n) lengths.push_back(n);
  for (std::int32_t n : {100, 255, 256, 1000, 4095, 4096, 4097, 4127, 5000, 8209}) {
    lengths.push_back(n);
  }
  for (std::int32_t len : lengths) {
    for (int spread : {3, 200, 65536}) {  // many ties, some, few
      Vector x(static_cast<std::size_t>(len));
      for (std::int16_t& a : x) {
        a = spread == 65536 ? rng.WithEdges<std::int16_t>()
                            : static_cast<std::int16_t>(rng.Range(-spread, spread));
      }
      const Extremes expected = BruteForce(x);
      for (std::size_t offset : {0u, 1u, 2u, 6u, 8u, 14u}) {
        for (Variant v : kAllVariants) {
          ASSERT_EQ(Search(v, x, offset), expected)
              << VariantTag(v) << " len " << len << " spread " << spread << " offset " << offset;
        }
      }
    }
  }
}

// The extreme twice in vectors longer than any block, and once on each side
// of the block edges of the index searches (4096 and 65536 elements from
// the first aligned element).
TEST(MinMax, FirstOccurrenceAcrossBlocks) {
  Rng rng("MinMax.FirstOccurrenceAcrossBlocks");
  struct Case {
    std::int32_t len;
    std::vector<std::int32_t> positions;
  };
  const Case cases[] = {
      {100, {40, 90}},          {200000, {30000, 110000}},  {200000, {4095, 4096}},
      {200000, {4096, 4097}},   {200000, {8191, 8192}},     {200000, {65535, 65536}},
      {200000, {65536, 65537}}, {200000, {131071, 131072}}, {200000, {199999}},
      {200000, {0, 199999}},
  };
  for (const Case& c : cases) {
    Vector x(static_cast<std::size_t>(c.len));
    for (std::int16_t& a : x) a = static_cast<std::int16_t>(rng.Range(-32000, 32000));
    for (std::int32_t p : c.positions) x[static_cast<std::size_t>(p)] = INT16_MIN;
    Vector y = x;
    for (std::int32_t p : c.positions) y[static_cast<std::size_t>(p)] = INT16_MAX;
    for (std::size_t offset : {0u, 1u, 2u, 6u}) {
      for (Variant v : kAllVariants) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << c.len << " first at "
                                        << c.positions[0] << " offset " << offset);
        const Extremes in_x = Search(v, x, offset);
        EXPECT_EQ(in_x.min, INT16_MIN);
        EXPECT_EQ(in_x.min_index, c.positions[0]);
        const Extremes in_y = Search(v, y, offset);
        EXPECT_EQ(in_y.max, INT16_MAX);
        EXPECT_EQ(in_y.max_index, c.positions[0]);
      }
    }
  }
}

TEST(MinMax, SmallCasesAndNoIndexPointer) {
  for (Variant v : kAllVariants) {
    EXPECT_EQ(Search(v, {5, -3, 7, -3}), (Extremes{-3, 7, 1, 2})) << VariantTag(v);
    EXPECT_EQ(Search(v, {2, 2, 2}), (Extremes{2, 2, 0, 0})) << VariantTag(v);
    EXPECT_EQ(Search(v, {-9}), (Extremes{-9, -9, 0, 0})) << VariantTag(v);
    const Vector x = {4, 1, 9, 1, 9};
    std::int16_t min = 0;
    std::int16_t max = 0;
    EXPECT_EQ(qvls_variant_table.qvlsMinWithIndex_i16.entry[v](x.data(), 5, &min, nullptr),
              QVLS_OK);
    EXPECT_EQ(qvls_variant_table.qvlsMaxWithIndex_i16.entry[v](x.data(), 5, &max, nullptr),
              QVLS_OK);
    EXPECT_EQ(min, 1) << VariantTag(v);
    EXPECT_EQ(max, 9) << VariantTag(v);
  }
}

TEST(MinMax, ArgumentChecks) {
  const Vector x = {1, 2};
  const auto& t = qvls_variant_table;
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {2, 0, -1}) {
      std::int16_t r = 77;
      std::int32_t i = 77;
      EXPECT_EQ(t.qvlsMin_i16.entry[v](nullptr, len, &r), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMax_i16.entry[v](x.data(), len, nullptr), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMinWithIndex_i16.entry[v](nullptr, len, &r, &i), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMaxWithIndex_i16.entry[v](x.data(), len, nullptr, &i), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMaxWithIndex_i16.entry[v](x.data(), len, nullptr, nullptr),
                QVLS_ERR_NULL_POINTER);
      if (len <= 0) {
        EXPECT_EQ(t.qvlsMin_i16.entry[v](x.data(), len, &r), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMax_i16.entry[v](x.data(), len, &r), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMinWithIndex_i16.entry[v](x.data(), len, &r, &i), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMaxWithIndex_i16.entry[v](x.data(), len, &r, nullptr), QVLS_ERR_DATA_SIZE);
      }
      EXPECT_EQ(r, 77);
      EXPECT_EQ(i, 77);
    }
  }
}

// The rule by a linear scan: index 0 up to the first entry, the last index
// from the last entry on, else the last entry at most v against the next,
// the lower on a tie.
std::int32_t NearestByScan(std::uint16_t v, const Table& t) {
  const auto n = static_cast<std::int32_t>(t.size());
  if (v <= t[0]) return 0;
  std::int32_t below = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    if (t[k] <= v) below = k;
  }
  if (below == n - 1) return below;
  return v - t[below] <= t[below + 1] - v ? below : below + 1;
}

struct Nearest {
  std::uint16_t value;
  std::int32_t index;
  bool operator==(const Nearest&) const = default;
};

Nearest NearestOf(Variant v, std::uint32_t value, GuardedBuffer<std::uint16_t>& table) {
  Nearest n{0x5A5A, -7};
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsNearest_u16.entry[v], value, &n.value,
                                  &n.index, table.data(), static_cast<std::int32_t>(table.size())),
            QVLS_OK);
  return n;
}

TEST(Nearest, TieTakesLower) {
  struct Case {
    Table table;
    std::uint32_t value;
    Nearest expected;
  };
  const Case cases[] = {
      {{10, 20, 30}, 0, {10, 0}},
      {{10, 20, 30}, 10, {10, 0}},
      {{10, 20, 30}, 14, {10, 0}},
      {{10, 20, 30}, 15, {10, 0}},  // half-way: the lower
      {{10, 20, 30}, 16, {20, 1}},
      {{10, 20, 30}, 25, {20, 1}},
      {{10, 20, 30}, 30, {30, 2}},
      {{10, 20, 30}, 65535, {30, 2}},
      {{10, 20, 20, 30}, 20, {20, 2}},  // the last entry at most the value
      {{10, 20, 20, 30}, 25, {20, 2}},
      {{10, 20, 20, 30}, 26, {30, 3}},
      {{10, 10, 20}, 10, {10, 0}},
      {{500}, 0, {500, 0}},
      {{500}, 65535, {500, 0}},
      {{4, 6, 60000}, 0x12340005, {4, 0}},  // only the low 16 bits count
      {{4, 6, 60000}, 0xFFFF0007, {6, 1}},
  };
  for (const Case& c : cases) {
    GuardedBuffer<std::uint16_t> table(c.table, 1);
    for (Variant v : kAllVariants) {
      EXPECT_EQ(NearestOf(v, c.value, table), c.expected)
          << VariantTag(v) << " value " << c.value << " table of " << c.table.size();
    }
  }
}

Table SortedTable(Rng& rng, std::size_t n) {
  Table t(n);
  for (std::uint16_t& e : t) e = static_cast<std::uint16_t>(rng.Range(0, 65535));
  std::sort(t.begin(), t.end());
  if (n > 3) t[n / 2] = t[n / 2 - 1];  // an equal neighbour
  return t;
}

TEST(Nearest, EveryValueAgainstALinearScan) {
  Rng rng("Nearest.EveryValueAgainstALinearScan");
  for (std::size_t n : {1u, 2u, 3u, 5u, 34u, 128u}) {
    const Table table = SortedTable(rng, n);
    GuardedBuffer<std::uint16_t> placed(table, 2 * n % 64);
    for (std::uint32_t value = 0; value < 65536; ++value) {
      const std::int32_t k = NearestByScan(static_cast<std::uint16_t>(value), table);
      const Nearest expected{table[static_cast<std::size_t>(k)], k};
      for (Variant v : kAllVariants) {
        ASSERT_EQ(NearestOf(v, value, placed), expected)
            << VariantTag(v) << " value " << value << " table of " << n;
      }
    }
  }
}

// The vector form gives each element's nearest entry, also when the result
// vector is the input vector itself; a one-entry table fills both outputs.
TEST(NearestVec, ElementwiseAndInPlace) {
  Rng rng("NearestVec.ElementwiseAndInPlace");
  for (std::size_t table_len : {1u, 2u, 34u, 128u}) {
    const Table table = SortedTable(rng, table_len);
    for (std::int32_t len : {1, 4, 5, 6, 11, 97}) {
      Table src(static_cast<std::size_t>(len));
      for (std::uint16_t& e : src) e = static_cast<std::uint16_t>(rng.Range(0, 65535));
      Table expected_values;
      std::vector<std::int32_t> expected_indices;
      for (std::uint16_t e : src) {
        const std::int32_t k = NearestByScan(e, table);
        expected_indices.push_back(k);
        expected_values.push_back(table[static_cast<std::size_t>(k)]);
      }
      for (Variant v : kAllVariants) {
        for (bool in_place : {false, true}) {
          SCOPED_TRACE(testing::Message() << VariantTag(v) << " table " << table_len << " len "
                                          << len << (in_place ? " in place" : ""));
          GuardedBuffer<std::uint16_t> g_src(src, 2 * static_cast<std::size_t>(len) % 64);
          GuardedBuffer<std::uint16_t> g_result(src.size(), 3);
          GuardedBuffer<std::int32_t> g_index(src.size(), 5);
          GuardedBuffer<std::uint16_t> g_table(table, 1);
          std::uint16_t* result = in_place ? g_src.data() : g_result.data();
          EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsNearestVec_u16.entry[v],
                                          g_src.data(), result, g_index.data(), len, g_table.data(),
                                          static_cast<std::int32_t>(table_len)),
                    QVLS_OK);
          EXPECT_EQ(in_place ? g_src.Load() : g_result.Load(), expected_values);
          EXPECT_EQ(g_index.Load(), expected_indices);
        }
      }
    }
  }
}

TEST(Nearest, ArgumentChecks) {
  const Table table = {1, 2};
  const Table src = {5};
  const auto& t = qvls_variant_table;
  for (Variant v : kAllVariants) {
    std::uint16_t r = 77;
    std::int32_t i = 77;
    EXPECT_EQ(t.qvlsNearest_u16.entry[v](5, nullptr, &i, table.data(), 0), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearest_u16.entry[v](5, &r, nullptr, table.data(), 2), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearest_u16.entry[v](5, &r, &i, nullptr, 2), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearest_u16.entry[v](5, &r, &i, table.data(), 0), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](nullptr, &r, &i, 1, table.data(), 2),
              QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](src.data(), nullptr, &i, 0, table.data(), 2),
              QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](src.data(), &r, nullptr, 1, table.data(), 2),
              QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](src.data(), &r, &i, 1, nullptr, 0),
              QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](src.data(), &r, &i, 0, table.data(), 2),
              QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(t.qvlsNearestVec_u16.entry[v](src.data(), &r, &i, 1, table.data(), -1),
              QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(r, 77);
    EXPECT_EQ(i, 77);
  }
}

}  // namespace
}  // namespace qvls_test
