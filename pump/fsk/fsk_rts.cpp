#include "pump/fsk/fsk_rts.h"

#include "pump/fsk/fsk_tx.h"

namespace pump {

void RaiseRts(DspContext& context) { context.tx_request = 1; }

// On the FSK transmitter, else on the fax transmitter (0x74 ends a fax
// burst): in data the data state ends at the next symbol and the tail
// follows; before data the table restarts at its wait for RTS. The
// transmitting flag is cleared either way; with no fax transmit table
// nothing else happens.
void DropRts(DspContext& context) {
  context.tx_request = 0;
  StateMachine<DspContext>& machine =
      context.tx.table.data() == FskTxTable().data() ? context.tx : context.fax.tx.machine;
  if (!machine.table.empty()) {
    SetStateMachine(machine, StateOp::kSetCount, {}, 0);
    if (context.transmitting != 1) SetStateMachine(machine, StateOp::kRestartAt, {}, 0);
  }
  context.transmitting = 0;
}

}  // namespace pump
