// The level-step detector of call progress: a sudden change of the line's
// level (a phone picked up on the same line, say) while the modem holds the
// line. It compares a slow and a fast average of the high-passed signal's
// magnitude, ignores the first 4320 samples after a start (the blanking)
// and reports nothing before 11520 samples have passed (the start hold-off).
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

// Start hold-off 11520 samples, blanking 4320, no step held, averages 0;
// the filter states are kept.
void InitLevelStep(LevelStepDetector& detector);

// One block: a step is held for 9600 samples.
void RunLevelStep(LevelStepDetector& detector, std::span<const std::int16_t> samples);

// True once for a step held after the start hold-off; the step is then
// forgotten and the blanking starts again, so one step is one report.
bool TakeLevelStep(LevelStepDetector& detector);

}  // namespace pump
