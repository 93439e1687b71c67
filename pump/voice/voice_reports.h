// What voice mode reports to the controller while it runs: DTMF digits,
// calling tones, silence (DP_TONE_DETECTION_RESULTS bytes) and the local
// handset (register 242 bit 1).
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::uint8_t kVoice1100HzEnded = 78;
inline constexpr std::uint8_t kVoice1300HzThirdBurst = 103;
inline constexpr std::uint8_t kVoiceSilenceFirst = 113;
inline constexpr std::uint8_t kVoiceSilenceAgain = 115;

// The detectors' state cleared (DTMF, calling tones, silence counts).
void ResetVoiceDetectors(DspContext& context);
// A detector code 1-16 posts its digit character ('*' as 'E', '#' as 'F').
void ReportVoiceDtmf(DspContext& context, int code);
// The 9600 Hz block through the 1100 Hz and 1300 Hz watchers.
void WatchCallingTones(DspContext& context, std::span<const std::int32_t> block);
// The block's level against the threshold, when 0x96 enabled it.
void DetectVoiceSilence(DspContext& context);
// AFE request 34: a changed on-hook (1) or off-hook (3) status goes to
// register 242 bit 1.
void CheckHandsetState(DspContext& context);

}  // namespace pump
