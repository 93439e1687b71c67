#include "layer2/corecode/mt/modem/voice_line.h"

#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/modem/voice_commands.h"
#include "platform/ke/ke.h"

namespace vxctl {

bool ModemTask_SelectVoiceLine(std::uint8_t row) {
  if (row >= kVoiceRouteRows.size()) {
    DbgPrint("ModemTask_SelectVoiceLine: no voice line row %u, refused\n", row);
    return false;
  }
  const VoiceRouteRow& r = kVoiceRouteRows[row];
  if (!daa_is_off_hook()) ModemTask_SetHook(r.hook == 1);
  daa_set_voice_relay(r.voice_relay);
  daa_set_cid_relay(r.cid_relay);
  daa_set_spk_hs_relay(r.spk_hs_relay);
  ModemTask_SetVoiceChannelEnable(r.channel0_enable == 1 ? 1 : 0, 0);
  ModemTask_SetVoiceRouteMode(r.channel0_route, 0);
  ModemTask_SetVoiceChannelEnable(r.channel1_enable == 1 ? 1 : 0, 1);
  ModemTask_SetVoiceRouteMode(r.channel1_route, 1);
  if (row == 0) {
    for (std::uint8_t channel = 0; channel < kVoiceChannels; ++channel) {
      ModemTask_SetVoiceSpeakerGain(kVoiceLine0SpeakerGain, channel);
      ModemTask_SetVoiceMicGain(kVoiceLine0MicGain, channel);
    }
  }
  voice_channel_state().line.store(row);
  return true;
}

bool ModemTask_SelectVoiceLine0() { return ModemTask_SelectVoiceLine(0); }

bool ModemTask_LocalPhoneOffHook() { return daa_local_phone_off_hook(); }

}  // namespace vxctl
