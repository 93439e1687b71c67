// The tone generator of calling and answer tones: one tone of a type at the
// transmit level, in the cadence of its sequence on the transmit machine.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

enum ToneType : int {
  kToneFaxCalling = 1,  // 1100 Hz, 0.5 s on, 3 s off
  kToneCalling = 2,     // 1300 Hz, 0.61 s on, 1.7 s off
  kTone1500 = 3,        // 1500 Hz, 2 s on, 2 s off
  kToneAnswer = 4,      // 2100 Hz for 3.41 s, then silence
  kToneAnswerReversing = 5,
  kToneAnswerReversing2 = 6,
  kTone980 = 7,  // 980 Hz without end
};

// The gain of a tone after a muted stretch.
inline constexpr std::int16_t kToneRestartGain = 6916;

// Any other type sends silence.
void StartToneTx(DspContext& context, int type);

}  // namespace pump
