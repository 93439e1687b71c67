#include "pump/callprogress/tone_tx.h"

#include "pump/afe_access/afe_access.h"
#include "pump/core/dp_status.h"
#include "pump/core/sine_oscillator.h"

namespace pump {
namespace {

constexpr std::uint32_t kHalfTurn = 0x8000;

void ToneTx(DspContext& context) {
  ToneGenerator& tone = context.tone;
  for (std::int16_t& sample : context.output_block) {
    tone.phase += static_cast<std::uint32_t>(tone.increment);
    const std::int32_t s = SineOscillator(static_cast<std::uint16_t>(tone.phase)).sin;
    sample = static_cast<std::int16_t>(s * tone.gain >> 15);
  }
}

void ToneTxInit(DspContext& context) {
  context.tone.phase = 0;
  ToneTx(context);
}

void ToneMute(DspContext& context) {
  context.tone.gain = 0;
  ToneTx(context);
  context.tone.gain = kToneRestartGain;
}

// The tone continues half a turn on: a phase reversal at the block's first
// sample.
void PhaseReversal(DspContext& context) {
  context.tone.phase += kHalfTurn;
  ToneTx(context);
}

// The tone goes on from the sequence's second entry, without ToneTxInit.
void ToneRestart(DspContext& context) {
  ToneTx(context);
  SetStateMachine(context.tx, StateOp::kRestartAt, {}, 1);
}

void AnsToneEnd(DspContext& context) {
  if (context.call.fax_call != 0) {
    SetDpStatus(*context.host, kStatusFaxCarrier, false);
    WriteDspReg(*context.host, kRegDpInterrupt, 1);
  }
  ToneMute(context);
}

using Entry = StateEntry<DspContext>;
constexpr Entry kFaxCalling[] = {{ToneTxInit, 1, "ToneTxInit"},
                                 {ToneTx, 50, "ToneTx"},
                                 {ToneMute, 300, "ToneMute"},
                                 {ToneRestart, 1, "ToneRestart"}};
constexpr Entry kCalling[] = {{ToneTxInit, 1, "ToneTxInit"},
                              {ToneTx, 60, "ToneTx"},
                              {ToneMute, 170, "ToneMute"},
                              {ToneRestart, 1, "ToneRestart"}};
constexpr Entry k1500[] = {{ToneTxInit, 1, "ToneTxInit"},
                           {ToneTx, 200, "ToneTx"},
                           {ToneMute, 200, "ToneMute"},
                           {ToneRestart, 1, "ToneRestart"}};
constexpr Entry kAnswer[] = {{ToneTxInit, 1, "ToneTxInit"},
                             {ToneTx, 340, "ToneTx"},
                             {AnsToneEnd, 1, "ANSToneEnd"},
                             {ToneMute, -1, "ToneMute"}};
constexpr Entry kAnswerReversing[] = {{ToneTxInit, 1, "ToneTxInit"},
                                      {ToneTx, 43, "ToneTx"},
                                      {PhaseReversal, 1, "PhaseReversal"},
                                      {ToneRestart, 1, "ToneRestart"}};
constexpr Entry k980[] = {{ToneTxInit, 1, "ToneTxInit"}, {ToneTx, -1, "ToneTx"}};
constexpr Entry kSilence[] = {{ToneMute, -1, "ToneMute"}};

struct ToneKind {
  StateTable<DspContext> sequence;
  std::int32_t increment;  // f x 65536 / 9600
};

ToneKind KindOf(int type) {
  switch (type) {
    case kToneFaxCalling:
      return {kFaxCalling, 7509};
    case kToneCalling:
      return {kCalling, 8874};
    case kTone1500:
      return {k1500, 10240};
    case kToneAnswer:
      return {kAnswer, 0x3800};
    case kToneAnswerReversing:
    case kToneAnswerReversing2:
      return {kAnswerReversing, 0x3800};
    case kTone980:
      return {k980, 6690};
    default:
      return {kSilence, 0};
  }
}

}  // namespace

void StartToneTx(DspContext& context, int type) {
  ToneGenerator& tone = context.tone;
  tone.gain = AfeGain(*context.afe, context.transmit_level);
  const ToneKind kind = KindOf(type);
  if (kind.sequence.data() != kSilence) tone.increment = kind.increment;
  tone.table = kind.sequence.data();
  SetStateMachine(context.tx, StateOp::kGo, kind.sequence);
}

}  // namespace pump
