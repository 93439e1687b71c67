// The voice commands: 0x95 line mode, 0x96 silence parameters, 0x97 start,
// 0x99 level, 0x9C route, 0xA2 speakerphone switch.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

void VoiceLineModeCommand(DspContext& context);
void VoiceSilenceCommand(DspContext& context);
void VoiceStartCommand(DspContext& context);
void VoiceLevelCommand(DspContext& context);
void VoiceRouteCommand(DspContext& context);
void SpeakerphoneSwitchCommand(DspContext& context);

}  // namespace pump
