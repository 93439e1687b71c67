// The FSK transmitter: the states of the FSK transmit table and FskTxIdle.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// FskWaitForRts, FskTxData, FskTxDataExit, FskTxRestart.
StateTable<DspContext> FskTxTable();
// FskTxIdle: silence.
StateTable<DspContext> FskTxIdleTable();
// The baseband and carrier phases and the history cleared, the next sample
// fetches a bit, the transmitting flag cleared.
void ResetFskTx(DspContext& context);

}  // namespace pump
