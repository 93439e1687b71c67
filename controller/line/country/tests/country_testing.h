// Helpers of the country-record tests: the record's layout as typed from
// the format's description, little-endian reads and writes on raw bytes,
// and a delta builder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "controller/line/country/country_delta.h"
#include "controller/line/country/country_dictionary.h"
#include "controller/line/country/country_record.h"

namespace vxctl::testing {

struct TypedSpan {
  const char* name;
  std::size_t offset;
  std::size_t size;
};

// The version, tables 1-12 and the trailer, as the format describes them.
inline constexpr std::array<TypedSpan, 14> kTypedLayout = {{
    {"version", 0, 2},
    {"general flag table", 2, 10},
    {"general parameter table", 12, 6},
    {"voice dtmf level", 18, 2},
    {"FILTER table", 20, 66},
    {"TONE table", 86, 690},
    {"DAA table", 776, 173},
    {"black listing parameter", 949, 73},
    {"S-register table", 1022, 92},
    {"RING table", 1114, 392},
    {"line-event timing", 1506, 8},
    {"call-waiting timing", 1514, 10},
    {"hook-flash parameters", 1524, 6},
    {"trailer", 1530, 4},
}};

inline std::uint16_t U16(const CountryRecord& r, std::size_t at) {
  return static_cast<std::uint16_t>(r.bytes[at] | r.bytes[at + 1] << 8);
}
inline void Put16(CountryRecord& r, std::size_t at, std::uint16_t v) {
  r.bytes[at] = static_cast<std::uint8_t>(v);
  r.bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A delta on `base` built item by item; `length` overrides the header's
// item-area length when set.
class DeltaBuilder {
 public:
  explicit DeltaBuilder(std::uint8_t base = 0) : bytes_{kCountryDeltaMark, base, 0, 0} {}

  DeltaBuilder& Item(std::uint32_t id, const std::vector<std::uint8_t>& value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
  }
  DeltaBuilder& Raw(const std::vector<std::uint8_t>& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  std::vector<std::uint8_t> Bytes(int length = -1) const {
    std::vector<std::uint8_t> out = bytes_;
    const std::size_t n = length < 0 ? out.size() - kCountryDeltaHeader : std::size_t(length);
    out[2] = static_cast<std::uint8_t>(n);
    out[3] = static_cast<std::uint8_t>(n >> 8);
    return out;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vxctl::testing
