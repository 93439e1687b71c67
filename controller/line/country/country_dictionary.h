// The parameter dictionary of the country record: every table, field,
// element and member that a delta item can name, with its length and place.
// It is generated from the record's layout (country_dictionary.cpp says how
// the parts are numbered), not stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

// A parameter id: table << 24 | field << 16 | index << 8 | sub. Field 0
// names a whole table, index 0 a whole field, sub 0 a whole element.
constexpr std::uint32_t CountryParamId(std::uint8_t table, std::uint8_t field, std::uint8_t index,
                                       std::uint8_t sub) {
  return std::uint32_t{table} << 24 | std::uint32_t{field} << 16 | std::uint32_t{index} << 8 | sub;
}

struct CountryParam {
  std::uint32_t id;
  std::uint32_t length;  // bytes
  std::uint32_t offset;  // in the record
};

inline constexpr std::size_t kCountryParamCount = 1091;

// The entries, table by table: the whole table, then each field; an array
// field is followed by its elements, an element with members by its members.
std::span<const CountryParam, kCountryParamCount> CountryParamDict();
// The first entry with `id`; null when there is none.
const CountryParam* FindCountryParam(std::uint32_t id);

}  // namespace vxctl
