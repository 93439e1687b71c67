// The transmit request of the FSK transmit table: commands 0x75 and 0x74.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// The transmit table's FskWaitForRts starts sending once this is set.
void RaiseRts(DspContext& context);
// Ends the FSK transmit table's current state (a running FskTxData goes to
// FskTxDataExit and back to FskWaitForRts); before anything was sent the
// table restarts at once. Another transmitter's machine goes to the fax
// transmitter.
void DropRts(DspContext& context);

}  // namespace pump
