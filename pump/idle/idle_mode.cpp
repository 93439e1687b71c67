#include "pump/idle/idle_mode.h"

#include <algorithm>
#include <iterator>

#include "pump/afe_access/afe_requests.h"
#include "pump/core/dp_status.h"
#include "pump/idle/default_block.h"
#include "pump/pending/pending_procedures.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

constexpr std::int64_t kSignalLossLimit = 1'700'000;

}  // namespace

void TxIdle(DspContext& context) {
  std::fill(std::begin(context.output_block), std::end(context.output_block), std::int16_t{0});
}

void RxIdle(DspContext& context) {
  std::fill(std::begin(context.input_block), std::end(context.input_block), std::int16_t{0});
}

void SetIdleMode(DspContext& context) {
  if (context.voice_active != 0) StopVoice(context);
  SetAfeRate(*context.afe, kBlockSamples, 9600);
  context.mode_block = DefaultBlock;
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);
}

void ReturnToIdle(DspContext& context) {
  SetIdleMode(context);
  SetDpStatus(*context.host, kStatusIdle, false);
  SetDpStatus(*context.host, kStatusCarrier, false);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

bool CheckSignalLoss(DspContext& context, std::int32_t mantissa, std::int32_t exponent) {
  const int shift = std::clamp(exponent, 0, 32);
  if (std::int64_t{mantissa} * (std::int64_t{1} << shift) <= kSignalLossLimit) return false;
  ReturnToIdle(context);
  return true;
}

}  // namespace pump
