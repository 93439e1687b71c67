// The V.22/V.22bis receive sequences: one array of two rows (V.22bis at 0,
// V.22 at 16), run by the inner receive machine one tick a block; every
// state sets the receiver's parameters, then runs the core over the block.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::int32_t kV22RxBis = 0;
inline constexpr std::int32_t kV22RxBisTraining = 6;
inline constexpr std::int32_t kV22RxV22 = 16;
inline constexpr std::int32_t kV22RxV22Training = 23;

StateTable<DspContext> V22RxTable();

// The answerer heard the caller's S1 (over now). A receiver that already
// left S1 detection trained on something else, line noise above the
// signal-present threshold say: it goes back to S1 detection in the
// V.22bis row, which ends on the caller's scrambled ones that follow its
// S1, and trains on them.
void V22RxTrainAfterS1(DspContext& context);

}  // namespace pump
