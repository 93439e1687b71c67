#include "pump/callprogress/dialling.h"

#include <algorithm>
#include <iterator>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/commands/answers.h"
#include "pump/core/sine_oscillator.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/saturate.h"
#include "pump/idle/idle_mode.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

void DialTxInit(DspContext& context);
void DialTxOn(DspContext& context);
void DialTxOff(DspContext& context);
void DialTxIdle(DspContext& context);

// The transmit machine's one entry: a tick of the dial machine.
void DialTx(DspContext& context) { RunStateMachine(context, context.dial.machine); }
constexpr StateEntry<DspContext> kDialTxEntries[] = {{DialTx, -1, "dialTx"}};
constexpr StateTable<DspContext> kDialTxTable = kDialTxEntries;

constexpr int kHigh = 0;
constexpr int kLow = 1;

// The dial table's steps are of the 9600 Hz line; voice runs its line at
// 8000 Hz, where the same tone takes steps 1229 / 1024 times as long.
constexpr std::uint32_t kVoiceStepScale = 1229;
std::uint32_t VoiceStep(std::uint32_t step) { return step * kVoiceStepScale >> 10; }

void SetDialCounts(DialArea& dial, std::int32_t on, std::int32_t off, std::int32_t idle) {
  dial.table[kDialTxInit] = {DialTxInit, 1, "dialTxInit"};
  dial.table[kDialTxOn] = {DialTxOn, on, "dialTxOn"};
  dial.table[kDialTxOff] = {DialTxOff, off, "dialTxOff"};
  dial.table[kDialTxIdle] = {DialTxIdle, idle, "dialTxIdle"};
}

StateTable<DspContext> DialTable(DialArea& dial) { return dial.table; }

// The dial machine from dialTxInit, run by the transmit machine; while voice
// runs, by the voice transmit machine, its tones going into the voice line
// block in place of the application's samples.
void StartDialMachine(DspContext& context) {
  SetStateMachine(context.dial.machine, StateOp::kGo, DialTable(context.dial), kDialTxInit);
  context.voice.dialler_sends = context.voice_active != 0 ? 1 : 0;
  SetStateMachine(context.voice_active != 0 ? context.voice.tx : context.tx, StateOp::kGo,
                  kDialTxTable);
}

// The block the dial machine fills this tick.
std::span<std::int16_t> DialBlock(DspContext& context) {
  if (context.voice.dialler_sends != 0) {
    return std::span(context.voice.line_out, context.voice.line_count);
  }
  return context.output_block;
}

bool FirstTick(const DspContext& context, DialState state) {
  return context.dial.machine.remaining_count == context.dial.table[state].count;
}

// The end of a sequence: held packets go, and the transmit machine idles;
// in voice this block goes out silent, the DTMF receiver forgets what it
// heard of the digits, and the voice machines watch the line (idle).
void EndDialSequence(DspContext& context) {
  context.dial.tone_running = 0;
  context.dial.continuous = 0;
  if (context.voice_active != 0) {
    VoiceArea& voice = context.voice;
    const std::span silence(voice.line_out, voice.line_count);
    std::fill(silence.begin(), silence.end(), std::int16_t{0});
    WriteTxSamples(*context.afe, silence);
    ResetDtmfDetector(voice.dtmf);
    SelectVoiceSequences(context, kVoiceIdle);
  }
  if (context.voice.dialler_sends == 0) SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  context.voice.dialler_sends = 0;
  context.dialling = 0;
}

void DialTxInit(DspContext& context) {
  DialArea& dial = context.dial;
  dial.phase[kHigh] = 0;
  dial.phase[kLow] = 0;
  if (dial.continuous == 0) context.dialling = 1;
  dial.tone_running = 1;
}

