// Conversions between the port's SerialDcb and the configuration requests'
// CommDcb: flags bit by bit, the DTR and RTS control fields, limits cut to
// and widened from 16 bits, the characters copied.
#pragma once

#include "layer2/corecode/mt/port/port_layouts.h"

namespace vxctl {

CommDcb dcb_to_comm(const SerialDcb& dcb);
// Fills what a CommDcb holds (event character 2 and the reserved bytes 0);
// the time-outs, transmit delay and reserved word stay as they are.
void dcb_from_comm(const CommDcb& comm, SerialDcb& dcb);

}  // namespace vxctl
