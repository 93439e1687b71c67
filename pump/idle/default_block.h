// DefaultBlock: the mode block handler of the idle mode and of every
// procedure that runs on the context's two state machines. Per block it
// reads the input, publishes the input level (parameter key 0xE2), runs the
// receive machine and then the transmit machine, and writes the output.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::uint32_t kPublishedLevelKey = 0xE2;
// The published level is this minus the block level in dB.
inline constexpr int kPublishedLevelBase = 8;

void DefaultBlock(DspContext& context);

}  // namespace pump
