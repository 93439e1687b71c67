#include "pump/fax/fax_configure.h"

#include "pump/afe_access/afe_access.h"
#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/fax/fax_modulator.h"
#include "pump/fax/fax_tx_states.h"
#include "pump/framer/framer.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"

namespace pump {

void ConfigureFax(DspContext& context) {
  FaxConfig& fax = context.fax;
  fax.tx = {};
  const int level = context.transmit_level <= -2 ? context.transmit_level : -10;
  fax.tx.output_gain = AfeGain(*context.afe, level);
  if ((fax.options & kFaxReceive) != 0) {
    SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
    StartFaxRx(context, fax.mode_word);
  } else {
    SetStateMachine(fax.tx.machine, StateOp::kGo, FaxTxTable(fax.mode_word));
    SetStateMachine(context.tx, StateOp::kGo, FaxBlockTable(fax.mode_word));
    SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);
    InitFramerTx(context, kFramerRawOctets);
    InitFramerRx(context, kFramerRawOctets);
  }
  context.transmitting = 0;
  SetDpStatus(*context.host, 0, true);
  SetDpStatus(*context.host, kStatusCarrier, false);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
  context.tx_request = 1;
}

}  // namespace pump
