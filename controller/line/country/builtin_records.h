// The built-in country data: record 0 (the default), the 102 record
// references (0-15 full records, 16-101 deltas on a full base) and the
// built-in country list of 86 countries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "controller/line/country/country_list.h"
#include "controller/line/country/country_record.h"

namespace vxctl {

inline constexpr std::size_t kBuiltInRecords = 102;
inline constexpr std::size_t kBuiltInFullRecords = 16;
inline constexpr std::size_t kBuiltInCountries = 86;

// A built-in record: a full record, or a delta (its bytes start on a
// 4-byte boundary) on the full record its header names.
struct BuiltInRecordRef {
  const CountryRecord* full = nullptr;
  std::span<const std::uint8_t> delta;
};

struct BuiltInRecordTable {
  std::uint16_t count;
  std::array<BuiltInRecordRef, kBuiltInRecords> records;
};

const CountryRecord& DefaultCountryRecord();
const BuiltInRecordTable& BuiltInRecords();
// Built-in record `index` in full, a delta expanded on its base; record 0
// for an index beyond the table.
CountryRecord BuiltInRecord(std::size_t index);

const CountryList& BuiltInCountryList();

}  // namespace vxctl
