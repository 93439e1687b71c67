// The status register (54) that the controller's state monitor reads: the
// status code in the low 4 bits, flags above (see comram.h).
#pragma once

#include <cstdint>

#include "pump/core/host_interface.h"

namespace pump {

// A value below 16 is a status code and replaces the low 4 bits, whatever
// the flag. Any other value is a set of flag bits: set them when `set`,
// clear them otherwise.
void SetDpStatus(HostInterface& host, std::uint8_t value, bool set);

}  // namespace pump
