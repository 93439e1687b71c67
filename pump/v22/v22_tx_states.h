// The V.22/V.22bis transmit sequences: the caller's and the answerer's
// arrays (each with rows started at fixed indexes and restarted inside),
// the retrain table and the loopback test's two direct tables, all run by
// the inner transmit machine one tick a block.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Where the rows and restarts of the two arrays start.
inline constexpr std::int32_t kV22CallBis = 0;
inline constexpr std::int32_t kV22CallBisTraining = 6;  // after the answerer's S1
inline constexpr std::int32_t kV22Call = 10;
inline constexpr std::int32_t kV22CallTraining = 12;  // after the answerer's scrambled ones
inline constexpr std::int32_t kV22AnswerBis = 0;
inline constexpr std::int32_t kV22Answer = 3;
inline constexpr std::int32_t kV22AnswerTraining = 5;    // after the caller's scrambled ones
inline constexpr std::int32_t kV22AnswerBisTraining = 8;  // after the caller's S1

StateTable<DspContext> V22CallerTable();
StateTable<DspContext> V22AnswerTable();
StateTable<DspContext> V22RetrainTable();
StateTable<DspContext> V22DirectBisTable();
StateTable<DspContext> V22DirectTable();

// The context's own machines each run one state that ticks the inner one.
StateTable<DspContext> V22TxSeqTable();
StateTable<DspContext> V22RxSeqTable();

}  // namespace pump
