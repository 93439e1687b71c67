// The commands of a call: 0x68 (connect), 0x6E (direct start), 0x69
// (retrain), 0x6B (rate renegotiation) and 0x85 (rate limit).
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/commands/connect_parameters.h"
#include "pump/core/dp_status.h"
#include "pump/idle/default_block.h"
#include "pump/idle/idle_mode.h"
#include "pump/callprogress/tone_tx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/fax/fax_tone_watch.h"
#include "pump/handshake/handshake.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v8/v8.h"
#include "pump/v22/v22_start.h"
#include "pump/v32/v32_mode.h"

namespace pump {
namespace {

// Tone types of the tone generator.
constexpr int kFaxCallingTone = 1;
constexpr int kPlainAnswerTone = 4;
// Restart causes of phase 2.
constexpr int kCauseV34Retrain = 7;
constexpr int kCausePcmRetrain = 8;
constexpr int kCausePcmFallback = 9;
// V.34 control states.
constexpr std::int32_t kControlRenegotiate = 1;
constexpr std::int32_t kControlRenegotiateDown = 6;
constexpr std::int32_t kControlBusy = 5;
constexpr int kFskDirectStart = 15;
constexpr int kV32LoopbackRole = 0;

void StartCall(DspContext& context) {
  if (context.call.fax_call == 0) {
    StartHandshake(context);
    SetDpStatus(*context.host, kStatusHandshake, false);
    return;
  }
  context.mode_block = DefaultBlock;
  if (context.call.direction == 1) {
    StartToneTx(context, kFaxCallingTone);
    WatchFaxAnswer(context);
  } else {
    StartToneTx(context, kPlainAnswerTone);
    SetStateMachine(context.rx, StateOp::kGo, kRxIdleTable);
  }
  SetDpStatus(*context.host, kStatusFaxCall, false);
}

}  // namespace

void ConnectCommand(DspContext& context) {
  ApplyConnectOptions(context);
  if (context.voice_active != 0) ReturnToIdle(context);
  ParseConnectParameters(context);
  context.caller_id_hook = 0;
  context.v90_call = 0;

  const bool v8_continues = context.call.v8_continuation != 0;
  if (context.direct_phase2 == 0) {
    if (!v8_continues) {
      StartCall(context);
    } else if (context.call.direction == 0) {
      ContinueV8Answer(context);
    } else {
      ContinueV8Originate(context);
    }
  } else if (v8_continues) {
    SetPhase2Option(context, 2, (context.call.options >> 2) & 1);
    SetPhase2Option(context, 3, 30);
    StartPhase2(context);
  }
  AckPacket(context);
}

void DirectStartCommand(DspContext& context) {
  ApplyConnectOptions(context);
  ParseConnectParameters(context);
  switch (context.call.mode) {
    case kModeV21:
    case kModeFaxV21:
      StartFsk(context, kFskDirectStart);
      break;
    case kModeV22:
    case kModeV22bis:
      StartV22Loopback(context);
      break;
    case kModeV32:
      StartV32(context, kV32LoopbackRole, 0x8880);
      break;
    case kModeV32bis:
      StartV32(context, kV32LoopbackRole, 0x8990);
      break;
    case kModeV34:
    case kModeV34Option:
      RestartV34(context);
      break;
    case kModeV92:
      RestartV92(context);
      break;
    default:
      break;
  }
  AckPacket(context);
}

void RetrainCommand(DspContext& context) {
  switch (context.call.mode) {
    case kModeV32:
    case kModeV32bis:
      RetrainV32(context);
      break;
    case kModeV34:
    case kModeV34Option:
      if (context.receive.phase3_restart != 0) {
        RestartV34(context);
      } else {
        RestartPhase2(context, kCauseV34Retrain);
      }
      break;
    case kModeV90:
    case kModeV92:
      SetPhase2Option(context, 2, 0);
      RestartPhase2(context, context.v90_call != 0 ? kCausePcmFallback : kCausePcmRetrain);
      break;
    default:  // not connected: nothing to retrain
      AckPacket(context);
      return;
  }
  if ((PayloadByte(context, 0) & 1) != 0) context.retrain = 1;
  SetDpStatus(*context.host, kStatusRetraining, false);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
  AckPacket(context);
}

void RenegotiateCommand(DspContext& context) {
  const int rate_code = PayloadByte(context, 0) & 0x3F;
  if (context.call.mode == kModeV32bis) {
    context.call.max_rate_code = rate_code;
    ChangeV32bisRate(context);
  } else if (HasV34Rates(context)) {
    context.call.max_rate_code = rate_code;
    SetV34RateLimit(context, rate_code);
    if (context.receive.control_state != kControlBusy) {
      context.receive.control_state =
          (PayloadByte(context, 1) & 1) != 0 ? kControlRenegotiateDown : kControlRenegotiate;
    }
  } else if (context.call.mode == kModeV90) {
    context.call.max_rate_code = rate_code;
    context.receive.rate_renegotiation = 1;
  }
  // Answered by its own echo.
}

void RateLimitCommand(DspContext& context) {
  if (HasV34Rates(context)) SetV34RateLimit(context, PayloadByte(context, 0));
  // Answered by its own echo.
}

}  // namespace pump
