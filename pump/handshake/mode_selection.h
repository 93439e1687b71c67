// The tone-based mode selection: the caller sends its calling tone and
// listens for the answer tone and then for the far modem of the requested
// mode; the answerer sends its answer tone for 2.7 s (cut short by AA in
// the V.32 modes), 80 ms of silence, then starts its modem.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Positions in FmCallTable.
enum FmCallPosition : std::int32_t {
  kFmCallV25 = 0,  // FM_CALL_V25_S0: the calling tone, listening for the answer
  kFmV32b1 = 1,    // FM_V32B_1: answer tone heard in a V.32 mode, waiting for AC
  kFmCall2 = 2,    // FM_CALL_2: answer tone heard, waiting for the far modem
  kFmCall3 = 3,    // FM_CALL_3: does nothing; no path leads there
};

// Positions in FmAnswerTable.
enum FmAnswerPosition : std::int32_t {
  kFmAns0 = 0,    // FM_ANS_0: 270 ticks of answer tone
  kFmAns1 = 1,    // FM_ANS_1: 8 ticks of silence
  kFmAns2 = 2,    // FM_ANS_2: the modem starts
  kFmAnsEnd = 3,  // RxIdle: a mode without a modem waits for the controller
};

// The silence after the answer tone, in ticks.
inline constexpr std::int32_t kAnswerSilenceTicks = 8;

StateTable<DspContext> FmCallTable();
StateTable<DspContext> FmAnswerTable();

void StartModeSelection(DspContext& context);

}  // namespace pump
