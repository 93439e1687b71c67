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

}  // namespace pump
