// What the command interpreter calls of its neighbours that are not built
// yet: the link protocols' statistics and the ring service's report
// duration. controller/standin defines these entries until those parts
// replace them.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/services/ec_statistics.h"

namespace vxctl {

// Copies the statistics into `record`, then clears the error count and the
// two frame counts.
void ec_get_statistics_clear(EcStatistics& record);

// The duration of the last ring edge the ring service reported (100 ms
// units), shown after "DRON=" and "DROF=".
std::uint8_t RING_report_duration();

}  // namespace vxctl
