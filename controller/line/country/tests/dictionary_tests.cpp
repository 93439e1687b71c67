// The parameter dictionary: its counts, the rows that show its numbering,
// and its shape: every part inside its parent, siblings in order without
// gaps or overlap.
#include <gtest/gtest.h>

#include <map>

#include "controller/line/country/tests/country_testing.h"

namespace vxctl::testing {
namespace {

std::uint8_t TableOf(std::uint32_t id) { return static_cast<std::uint8_t>(id >> 24); }

TEST(CountryDictionary, CountsPerTable) {
  const std::array<std::size_t, 13> expected = {0, 11, 4, 3, 36, 538, 74, 39, 107, 263, 5, 6, 5};
  std::array<std::size_t, 13> counted{};
  for (const CountryParam& p : CountryParamDict()) {
    ASSERT_GE(TableOf(p.id), 1);
    ASSERT_LE(TableOf(p.id), 12);
    ++counted[TableOf(p.id)];
  }
  EXPECT_EQ(counted, expected);
  EXPECT_EQ(CountryParamDict().size(), 1091u);
}

TEST(CountryDictionary, TellingRows) {
  struct Row {
    std::uint8_t table, field, index, sub;
    std::uint32_t length, offset;
  };
  const Row rows[] = {
      {1, 0, 0, 0, 10, 2},     // the whole general flag table
      {1, 5, 0, 0, 1, 6},      // the blacklisting flag
      {5, 2, 11, 1, 1, 104},   // on/off of cadence segment 1 of tone record 1
      {6, 2, 0, 0, 57, 778},   // DAA sequence 1
      {9, 2, 3, 1, 1, 1120},   // flags of ring segment 1 of pattern 1
      {12, 4, 0, 0, 2, 1528},  // the hook-flash pause
  };
  for (const Row& row : rows) {
    const std::uint32_t id = CountryParamId(row.table, row.field, row.index, row.sub);
    SCOPED_TRACE(id);
    const CountryParam* p = FindCountryParam(id);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->length, row.length);
    EXPECT_EQ(p->offset, row.offset);
  }
  EXPECT_EQ(FindCountryParam(CountryParamId(13, 0, 0, 0)), nullptr);
  EXPECT_EQ(FindCountryParam(CountryParamId(5, 10, 0, 0)), nullptr);  // only 8 tone records
  EXPECT_EQ(FindCountryParam(0), nullptr);
}

TEST(CountryDictionary, WholeTablesAreTheFormatsTables) {
  for (std::uint8_t t = 1; t <= 12; ++t) {
    const CountryParam* p = FindCountryParam(CountryParamId(t, 0, 0, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->offset, kTypedLayout[t].offset) << kTypedLayout[t].name;
    EXPECT_EQ(p->length, kTypedLayout[t].size) << kTypedLayout[t].name;
  }
}

// The parent of a part: its element, field or table (the id with the
// lowest non-zero byte cleared).
std::uint32_t ParentOf(std::uint32_t id) {
  for (std::uint32_t mask : {0xFFu, 0xFF00u, 0xFF0000u}) {
    if (id & mask) return id & ~mask;
  }
  return 0;
}

TEST(CountryDictionary, ChildrenTileTheirParentInOrder) {
  std::map<std::uint32_t, std::vector<const CountryParam*>> children;
  for (const CountryParam& p : CountryParamDict()) {
    const std::uint32_t parent = ParentOf(p.id);
    if (parent != 0) children[parent].push_back(&p);
  }
  for (const auto& [parent_id, parts] : children) {
    SCOPED_TRACE(parent_id);
    const CountryParam* parent = FindCountryParam(parent_id);
    ASSERT_NE(parent, nullptr);
    std::uint32_t at = parent->offset;
    for (const CountryParam* child : parts) {
      EXPECT_EQ(child->offset, at) << "child " << child->id;
      at = child->offset + child->length;
    }
    EXPECT_EQ(at, parent->offset + parent->length);
  }
  // Every entry with a member or element numbering is somebody's child.
  std::size_t parented = 0;
  for (const auto& [parent_id, parts] : children) parented += parts.size();
  EXPECT_EQ(parented, CountryParamDict().size() - 12);
}

}  // namespace
}  // namespace vxctl::testing
