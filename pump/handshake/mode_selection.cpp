#include "pump/handshake/mode_selection.h"

#include "pump/callprogress/filter_bank.h"
#include "pump/callprogress/tone_tx.h"
#include "pump/context/mode_numbers.h"
#include "pump/detect/coefficients.h"
#include "pump/detect/notch_detector.h"
#include "pump/handshake/front_end.h"
#include "pump/handshake/handshake.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v22/v22_start.h"

namespace pump {
namespace {

constexpr int kOnRatio = 5;
constexpr int kOffRatio = 2;
// Detector limits in samples at 9600 Hz.
constexpr int kAnswerToneLimit = 960;       // 100 ms
constexpr int kBellToneLimit = 9600;        // 1 s
constexpr int kFarModemLimit = 1488;        // 155 ms
constexpr int kLongAnswerToneLimit = 8640;  // 900 ms more answer tone: V.32 without AC
constexpr int kAcLimit = 96;
constexpr int kUsb1Blocks = 16;

bool IsV32Mode(std::int32_t mode) { return mode == kModeV32 || mode == kModeV32bis; }
bool IsV22Mode(std::int32_t mode) {
  return mode == kModeB212 || mode == kModeV22 || mode == kModeV22bis;
}

bool Fired(std::int32_t ratio) { return ratio != 0; }

// FM_CALL_V25_S0.
void CallListen(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndRejectionAndAgc);
  RunToneFilterBankIdle(context, block.filtered);
  if (Fired(RunNotchDetector(h.answer_tone, block.levelled, kAnswerToneLimit))) {
    AnswerToneHeard(context);
    SetStateMachine(context.rx, StateOp::kRestartAt, {},
                    IsV32Mode(context.call.mode) ? kFmV32b1 : kFmCall2);
  }
  bool detected = Fired(RunNotchDetector(h.bell_tone, block.levelled, kBellToneLimit));
  if (detected) V22bConfig(context);
  const std::int32_t mode = context.call.mode;  // V22bConfig may have changed it
  if (IsV22Mode(mode)) {
    detected = Fired(RunNotchDetector2(h.usb1, block.levelled, kFarModemLimit));
  } else if (IsV32Mode(mode)) {
    detected = Fired(RunNotchDetector2(h.ac, block.levelled, kFarModemLimit));
  }
  if (detected) StartModeModem(context);
}

// FM_V32B_1: AC, or the answer tone going on, starts the V.32 caller.
void CallV32(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  const bool long_tone =
      Fired(RunNotchDetector(h.answer_tone, block.levelled, kLongAnswerToneLimit));
  const bool ac = Fired(RunNotchDetector2(h.ac, block.levelled, kAcLimit));
  if (long_tone || ac) StartModeModem(context);
}

// FM_CALL_2: the far modem's first signal.
void CallFarModem(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndAgc);
  const std::int32_t mode = context.call.mode;
  bool detected;
  if (IsV22Mode(mode)) {
    detected = RunEnergyDetector(block.levelled, h.energy2250, kUsb1Blocks);
  } else if (IsV32Mode(mode)) {
    detected = Fired(RunNotchDetector2(h.ac, block.levelled, kFarModemLimit));
  } else {
    detected = Fired(RunNotchDetector(h.far_modem, block.levelled, kFarModemLimit));
  }
  if (detected) StartModeModem(context);
}

// FM_ANS_0: the answer tone; AA ends it early in the V.32 modes.
void AnswerTone(DspContext& context) {
  const FrontEndBlock block = RunHandshakeFrontEnd(context, kFrontEndRejectionAndAgc);
  if (IsV32Mode(context.call.mode) &&
      Fired(RunNotchDetector(context.handshake.aa, block.levelled, kAnswerToneLimit))) {
    SetStateMachine(context.rx, StateOp::kEndStep);
  }
}

using Entry = StateEntry<DspContext>;
constexpr Entry kCall[] = {{CallListen, -1, "FM_CALL_V25_S0"},
                           {CallV32, -1, "FM_V32B_1"},
                           {CallFarModem, -1, "FM_CALL_2"},
                           {nullptr, -1, "FM_CALL_3"}};
constexpr Entry kAnswer[] = {{AnswerTone, kAnswerToneTicks, "FM_ANS_0"},
                             {AnswerSilence, kAnswerSilenceTicks, "FM_ANS_1"},
                             {StartModeModem, 1, "FM_ANS_2"},
                             {RxIdle, -1, "RxIdle"}};

const NotchSet& FarModemSet(std::int32_t mode) {
  switch (mode) {
    case kModeBell103:
      return notch::k2225;
    case kModeV23:
    case kModeV23OneWay:
      return notch::k1300;
    default:
      return notch::k1650;
  }
}

}  // namespace

StateTable<DspContext> FmCallTable() { return kCall; }
StateTable<DspContext> FmAnswerTable() { return kAnswer; }

void StartModeSelection(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const std::int32_t mode = context.call.mode;
  InitHandshakeFrontEnd(context);
  InitNotchDetector(h.answer_tone, notch::k2100, kOnRatio, kOffRatio);
  InitNotchDetector(h.bell_tone, notch::k2225, kOnRatio, kOffRatio);
  InitNotchDetector(h.aa, notch::k1800, kOnRatio, kOffRatio);
  InitNotchDetector2(h.ac, notch::k3000, notch::k600, kOnRatio, kOffRatio);
  InitNotchDetector2(h.usb1, notch::k2250, notch::k2850, kOnRatio, kOffRatio);
  InitEnergyDetector(h.energy2250, energy::k2250);

  if (context.call.direction == 1) {
    h.table = kCall;
    SetStateMachine(context.rx, StateOp::kGo, h.table);
    if (context.call.calling_tone == 1) {
      StartToneTx(context, kToneCalling);
    } else {
      SetStateMachine(context.tx, StateOp::kGo, kTxIdleTable);
    }
    if (mode == kModeBell103) InitNotchDetector(h.answer_tone, notch::k2225, kOnRatio, kOffRatio);
    InitNotchDetector(h.far_modem, FarModemSet(mode), kOnRatio, kOffRatio);
  } else {
    h.table = kAnswer;
    SetStateMachine(context.rx, StateOp::kGo, h.table);
    StartToneTx(context, IsV32Mode(mode) ? kToneAnswerReversing : kToneAnswer);
  }
}

}  // namespace pump
