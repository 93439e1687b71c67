// How a port function ends: the last error set (in the machine's port
// block when the function got none) and the boolean result.
#pragma once

#include "layer2/corecode/mt/port/port_block.h"

namespace vxctl {

inline bool PortFail(PortBlock* port, std::int32_t error) {
  (port != nullptr ? *port : port_block()).last_error.store(error);
  return false;
}

inline bool PortSucceed(PortBlock* port) {
  port->last_error.store(kPortOk);
  return true;
}

}  // namespace vxctl
