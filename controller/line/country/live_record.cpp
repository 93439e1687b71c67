// Delta records onto the machine's live country record.
#include "controller/line/country/country_delta.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {

bool CTY_expand_delta(std::span<const std::uint8_t> delta) {
  return ApplyCountryDelta(MachineState<LineServicesState>().live_record, CountryDelta{delta}) ==
         CountryDeltaCheck::kSound;
}

}  // namespace vxctl
