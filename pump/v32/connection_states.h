// The numbered states of a V.32 connection's start-up: the transmitter's
// and the receiver's, caller's and answerer's, with their names for trace
// output.
#pragma once

#include <cstdint>
#include <string_view>

namespace pump::v32 {

enum class TxState : std::uint8_t {
  kTxoWait = 0, kTxoAA, kTxoCC, kTxoSilence, kTxoS0, kTxoSbar0, kTxoTrn2_0, kTxoTrn4_0,
  kTxoRate2, kTxOnLine, kTxoRrAA, kTxoRrCC, kTxRateSequence, kTxRateE, kTxClearDown,
  kTxaSilence0 = 32, kTxaAC1, kTxaCA, kTxaAC2, kTxaSilence1, kTxaS0, kTxaSbar0, kTxaTrn2_0,
  kTxaTrn4_0, kTxaRate1, kTxaSilence2, kTxaS1, kTxaSbar1, kTxaTrn2_1, kTxaTrn4_1, kTxaOnLine,
  kTxaRtAC, kTxaRrAC, kTxaRrCA, kTxV32Idle,
};

enum class RxState : std::uint8_t {
  kDetectoPn2330 = 0, kDetectoAC1, kDetectoCA, kDetectoAC2, kDetectoACOff, kDetectoS0,
  kDetectoSbar0, kRxoWaitTrn0, kRxoTrn2_0, kRxoTrn4_0, kRxoTrainData0, kDetectoRate1,
  kRxoWait1, kDetectoS1, kDetectoSbar1, kRxoWaitTrn1, kRxoTrn2_1, kRxoTrn4_1, kRxoTrainData1,
  kDetectRateSequence, kDetectRateE, kRxoOnLine, kRxV32Idle,
  kDetectaAA0 = 32, kDetectaAA1, kDetectaCC, kDetectaSilence, kRxaWait1, kDetectaS0,
  kDetectaS0_1, kDetectaSbar0, kRxaWaitTrn0, kRxaTrn2_0, kRxaTrn4_0, kRxaTrainData, kRxaOnLine,
};

// The state's name ("TXO_AA", "DETECTA_CC", ...); "?" for a number no
// state has.
std::string_view TxStateName(TxState state);
std::string_view RxStateName(RxState state);

}  // namespace pump::v32
