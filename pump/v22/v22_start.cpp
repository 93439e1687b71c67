#include "pump/v22/v22_start.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/fsk/fsk_start.h"
#include "pump/v22/v22_rx_states.h"
#include "pump/v22/v22_tx_states.h"
#include "pump/v32/v32_mode.h"

namespace pump {
namespace {

constexpr std::int16_t k1200Hz = 8192;
constexpr std::int16_t k2400Hz = 16384;
constexpr std::int32_t kModeV22 = 6;
constexpr std::int32_t kModeV22bis = 7;
constexpr std::int32_t kRateV22 = 3;
constexpr std::int32_t kRateV22bis = 4;
constexpr ULONG kAnalogLoop = 2;  // AFE request 13
constexpr int kV32Answer = 2;
constexpr int kV32Words = 0x8990;  // V.32bis words: the answerer offers every rate

// V.22bis when asked for with its rate code; anything else is V.22.
bool ChooseV22bis(DspContext& context) {
  if (context.call.mode == kModeV22bis && context.call.max_rate_code == kRateV22bis) return true;
  context.call.mode = kModeV22;
  context.call.max_rate_code = kRateV22;
  return false;
}

// Both records fresh, the transmit level's gain, the context's machines on
// the supervisor states.
void Prepare(DspContext& context, std::int16_t tx_increment, std::int16_t rx_increment,
             std::int32_t rx_row) {
  V22Work& v22 = context.v22;
  const int level = context.transmit_level < 0 ? context.transmit_level : -10;
  v22.tx = {};
  v22.tx.carrier_increment = tx_increment;
  v22.tx.output_gain = AfeGain(*context.afe, level);
  v22.rx = {};
  v22.rx.oscillator_increment = rx_increment;
  v22.rx.bits_per_symbol = 2;
  v22.direct = 0;
  context.dc_removal = {};
  SetStateMachine(context.tx, StateOp::kGo, V22TxSeqTable());
  SetStateMachine(context.rx, StateOp::kGo, V22RxSeqTable());
  SetStateMachine(v22.rx_machine, StateOp::kGo, V22RxTable(), rx_row);
}

}  // namespace

void V22bConfig(DspContext& context) {
  const std::int32_t mode = context.call.mode;
  if (mode != 1 && mode != kModeV22 && mode != kModeV22bis) {
    context.call.mode = kModeV22bis;
    context.call.max_rate_code = kRateV22bis;
  }
  const bool bis = ChooseV22bis(context);
  const bool originate = context.call.direction == 1;
  Prepare(context, originate ? k1200Hz : k2400Hz, originate ? k2400Hz : k1200Hz,
          originate && !bis ? kV22RxV22 : kV22RxBis);
  if (originate) {
    SetStateMachine(context.v22.tx_machine, StateOp::kGo, V22CallerTable(), bis ? kV22CallBis : kV22Call);
  } else {
    SetStateMachine(context.v22.tx_machine, StateOp::kGo, V22AnswerTable(), bis ? kV22AnswerBis : kV22Answer);
  }
}

void StartV22Loopback(DspContext& context) {
  AfeAccess& afe = *context.afe;
  ULONG loop = kAnalogLoop;
  ULONG size = sizeof loop;
  IssueAfeRequest(afe, afe::kAfeTestMode, &loop, &size);
  SetAfeRate(afe, 96, 9600);
  const bool bis = ChooseV22bis(context);
  const std::int16_t carrier = context.call.direction == 1 ? k1200Hz : k2400Hz;
  Prepare(context, carrier, carrier, kV22RxBis);
  context.v22.direct = 1;
  SetStateMachine(context.v22.tx_machine, StateOp::kGo, bis ? V22DirectBisTable() : V22DirectTable());
}

// The fallbacks send nothing in their own block.
void V22bGotoBell103(DspContext& context) {
  std::ranges::fill(context.output_block, 0);
  StartFsk(context, kFskBell103Originate);
}

void V22bGotoV32(DspContext& context) {
  std::ranges::fill(context.output_block, 0);
  context.call.mode = kModeV22;
  context.call.max_rate_code = kRateV22;
  StartV32(context, kV32Answer, kV32Words);
}

}  // namespace pump
