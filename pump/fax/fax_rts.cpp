#include "pump/fax/fax_rts.h"

namespace pump {

void DropFaxRts(DspContext& context) {
  StateMachine<DspContext>& machine = context.fax.tx.machine;
  if (!machine.table.empty()) {
    SetStateMachine(machine, StateOp::kSetCount, {}, 0);
    if (context.transmitting != 1) SetStateMachine(machine, StateOp::kRestartAt, {}, 0);
  }
  context.transmitting = 0;
}

}  // namespace pump
