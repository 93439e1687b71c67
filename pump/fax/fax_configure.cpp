#include "pump/fax/fax_configure.h"

#include "pump/afe_access/afe_access.h"
#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_rx.h"
#include "pump/fax/fax_modulator.h"
#include "pump/fax/fax_rx_silence.h"
#include "pump/fax/fax_tx_states.h"
#include "pump/framer/framer.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"

namespace pump {
namespace {

// The kinds with a high-speed modulation: those with a mode word.
bool HighSpeed(std::uint32_t kind) {
  return kind <= 0xFF && FaxModeWord(static_cast<std::uint8_t>(kind), 0).has_value();
}

}  // namespace

void ConfigureFax(DspContext& context) {
  FaxConfig& fax = context.fax;
  fax.tx = {};
  fax.rx.dc = {};
  const int level = context.transmit_level <= -2 ? context.transmit_level : -10;
  fax.tx.output_gain = AfeGain(*context.afe, level);
  const bool receive = (fax.options & kFaxReceive) != 0;
  if (!HighSpeed(fax.modulation_kind)) {
    // No high-speed modulation: the machines idle, and a receiver with
    // nothing to demodulate reports the line level.
    SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
    const bool level_only = receive && fax.modulation_kind == kFaxKindNone;
    SetStateMachine(context.rx, StateOp::kGo, level_only ? FaxRxSilenceTable() : kRxIdleTable);
  } else if (receive) {
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
