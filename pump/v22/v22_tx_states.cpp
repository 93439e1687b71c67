#include "pump/v22/v22_tx_states.h"

#include <algorithm>

#include "pump/core/dp_status.h"
#include "pump/core/host_interface.h"
#include "pump/idle/idle_mode.h"
#include "pump/v22/v22_modulator.h"
#include "pump/v22/v22_rx_states.h"
#include "pump/v22/v22_start.h"

namespace pump {
namespace {

constexpr std::int32_t kDataHold = 2;  // the data states reload their count each block

void Interrupt(DspContext& context) { WriteDspReg(*context.host, kRegDpInterrupt, 1); }

void Send(DspContext& context, std::uint16_t mode) {
  context.v22.tx.mode = mode;
  V22Modulate(context, context.v22.tx);
}

void Silence(DspContext& context) { std::fill(std::begin(context.output_block), std::end(context.output_block), 0); }

// The far end's answer to our listening states: its S1 (latched and over)
// when V.22bis is allowed, else more than 64 scrambled ones.
bool HeardS1(const DspContext& context) {
  const V22RxRecord& rx = context.v22.rx;
  return context.call.mode != 6 && rx.s1_latched != 0 && (rx.status & kV22S1Present) == 0;
}
bool HeardScrambledOnes(const DspContext& context) {
  return (context.v22.rx.status & kV22Ones64) != 0;
}

void Restart(DspContext& context, std::int32_t index) {
  SetStateMachine(context.v22.tx_machine, StateOp::kRestartAt, {}, index);
}

void V22bTxInit(DspContext& context) {
  V22TxRecord& tx = context.v22.tx;
  const std::int16_t increment = tx.carrier_increment;
  const std::int16_t gain = tx.output_gain;
  tx = {};
  tx.carrier_increment = increment;
  tx.output_gain = gain;
  Silence(context);
}

void V22bTxOff(DspContext& context) { Silence(context); }

void V22bTxUnscr1(DspContext& context) {
  if (HeardS1(context)) {
    V22RxTrainAfterS1(context);
    Restart(context, kV22AnswerBisTraining);
  } else if (HeardScrambledOnes(context)) {
    Restart(context, kV22AnswerTraining);
  }
  Send(context, kV22UnscrambledOnes1200);
}

void V22bTxS1det(DspContext& context) {
  if (HeardS1(context)) {
    Restart(context, kV22CallBisTraining);
  } else if (HeardScrambledOnes(context)) {
    Restart(context, kV22CallTraining);
  }
  Send(context, kV22ScrambledOnes1200);
}

void V22bTxS1(DspContext& context) { Send(context, kV22SendS1); }
void V22bTxScr1200(DspContext& context) { Send(context, kV22ScrambledOnes1200); }
void V22bTxScr2400(DspContext& context) { Send(context, kV22ScrambledOnes2400); }

void V22bTxWaitS1Off(DspContext& context) {
  const V22RxRecord& rx = context.v22.rx;
  if (rx.s1_latched == 0 || (rx.status & kV22S1Present) != 0) {
    SetStateMachine(context.v22.tx_machine, StateOp::kSetCount, {}, kDataHold);
  } else {
    SetStateMachine(context.v22.tx_machine, StateOp::kEndStep);
  }
  V22Modulate(context, context.v22.tx);
}

void SendData(DspContext& context, std::uint16_t mode) {
  V22Work& v22 = context.v22;
  if ((v22.rx.status & kV22DataReached) != 0) {
    SetDpStatus(*context.host, v22.direct != 0 ? kStatusConnectedRestart : kStatusConnected, true);
    SetDpStatus(*context.host, kStatusCarrier, true);
    Interrupt(context);
    v22.rx.status = static_cast<std::uint16_t>(v22.rx.status & ~kV22DataReached);
  }
  v22.tx.retrain_started = 0;
  Send(context, mode);
  SetStateMachine(v22.tx_machine, StateOp::kSetCount, {}, kDataHold);
}

void V22bTxData2400(DspContext& context) { SendData(context, kV22Data2400); }
void V22bTxData1200(DspContext& context) { SendData(context, kV22Data1200); }

void V22bTxEnd(DspContext& context) {
  SetStateMachine(context.tx, StateOp::kDeferredGo, kTxIdleTable);
  SetDpStatus(*context.host, kStatusDropping, true);
  Interrupt(context);
  V22Modulate(context, context.v22.tx);
}

void V22bTxSeq(DspContext& context) { RunStateMachine(context, context.v22.tx_machine); }
void V22bRxSeq(DspContext& context) { RunStateMachine(context, context.v22.rx_machine); }

#define V22_STATE(handler, count) {handler, count, #handler}

constexpr StateEntry<DspContext> kCaller[] = {
    // V.22bis (0); restarted at 6 after the answerer's S1.
    V22_STATE(V22bTxInit, 1), V22_STATE(V22bTxOff, 45), V22_STATE(V22bTxS1, 10),
    V22_STATE(V22bTxScr1200, 1), V22_STATE(V22bTxS1det, 107), V22_STATE(V22bGotoBell103, 1),
    V22_STATE(V22bTxScr1200, 60), V22_STATE(V22bTxScr2400, 20), V22_STATE(V22bTxData2400, 3),
    V22_STATE(V22bTxEnd, 1),
    // V.22 (10); restarted at 12 after the answerer's scrambled ones.
    V22_STATE(V22bTxInit, 1), V22_STATE(V22bTxOff, 45), V22_STATE(V22bTxScr1200, 54),
    V22_STATE(V22bTxScr1200, 76), V22_STATE(V22bTxData1200, 3), V22_STATE(V22bTxEnd, 1)};

constexpr StateEntry<DspContext> kAnswer[] = {
    // V.22bis (0).
    V22_STATE(V22bTxInit, 1), V22_STATE(V22bTxUnscr1, 300), V22_STATE(V22bGotoV32, 1),
    // V.22 (3); restarted at 5 after the caller's scrambled ones.
    V22_STATE(V22bTxInit, 1), V22_STATE(V22bTxUnscr1, 301), V22_STATE(V22bTxScr1200, 96),
    V22_STATE(V22bTxData1200, 10), V22_STATE(V22bTxEnd, 1),
    // After the caller's S1 (8).
    V22_STATE(V22bTxS1, 10), V22_STATE(V22bTxScr1200, 50), V22_STATE(V22bTxScr2400, 20),
    V22_STATE(V22bTxData2400, 3), V22_STATE(V22bTxEnd, 1)};

constexpr StateEntry<DspContext> kRetrain[] = {
    V22_STATE(V22bTxWaitS1Off, 3), V22_STATE(V22bTxS1, 15),      V22_STATE(V22bTxScr1200, 76),
    V22_STATE(V22bTxScr2400, 30),  V22_STATE(V22bTxData2400, 3), V22_STATE(V22bTxEnd, 1)};

constexpr StateEntry<DspContext> kDirectBis[] = {
    V22_STATE(V22bTxInit, 1),     V22_STATE(V22bTxOff, 20),      V22_STATE(V22bTxS1, 10),
    V22_STATE(V22bTxScr1200, 50), V22_STATE(V22bTxScr2400, 20), V22_STATE(V22bTxData2400, 3),
    V22_STATE(V22bTxEnd, 1)};

constexpr StateEntry<DspContext> kDirect[] = {
    V22_STATE(V22bTxInit, 1),     V22_STATE(V22bTxOff, 20),       V22_STATE(V22bTxScr1200, 54),
    V22_STATE(V22bTxScr1200, 77), V22_STATE(V22bTxData1200, 3), V22_STATE(V22bTxEnd, 1)};

constexpr StateEntry<DspContext> kTxSeq[] = {V22_STATE(V22bTxSeq, -1)};
constexpr StateEntry<DspContext> kRxSeq[] = {V22_STATE(V22bRxSeq, -1)};

#undef V22_STATE

static_assert(kCaller[kV22CallBisTraining].count == 60 && kCaller[kV22CallTraining].count == 54);
static_assert(kAnswer[kV22AnswerTraining].count == 96 && kAnswer[kV22AnswerBisTraining].count == 10);

}  // namespace

StateTable<DspContext> V22CallerTable() { return kCaller; }
StateTable<DspContext> V22AnswerTable() { return kAnswer; }
StateTable<DspContext> V22RetrainTable() { return kRetrain; }
StateTable<DspContext> V22DirectBisTable() { return kDirectBis; }
StateTable<DspContext> V22DirectTable() { return kDirect; }
StateTable<DspContext> V22TxSeqTable() { return kTxSeq; }
StateTable<DspContext> V22RxSeqTable() { return kRxSeq; }

}  // namespace pump
