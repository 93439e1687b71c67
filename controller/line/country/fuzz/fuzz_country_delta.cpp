// Fuzz target: any bytes (up to the registry's 4,096) as a delta applied
// to a copy of record 0. Applying agrees with checking; a sound delta
// applied twice gives what it gave once; any other delta changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/country_delta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vxctl;
  if (size > 4096) return 0;
  const CountryDelta delta{std::span<const std::uint8_t>(data, size)};
  const CountryRecord& base = DefaultCountryRecord();
  CountryRecord record = base;
  const CountryDeltaCheck check = ApplyCountryDelta(record, delta);
  if (check != CheckCountryDelta(delta)) std::abort();
  if (check != CountryDeltaCheck::kSound) {
    if (record.bytes != base.bytes) std::abort();
    return 0;
  }
  CountryRecord again = record;
  if (ApplyCountryDelta(again, delta) != CountryDeltaCheck::kSound || again.bytes != record.bytes) {
    std::abort();
  }
  return 0;
}
