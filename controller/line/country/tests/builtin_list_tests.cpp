// The built-in country list and the built-in record table.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/tests/country_testing.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl::testing {
namespace {

std::string Name(const CountryListEntry& e) { return std::string(e.name, strnlen(e.name, 4)); }

TEST(BuiltInList, EightySixCountriesInOrder) {
  const std::vector<std::string> names = {
      "USA", "KOR", "ECU", "BOL", "CHL", "COL", "PAN", "PER", "SAU", "THA", "VNM", "SWE",
      "DEN", "FIN", "NOR", "ISL", "IRL", "ISR", "LIE", "ESP", "TUR", "DEU", "AUT", "CHE",
      "CYP", "GRC", "ITA", "LUX", "NLD", "GBR", "BEL", "FRA", "PRT", "PAK", "JPN", "RUS",
      "AUS", "MYS", "CHN", "HKG", "SGP", "NZL", "ARG", "BRA", "MEX", "TWN", "IND", "PHL",
      "IDN", "BHS", "BRB", "BMU", "GTM", "HTI", "HND", "JAM", "NIC", "PRY", "PRI", "SUR",
      "TTO", "URY", "VEN", "ZWE", "GUY", "EST", "HUN", "SVN", "ARE", "SVK", "CAN", "CRI",
      "DOM", "SLV", "GMB", "GIB", "POL", "EGY", "CZE", "ZAF", "GUF", "BUL", "CRO", "LAT",
      "LIT", "SRL"};
  const CountryList& list = BuiltInCountryList();
  EXPECT_EQ(list.version, 1);
  ASSERT_EQ(list.count, names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Name(list.entries[i]), names[i]);
    EXPECT_EQ(list.entries[i].name[3], '\0');
  }
  for (std::size_t i = list.count; i < kCountryListMax; ++i) {
    EXPECT_EQ(list.entries[i].calling_code, 0) << i;
  }
}

TEST(BuiltInList, NamesCodesAndRecordsAreUnique) {
  const CountryList& list = BuiltInCountryList();
  std::set<std::string> names;
  std::set<unsigned> calling, t35, records;
  for (std::size_t i = 0; i < list.count; ++i) {
    const CountryListEntry& e = list.entries[i];
    SCOPED_TRACE(Name(e));
    EXPECT_TRUE(names.insert(Name(e)).second);
    EXPECT_TRUE(calling.insert(e.calling_code).second);
    // 0xFF: T.35 gives the country no one-octet code.
    if (e.t35_code != 0xFF) {
      EXPECT_TRUE(t35.insert(e.t35_code).second);
    }
    EXPECT_TRUE(records.insert(e.record_index).second);
    EXPECT_GE(e.record_index, 16);
    EXPECT_LE(e.record_index, 101);
  }
  EXPECT_EQ(records.size(), 86u);  // so every delta record 16-101 has its country
}

TEST(BuiltInList, EntriesAgreeWithT35AndE164) {
  struct Entry {
    const char* name;
    std::uint16_t calling_code;  // E.164 (NANP members: 1 and the area code)
    std::uint8_t t35;            // T.35 Annex A
    std::uint8_t record;  // 17-101 by list position, 95 kept for JPN
  };
  const Entry entries[] = {
      {"USA", 1, 0xB5, 16},    {"JPN", 81, 0x00, 95},   {"KOR", 82, 0x61, 17},
      {"DEU", 49, 0x04, 37},   {"GBR", 44, 0xB4, 45},   {"FRA", 33, 0x3D, 47},
      {"RUS", 7, 0xB8, 50},    {"BHS", 1242, 0x0B, 64}, {"CAN", 2, 0x20, 85},
      {"SRL", 94, 0xA1, 101},
  };
  const CountryList& list = BuiltInCountryList();
  for (const Entry& want : entries) {
    SCOPED_TRACE(want.name);
    const CountryListEntry* found = nullptr;
    for (std::size_t i = 0; i < list.count; ++i) {
      if (Name(list.entries[i]) == want.name) found = &list.entries[i];
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->calling_code, want.calling_code);
    EXPECT_EQ(found->t35_code, want.t35);
    EXPECT_EQ(found->record_index, want.record);
  }
}

TEST(BuiltInList, StoredFormIsTheList) {
  const std::span<const std::uint8_t> bytes = CTY_builtin_country_list();
  ASSERT_EQ(bytes.size(), 964u);
  EXPECT_EQ(bytes[0] | bytes[1] << 8, 1);
  EXPECT_EQ(bytes[2] | bytes[3] << 8, 86);
  // The first entry, USA {1, 181, 16, "USA"}, little-endian.
  const std::vector<std::uint8_t> usa(bytes.begin() + 4, bytes.begin() + 12);
  EXPECT_EQ(usa, (std::vector<std::uint8_t>{1, 0, 181, 16, 'U', 'S', 'A', 0}));
}

TEST(BuiltInList, RecordTableAndDeltas) {
  const BuiltInRecordTable& table = BuiltInRecords();
  ASSERT_EQ(table.count, 102);
  for (std::size_t i = 0; i < table.count; ++i) {
    SCOPED_TRACE(i);
    const BuiltInRecordRef& ref = table.records[i];
    if (i < 16) {
      ASSERT_NE(ref.full, nullptr);
      EXPECT_EQ(ref.full->bytes, DefaultCountryRecord().bytes);
      continue;
    }
    EXPECT_EQ(ref.full, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ref.delta.data()) % 4, 0u);
    const CountryDelta delta{ref.delta};
    EXPECT_EQ(CheckCountryDelta(delta), CountryDeltaCheck::kSound);
    EXPECT_EQ(ref.delta[0], 0x84);
    EXPECT_EQ(delta.base(), 0);
    if (i != 16) {
      EXPECT_EQ(BuiltInRecord(i).bytes, DefaultCountryRecord().bytes);
    }
  }
  // The USA's: record 0 with FSK caller ID from the first ring.
  CountryRecord usa = DefaultCountryRecord();
  usa.bytes[11] = 0x01;
  EXPECT_EQ(BuiltInRecord(16).bytes, usa.bytes);
  EXPECT_EQ(CTY_builtin_record(16).bytes, usa.bytes);
  // Beyond the table: record 0.
  EXPECT_EQ(CTY_builtin_record(102).bytes, DefaultCountryRecord().bytes);
  EXPECT_EQ(&CTY_default_record(), &DefaultCountryRecord());
}

}  // namespace
}  // namespace vxctl::testing
