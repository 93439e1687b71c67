#include "controller/line/country/country_delta.h"

#include <algorithm>

#include "controller/line/country/country_dictionary.h"

namespace vxctl {
namespace {

std::uint32_t ReadId(std::span<const std::uint8_t> at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

// Calls take(entry, item bytes) for each item of a delta whose header and
// length are sound; stops at the first fault and returns it.
template <class Take>
CountryDeltaCheck WalkItems(CountryDelta delta, Take take) {
  if (!delta.has_header()) return CountryDeltaCheck::kNoHeader;
  if ((delta.bytes[0] & kCountryDeltaFlag) == 0) return CountryDeltaCheck::kNotDelta;
  if (delta.length() > delta.bytes.size() - kCountryDeltaHeader) {
    return CountryDeltaCheck::kLengthPastDelta;
  }
  std::span<const std::uint8_t> area = delta.bytes.subspan(kCountryDeltaHeader, delta.length());
  while (!area.empty()) {
    if (area.size() < 4) return CountryDeltaCheck::kItemPastArea;
    const CountryParam* entry = FindCountryParam(ReadId(area));
    if (entry == nullptr) return CountryDeltaCheck::kUnknownId;
    area = area.subspan(4);
    if (area.size() < entry->length) return CountryDeltaCheck::kItemPastArea;
    take(*entry, area.first(entry->length));
    area = area.subspan(entry->length);
  }
  return CountryDeltaCheck::kSound;
}

}  // namespace

CountryDeltaCheck CheckCountryDelta(CountryDelta delta) {
  return WalkItems(delta, [](const CountryParam&, std::span<const std::uint8_t>) {});
}

CountryDeltaCheck ApplyCountryDelta(CountryRecord& record, CountryDelta delta) {
  const CountryDeltaCheck check = CheckCountryDelta(delta);
  if (check != CountryDeltaCheck::kSound) return check;
  return WalkItems(delta, [&](const CountryParam& entry, std::span<const std::uint8_t> item) {
    std::copy(item.begin(), item.end(), record.bytes.begin() + entry.offset);
  });
}

}  // namespace vxctl