void DialTxOn(DspContext& context) {
  DialArea& dial = context.dial;
  if (dial.pulse != 0 && dial.continuous == 0) {
    if (FirstTick(context, kDialTxOn)) AfePulseBreak(*context.afe);
    return;
  }
  for (std::int16_t& sample : DialBlock(context)) {
    dial.phase[kHigh] += dial.increment[kHigh];
    dial.phase[kLow] += dial.increment[kLow];
    const std::int32_t high = SineOscillator(static_cast<std::uint16_t>(dial.phase[kHigh])).sin;
    const std::int32_t low = SineOscillator(static_cast<std::uint16_t>(dial.phase[kLow])).sin;
    sample = Saturate16((dial.high_gain * high >> 15) + (dial.low_gain * low >> 15));
  }
}

void DialTxOff(DspContext& context) {
  DialArea& dial = context.dial;
  if (dial.pulse == 0 || dial.continuous != 0) return;  // silence
  if (FirstTick(context, kDialTxOff)) {
    AfePulseMake(*context.afe);
    --dial.digit;
  }
  if (dial.machine.remaining_count == 1 && dial.digit > 0) {
    SetStateMachine(dial.machine, StateOp::kRestartAt, {}, kDialTxOn);
  }
}

void DialTxIdle(DspContext& context) {
  context.dial.tone_running = 0;
  if (context.dial.machine.remaining_count == 1) EndDialSequence(context);
}

}  // namespace

void InitDialling(DspContext& context) {
  SetDialCounts(context.dial, kDialCountAtStart, kDialCountAtStart, kDialCountAtStart);
}

void StartTonePair(DspContext& context, std::int32_t f1, std::int32_t f2) {
  DialArea& dial = context.dial;
  SetDialCounts(dial, -1, 1, 1);
  dial.increment[kHigh] = static_cast<std::uint32_t>(f1);
  dial.increment[kLow] = static_cast<std::uint32_t>(f2);
  dial.continuous = 1;
  StartDialMachine(context);
}

void StopTonePair(DspContext& context) { EndDialSequence(context); }

void DialParametersCommand(DspContext& context) {
  DialArea& dial = context.dial;
  dial.on_ms = PayloadByte(context, 0);
  dial.off_ms = PayloadByte(context, 1);
  dial.pulse = PayloadByte(context, 2) != 0 ? 1 : 0;
  dial.inter_digit_ms = PayloadWord(context, 4);
  SetDialCounts(dial, DialTicks(dial.on_ms), DialTicks(dial.off_ms),
                DialTicks(dial.inter_digit_ms));
  AckPacket(context);
}

void DialDigitCommand(DspContext& context) {
  DialArea& dial = context.dial;
  const int digit = PayloadByte(context, 0) & 15;
  if (dial.pulse != 0) {
    dial.digit = static_cast<std::int16_t>(digit == 0 ? 10 : digit);
  } else {
    dial.digit = static_cast<std::int16_t>(digit);
    dial.increment[kHigh] = DialIncrement(kDtmfFrequencies[digit].high);
    dial.increment[kLow] = DialIncrement(kDtmfFrequencies[digit].low);
    if (context.voice_active != 0) {
      dial.increment[kHigh] = VoiceStep(dial.increment[kHigh]);
      dial.increment[kLow] = VoiceStep(dial.increment[kLow]);
    }
  }
  if (context.voice_active != 0) {
    // In voice a digit leaves play and record for the idle sequences, and
    // the application's samples stay off the line while the voice DTMF
    // receiver listens.
    SelectVoiceSequences(context, kVoiceIdle);
    SetVoiceStreams(context, context.voice.streams.line_to_app != 0, false);
  }
  // A tone pair's counts (on for ever) do not carry over into a digit.
  if (dial.table[kDialTxOn].count < 0) {
    SetDialCounts(dial, DialTicks(dial.on_ms), DialTicks(dial.off_ms),
                  DialTicks(dial.inter_digit_ms));
  }
  dial.continuous = 0;
  StartDialMachine(context);
  AckPacket(context);
}

void DtmfLevelsCommand(DspContext& context) {
  AfeAccess& afe = *context.afe;
  context.dial.low_gain = AfeGain(afe, -(PayloadByte(context, 0) + 5) / 10);
  context.dial.high_gain = AfeGain(afe, -(PayloadByte(context, 1) + 5) / 10);
  AckPacket(context);
}

}  // namespace pump
