// The serial handflow record against the port's settings: its handshake
// and flow-replace bits to and from the communication DCB's flags.
#pragma once

#include "layer2/corecode/mt/port/port_layouts.h"
#include "platform/nt/serial.h"

namespace vxctl {

// The DCD handshake (control) and break character (flow) bits come from
// the last record set: the settings do not hold them.
SERIAL_HANDFLOW handflow_from_dcb(const SerialDcb& dcb, ULONG last_control, ULONG last_flow);
// The flags replaced by binary and the mapped bits, the limits cut to 16 bits.
void handflow_into_dcb(const SERIAL_HANDFLOW& handflow, SerialDcb& dcb);

}  // namespace vxctl
