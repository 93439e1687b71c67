// The compact form of a country record: the changes to a full base record.
// A delta is {u8 mark (0x84; bit 7 marks a delta), u8 base record index,
// u16 length of the item area}, then the items back to back, each a u32
// parameter id and as many bytes as the dictionary gives that id. Deltas
// also come from the registry, so a delta is checked whole before any item
// is applied: a faulty one changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "controller/line/country/country_record.h"

namespace vxctl {

inline constexpr std::uint8_t kCountryDeltaMark = 0x84;
inline constexpr std::uint8_t kCountryDeltaFlag = 0x80;
inline constexpr std::size_t kCountryDeltaHeader = 4;

struct CountryDelta {
  std::span<const std::uint8_t> bytes;

  bool has_header() const { return bytes.size() >= kCountryDeltaHeader; }
  std::uint8_t base() const { return bytes[1]; }
  std::uint16_t length() const { return static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8); }
};

enum class CountryDeltaCheck : std::uint8_t {
  kSound,
  kNoHeader,         // fewer than 4 bytes
  kNotDelta,         // bit 7 of the mark clear
  kLengthPastDelta,  // the item area runs past the delta's bytes
  kUnknownId,        // an item names no dictionary entry
  kItemPastArea,     // an item's id or bytes run past the item area
};

// Walks the whole delta without changing anything.
CountryDeltaCheck CheckCountryDelta(CountryDelta delta);

// Applies the items in their stored order to `record`, which holds a copy
// of the delta's base record; a later item overwrites an earlier one. A
// delta that is not sound leaves the record as it was.
CountryDeltaCheck ApplyCountryDelta(CountryRecord& record, CountryDelta delta);

}  // namespace vxctl
