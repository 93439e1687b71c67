// The fax transmitter's end of a burst: command 0x74 (through DropRts)
// on the fax transmit machine.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// In data, the data state ends at the next symbol and the tail of marks
// and DP_FAX_CD follow; before data (training), the table restarts at
// WaitForRTS. The transmitting flag is cleared either way. Without a fax
// transmit table nothing else happens.
void DropFaxRts(DspContext& context);

}  // namespace pump
