// The codes of the controller's command packets to the data pump; each
// controller part adds the codes it sends.
#pragma once

#include <cstdint>

namespace vxctl {

enum DspCommandCode : std::uint8_t {
  kCmdCallProgressMode = 0x65,   // {mode, flags}
  kCmdCallerIdReporting = 0x7D,  // {0x80 when reporting is on, else 0; 0}
};

}  // namespace vxctl
