// The built-in country data as the controller core asks for it
// (layer2/corecode/mt/services/line_services.h).
#include "controller/line/country/builtin_records.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {

const CountryRecord& CTY_default_record() { return DefaultCountryRecord(); }

CountryRecord CTY_builtin_record(std::uint8_t index) { return BuiltInRecord(index); }

std::span<const std::uint8_t> CTY_builtin_country_list() {
  const CountryList& list = BuiltInCountryList();
  return {reinterpret_cast<const std::uint8_t*>(&list), sizeof list};
}

}  // namespace vxctl
