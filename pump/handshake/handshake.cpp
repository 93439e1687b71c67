#include "pump/handshake/handshake.h"

#include "pump/context/mode_numbers.h"
#include "pump/core/comram.h"
#include "pump/fsk/fsk_start.h"
#include "pump/handshake/automode.h"
#include "pump/handshake/mode_selection.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v8/v8.h"
#include "pump/v22/v22_start.h"
#include "pump/v32/v32_mode.h"

namespace pump {
namespace {

constexpr std::uint8_t kEventAnswerTone = 6;
constexpr std::int32_t kV22bisRateCode = 4;

// Modes 0 and 1 to 7 run the tone-based mode selection whatever selector
// they came with; a V.8 continuation does too.
bool TakesModeSelection(const CallParameters& call) {
  if (call.v8_continuation != 0) return true;
  if (call.mode == kModeBell103) return call.handshake_selector == kSelectorAutomode;
  return call.mode >= kModeB212 && call.mode <= kModeV22bis &&
         call.handshake_selector > kSelectorModeSelection;
}

// FSK start types by mode, originating and answering; -1: not an FSK mode.
struct FskPair {
  int originate;
  int answer;
};

FskPair FskTypes(std::int32_t mode) {
  switch (mode) {
    case kModeBell103:
      return {kFskBell103Originate, kFskBell103Answer};
    case kModeV21:
      return {kFskV21Data, kFskV21Data};
    case kModeV23:
      return {kFskV23SendBackward, kFskV23SendForward};
    case kModeV23OneWay:
      return {kFskV23ReceiveOnly, kFskV23TransmitOnly};
    default:
      return {-1, -1};
  }
}

}  // namespace

void StartHandshake(DspContext& context) {
  CallParameters& call = context.call;
  context.handshake.started = 1;
  if (call.v8bis != 0 && call.handshake_selector == kSelectorModeSelection) {
    StartV8bis(context);
    return;
  }
  if (TakesModeSelection(call)) call.handshake_selector = kSelectorModeSelection;
  switch (call.handshake_selector) {
    case kSelectorModeSelection:
      if (call.mode == kModeBell103 && call.direction == 0) {
        StartModeModem(context);  // Bell 103 answers with its own carrier
      } else {
        StartModeSelection(context);
      }
      break;
    case kSelectorAutomode:
      StartAutomode(context);
      break;
    default:
      StartV8(context);
      break;
  }
}

void StartModeModem(DspContext& context) {
  const std::int32_t mode = context.call.mode;
  const bool originating = context.call.direction == 1;
  switch (mode) {
    case kModeB212:
    case kModeV22:
    case kModeV22bis:
      V22bConfig(context);
      return;
    case kModeV32:
    case kModeV32bis:
      StartV32(context, originating ? kV32Originate : kV32Answer, V32RateSequence(mode));
      return;
    default:
      break;
  }
  const FskPair types = FskTypes(mode);
  const int type = originating ? types.originate : types.answer;
  if (type >= 0) StartFsk(context, type);
}

void AutomodeStartV32(DspContext& context) {
  StartV32(context, kV32Originate, V32RateSequence(context.call.mode));
  context.handshake.answer_tone_count = 0;
}

void AutomodeV22bisAnswer(DspContext& context) {
  context.call.handshake_selector = kSelectorAutomode;
  context.call.mode = kModeV22bis;
  context.call.max_rate_code = kV22bisRateCode;
  V22bConfig(context);
}

void AnswerSilence(DspContext& context) { SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable); }

void AnswerToneHeard(DspContext& context) {
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  SetDspReg(*context.host, kRegEventType, kEventAnswerTone);
}

}  // namespace pump
