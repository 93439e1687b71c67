// The V.8 answerer: V8AnswerTable's states, from ANSam to the negotiated
// modem's start, or to V.32 or the V.22bis automode when no CM comes.
#include "pump/detect/notch_detector.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/framer/framer.h"
#include "pump/handshake/front_end.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/v32/v32_mode.h"
#include "pump/v8/v8.h"
#include "pump/v8/v8_steps.h"

namespace pump {
namespace {

constexpr int kAaLimit = 960;     // samples: 100 ms
constexpr int kTone520Limit = 960;
// Blocks of falling FSK gain after which the answerer takes CJ as sent.
constexpr std::int16_t kGainFallBlocks = 191;
constexpr std::int16_t kCjZeros = 2;
constexpr std::int32_t kV8Ans2Entry = 2;

bool Fired(std::int32_t ratio) { return ratio != 0; }

// V8Ans0: ANSam goes out while CM (through the FSK receiver), AA or
// 520 Hz may come.
void V8Ans0(DspContext& context) {
  V8Area& v = context.v8;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndRejectionAndAgc);
  if (Fired(RunNotchDetector(v.aa, block.levelled, kAaLimit))) {
    v.aa_heard = 1;
    if (v8::SignalLost(context)) return;
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kV8Ans2Entry);
    return;
  }
  if (Fired(RunNotchDetector(v.tone520, block.levelled, kTone520Limit))) {
    if (v8::SignalLost(context)) return;
    StartFsk(context, kFskV23SendForward);
    return;
  }
  FskRx(context);
  if ((context.call.options & kV8OptionHoldAnswer) != 0) {
    SetStateMachine(context.rx, StateOp::kSetCount, {}, 2);
  }
}

// V8Ans1: 5 ticks of silence after ANSam.
void V8Ans1(DspContext& context) { AnswerSilence(context); }

// V8Ans2: V.32 after AA, else the V.22bis automode answerer.
void V8Ans2(DspContext& context) {
  if (context.v8.aa_heard != 0) {
    StartV32(context, kV32Answer, V32RateSequence(context.call.mode));
    if (v8::SignalLost(context)) return;
  } else {
    AutomodeV22bisAnswer(context);
  }
  v8::EndIfStillOnV8(context);
}

// V8Ans3: JM goes out; CJ (two of its zero octets) or a long fall of the
// FSK gain ends the exchange.
void V8Ans3(DspContext& context) {
  V8Area& v = context.v8;
  FskRx(context);
  const FskAgc& g = context.fsk.agc;
  if (g.exponent < g.saved_exponent && g.mantissa < g.saved_mantissa) {
    if (v.gain_count++ >= kGainFallBlocks) {
      SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
      SetStateMachine(context.rx, StateOp::kEndStep);
    }
  }
  if (RxQueueSingleZero(context) && ++v.cj_count >= kCjZeros) {
    SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
    SetStateMachine(context.rx, StateOp::kEndStep);
  }
}

void V8Wait3Cj(DspContext& context) { FskRx(context); }

void V8Ans4(DspContext& context) {
  FskAgc& g = context.fsk.agc;
  g.exponent = g.saved_exponent;
  g.mantissa = g.saved_mantissa;
}

void V8Ans5(DspContext& context) { v8::StartNegotiatedModem(context); }

using Entry = StateEntry<DspContext>;
constexpr Entry kAnswer[] = {{V8Ans0, 500, "V8Ans0"},   {V8Ans1, 5, "V8Ans1"},
                             {V8Ans2, 1, "V8Ans2"},     {V8Ans3, -1, "V8Ans3"},
                             {V8Wait3Cj, 3, "V8Wait3CJ"}, {V8Ans4, 1, "V8Ans4"},
                             {V8Ans5, 1, "V8Ans5"}};

}  // namespace

StateTable<DspContext> V8AnswerTable() { return kAnswer; }

}  // namespace pump
