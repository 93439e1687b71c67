// The speakerphone's state for one device, part of the voice area.
#pragma once

#include <cstdint>

#include "pump/core/high_pass.h"
#include "pump/resampler/resampler.h"
#include "pump/voice/activity_detector.h"
#include "pump/voice/far_end_chain.h"
#include "pump/voice/line_echo.h"
#include "pump/voice/peak_agc.h"

namespace pump {

struct Speakerphone {
  std::uint32_t full;      // the full path runs (profile flag bit 11 at reset)
  std::uint32_t acoustic;  // the acoustic canceller is asked for (bit 10 at reset)
  PeakAgc mic;
  FarEndChain far;  // holds the speaker's gain stage and level index
  ActivityDetector mic_activity;
  ActivityDetector line_activity;
  HighPass2State line_dc;
  Resampler sound_down;  // the sound-path entries' 48000 to 8000 Hz
  Resampler sound_up;    // and back
  std::int32_t far_index;  // the far-end delay line's index
  LineEcho echo;
  std::uint32_t probe;  // the probe noise register: 0 after a reset, on from probe to probe
};

}  // namespace pump
