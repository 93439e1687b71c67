#include "pump/handshake/automode.h"

#include "pump/callprogress/filter_bank.h"
#include "pump/callprogress/tone_tx.h"
#include "pump/detect/coefficients.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fsk/fsk_start.h"
#include "pump/handshake/front_end.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v22/v22_start.h"
#include "pump/v32/v32_mode.h"

namespace pump {
namespace {

// Blocks a band must stay above its threshold.
constexpr int kToneBlocks = 10;
constexpr int kUsb1Blocks = 16;
constexpr int kPresent = 1;
// Ones in a row that show an FSK caller to the answerer.
constexpr std::int32_t kFskCallerOnes = 10;
constexpr std::int32_t kSilenceTicks = 7;
constexpr std::int32_t kFskWatchTicks = 200;

// The 1300 Hz rejection takes the calling tone out of what the caller
// hears, and with it a V.23 answerer's mark, which is the same 1300 Hz. So
// it runs only while the calling tone may sound: once the tone has stopped
// (an answer tone was heard) or was never sent, the caller hears 1300 Hz.
bool CallingToneOn(const DspContext& context) {
  return context.tx.table.data() != kTxIdleTable.data();
}

// Pn2330Call0.
void CallListen(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(
      context, CallingToneOn(context) ? kFrontEndRejectionAndAgc : kFrontEndAgc);
  RunToneFilterBankIdle(context, block.samples);
  // Every band follows every block; the first that holds acts.
  const bool answer_tone = RunEnergyDetector(block.levelled, h.energy2100, kToneBlocks);
  const bool v23 = RunEnergyDetector(block.levelled, h.energy1300, kToneBlocks);
  const bool v21 = RunEnergyDetector(block.levelled, h.energy1650, kToneBlocks);
  const bool low_ac = RunEnergyDetector(block.levelled, h.energy600, kToneBlocks);
  const bool high_ac = RunEnergyDetector(block.levelled, h.energy3000, kToneBlocks);
  const bool usb1 = RunEnergyDetector(block.levelled, h.energy2250, kUsb1Blocks);
  if (answer_tone) {
    AnswerToneHeard(context);
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330Call2);
  }
  if (v23) {
    StartFsk(context, kFskV23SendBackward);
  } else if (v21) {
    StartFsk(context, kFskV21Data);
  } else if (low_ac || high_ac) {
    AutomodeStartV32(context);
  } else if (usb1) {
    SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
    h.usb1_countdown = kUsb1Countdown;
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330Call1);
  }
}

// Pn2330Call1: USB1 that lasts is a V.22bis answerer; 600 Hz meanwhile is
// a V.32 answerer's AC.
void CallUsb1(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  const bool usb1 = RunEnergyDetector(block.levelled, h.energy2250, kPresent);
  const bool low_ac = RunEnergyDetector(block.levelled, h.energy600, kPresent);
  if (usb1) {
    if (--h.usb1_countdown <= 0) V22bConfig(context);
  } else if (low_ac) {
    AutomodeStartV32(context);
  }
}

// Pn2330Call2: an answer tone that lasts is a V.32 answerer's; one that
// stops sends the caller back to listening.
void CallAnswerTone(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  if (!RunEnergyDetector(block.levelled, h.energy2100, kPresent)) {
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330Call0);
    return;
  }
  if (h.answer_tone_count++ > kAutomodeAnswerToneBlocks) {
    h.answer_tone_count = 0;
    AutomodeStartV32(context);
  }
}

// Pn2330AnsV25s0: AA during the answer tone leads to V.32.
void AnswerTone(DspContext& context) {
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndRejectionAndAgc);
  if (RunEnergyDetector(block.levelled, context.handshake.energy1800, kToneBlocks)) {
    SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330AnsAaSilence);
  }
}

void AnswerV32(DspContext& context) {
  StartV32(context, kV32Answer, V32RateSequence(context.call.mode));
}

// Pn2330AnsFsk: an FSK caller's marks hand the line to the FSK receiver.
void AnswerFsk(DspContext& context) {
  FskRx(context);
  if (context.fsk.rx.consecutive_ones > kFskCallerOnes) {
    SetStateMachine(context.rx, StateOp::kGo, FskRxTable());
  }
}

void AnswerV23(DspContext& context);

using Entry = StateEntry<DspContext>;
constexpr Entry kCall[] = {{CallListen, -1, "Pn2330Call0"},
                           {CallUsb1, -1, "Pn2330Call1"},
                           {CallAnswerTone, -1, "Pn2330Call2"}};
constexpr Entry kAnswer[] = {{AnswerTone, kAnswerToneTicks, "Pn2330AnsV25s0"},
                             {AnswerSilence, kSilenceTicks, "Pn2330AnsV25s1"},
                             {V22bConfig, 1, "V22bConfig"},
                             {AnswerSilence, kSilenceTicks, "Pn2330AnsV25s1"},
                             {AnswerV32, 1, "Pn2330AnsV32"},
                             {AnswerFsk, kFskWatchTicks, "Pn2330AnsFsk"},
                             {AnswerV23, 1, "Pn2330AnsV23"},
                             {AnswerFsk, -1, "Pn2330AnsFsk"}};

// Pn2330AnsV23: no V.21 caller showed itself; V.23 answers and the watch
// goes on without a limit.
void AnswerV23(DspContext& context) {
  StartFsk(context, kFskV23SendForward);
  SetStateMachine(context.rx, StateOp::kGo, kAnswer);
  SetStateMachine(context.rx, StateOp::kRestartAt, {}, kPn2330AnsFskOn);
}

}  // namespace

StateTable<DspContext> Pn2330CallTable() { return kCall; }
StateTable<DspContext> Pn2330AnswerTable() { return kAnswer; }

void StartAutomode(DspContext& context) {
  HandshakeArea& h = context.handshake;
  InitHandshakeFrontEnd(context);
  if (context.call.direction == 0) {
    InitEnergyDetector(h.energy1800, energy::k1800);
    StartToneTx(context, kToneAnswerReversing);
    h.table = kAnswer;
    SetStateMachine(context.rx, StateOp::kGo, h.table);
    return;
  }
  if (context.call.calling_tone == 1) {
    StartToneTx(context, kToneCalling);
  } else {
    SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
  }
  h.table = kCall;
  h.answer_tone_count = 0;
  SetStateMachine(context.rx, StateOp::kGo, h.table);
  InitEnergyDetector(h.energy600, energy::k600);
  InitEnergyDetector(h.energy1300, energy::k1300);
  InitEnergyDetector(h.energy1650, energy::k1650);
  InitEnergyDetector(h.energy2100, energy::k2100);
  InitEnergyDetector(h.energy2250, energy::k2250);
  InitEnergyDetector(h.energy3000, energy::k3000);
}

}  // namespace pump
