// The V.8 caller: V8CallTable's states, from the wait for ANSam to the
// negotiated modem's start.
#include "pump/callprogress/filter_bank.h"
#include "pump/core/time_us.h"
#include "pump/detect/agc.h"
#include "pump/detect/tone_classifier.h"
#include "pump/fsk/fsk_rts.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/handshake/front_end.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/v22/v22_start.h"
#include "pump/v8/ansam.h"
#include "pump/v8/v8.h"
#include "pump/v8/v8_steps.h"

namespace pump {
namespace {

// Detector limits in samples at 9600 Hz.
constexpr int kAnswerToneLimit = 500;
constexpr int kPlainAnswerToneLimit = 13900;
constexpr int kBellToneLimit = 9600;
constexpr std::int64_t kUsPer10Ms = 10'000;

bool Fired(std::int32_t ratio) { return ratio != 0; }

bool EndsAtOnce(std::int32_t mode) {
  return mode == kModeV34 || mode == kModeV34Option || mode == kModeV90 || mode == kModeV92;
}

// V8Call0: waits for ANSam; a plain answer tone or 2225 Hz ends V.8.
void V8Call0(DspContext& context) {
  V8Area& v = context.v8;
  AnsamRecord& r = v.ansam;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  AnsamHighPass(r, block.levelled);
  if (context.call.v8bis != 0) RunToneClassifier(context, block.samples);
  if (r.watch != 0) RunAnsamDetector(r);

  if (r.run_count > 0) {
    if (v.ansam_time == 0) v.ansam_time = -static_cast<std::int64_t>(GetTimeUs()) / kUsPer10Ms;
    context.call.ansam_run_count = r.run_count;
    if (v8::SignalLost(context)) return;
    SetStateMachine(context.rx, StateOp::kEndStep);
    return;
  }
  RunToneFilterBankIdle(context, block.samples);
  if (r.watch == 0) {
    if (Fired(RunNotchDetector(v.answer_tone, block.levelled, kAnswerToneLimit))) {
      r.watch = 1;
      FreezeAgc(context.detectors.agc);
      InitNotchDetector(v.answer_tone, notch::k2100, 5, 2);
      v8::Report(context, kV8EventAnswerToneHeard);
    }
  } else if (Fired(RunNotchDetector(v.answer_tone, block.levelled, kPlainAnswerToneLimit))) {
    if (v8::SignalLost(context)) return;
    v8::Report(context, kV8EventFallback);
    AutomodeStartV32(context);
    v8::EndIfStillOnV8(context);
    return;
  }
  if (Fired(RunNotchDetector(v.bell_tone, block.levelled, kBellToneLimit))) {
    if (v8::SignalLost(context)) return;
    v8::Report(context, kV8EventFallback);
    V22bConfig(context);
    v8::EndIfStillOnV8(context);
  } else if (context.call.v8bis != 0) {
    FskRx(context);
  }
}

// V8PreCM: 70 ticks after ANSam, CM starts.
void V8PreCm(DspContext& context) {
  V8Area& v = context.v8;
  if (--v.cm_countdown > 0) return;
  RaiseRts(context);
  v8::Report(context, kV8EventCmStarts);
  context.dc_removal = {};
  FreezeFskGain(context, context.detectors.agc.mantissa, context.detectors.agc.exponent);
  v.continuation = 0;
  SetStateMachine(context.rx, StateOp::kEndStep);
}

// V8Call1: JM comes in until the controller continues.
void V8Call1(DspContext& context) {
  FskRx(context);
  if (context.v8.continuation != 0) {
    SetStateMachine(context.rx, StateOp::kEndStep);
    context.fsk.agc.freeze = 0;
  }
}

// V8Call2: until the controller's last octets (CJ) are out.
void V8Call2(DspContext& context) {
  if (context.fsk.tx.no_data != 1) return;
  SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  SetStateMachine(context.rx, StateOp::kEndStep);
  AdjustV8Gain(context);
}

// V8Call3: 4 ticks before the modem starts; at once in modes 17, 18, 23 and 24.
void V8Call3(DspContext& context) {
  if (EndsAtOnce(context.call.mode)) SetStateMachine(context.rx, StateOp::kEndStep);
}

void V8Call4(DspContext& context) { v8::StartNegotiatedModem(context); }

using Entry = StateEntry<DspContext>;
constexpr Entry kCall[] = {{V8Call0, -1, "V8Call0"}, {V8PreCm, -1, "V8PreCM"},
                           {V8Call1, -1, "V8Call1"}, {V8Call2, -1, "V8Call2"},
                           {V8Call3, 4, "V8Call3"},  {V8Call4, 1, "V8Call4"},
                           {V8Call3, -1, "V8Call3"}};

}  // namespace

StateTable<DspContext> V8CallTable() { return kCall; }

}  // namespace pump
