// The speakerphone: with both sound streams on it processes the
// microphone block (to the line) and the line block (to the speaker) in
// place before the voice mix copies them. Bit 11 of the profile flags
// selects the full path (line-echo canceller, probe, far-end chain);
// without it only the two peak gain stages run.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

void SpeakerphoneReset(DspContext& context);
void SpeakerphoneBlock(DspContext& context);

}  // namespace pump
