// The country list: which countries the modem supports and the record each
// one uses. Stored as "CountryLst" in this same 964-byte form.
#pragma once

#include <cstdint>

namespace vxctl {

// One country: international calling code (countries sharing code 1 other
// than the USA take distinct values above 100), T.35 country code, the
// index of its country record, a three-letter name padded with NUL.
struct CountryListEntry {
  std::uint16_t calling_code;
  std::uint8_t t35_code;
  std::uint8_t record_index;
  char name[4];
};
static_assert(sizeof(CountryListEntry) == 8);

inline constexpr std::uint16_t kCountryListVersion = 1;
inline constexpr std::uint16_t kCountryListMax = 120;

struct CountryList {
  std::uint16_t version;
  std::uint16_t count;  // 1..120
  CountryListEntry entries[kCountryListMax];
};
static_assert(sizeof(CountryList) == 964);

}  // namespace vxctl
