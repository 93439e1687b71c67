#include "pump/fsk/fsk_rts.h"

#include "pump/fsk/fsk_tx.h"
#include "pump/fax/fax_rts.h"

namespace pump {

void RaiseRts(DspContext& context) { context.tx_request = 1; }

void DropRts(DspContext& context) {
  context.tx_request = 0;
  if (context.tx.table.data() != FskTxTable().data()) {
    DropFaxRts(context);
    return;
  }
  SetStateMachine(context.tx, StateOp::kSetCount, {}, 0);
  if (context.transmitting != 1) SetStateMachine(context.tx, StateOp::kRestartAt, {}, 0);
  context.transmitting = 0;
}

}  // namespace pump
