#include "pump/voice/voice_commands.h"

#include "pump/afe_access/afe_access.h"
#include "pump/commands/answers.h"
#include "pump/core/host_transfer.h"
#include "pump/idle/idle_mode.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

constexpr std::uint16_t kRouteSpeakerphone = 0x1200;

// Masked bits of the route command's mask bytes keep their setting.
bool Masked(std::uint8_t mask, std::uint8_t bits) { return (mask & bits) == bits; }

// 0x95's switch while voice runs.
void ApplyLineMode(DspContext& context, std::uint8_t mode) {
  switch (mode) {
    case 0:
      SetVoiceStreams(context, false, false);
      SelectVoiceSequences(context, kVoiceIdle);
      break;
    case 1:
      ReturnToIdle(context);
      break;
    case 2:
    case 4:
      SetVoiceStreams(context, false, false);
      SelectVoiceSequences(context, kVoiceRecord);
      break;
    case 3:
    case 5:
      SetVoiceStreams(context, false, false);
      SelectVoiceSequences(context, kVoicePlay);
      break;
    case 6:
      SetVoiceStreams(context, false, true);
      SelectVoiceSequences(context, kVoiceRecordMic);
      break;
    case 7:
      SetVoiceStreams(context, true, false);
      SelectVoiceSequences(context, kVoicePlaySpeaker);
      break;
    case 8:
      SetSpeakerphone(context, true);
      SelectVoiceSequences(context, kVoicePlaySpeaker);
      break;
    case 9:
    case 20:
    case 21:
      SetSpeakerphone(context, true);
      SelectVoiceSequences(context, kVoiceIdle);
      break;
    default:
      break;
  }
}

}  // namespace

void VoiceLineModeCommand(DspContext& context) {
  VoiceArea& voice = context.voice;
  const std::uint8_t mode = PayloadByte(context, 0);
  voice.line_mode = mode;
  ClearMailboxes(*context.host);
  const bool line_ready = context.dial_call_state == 2 || context.afe->line_on != 0;
  if (voice.start_pending != 0 && line_ready && (mode == 7 || mode == 9 || mode == 20)) {
    EnterVoice(context);
  }
  if (context.voice_active == 0) {
    if (mode == 0) SetSpeakerphone(context, false);
    return;  // the command itself is the answer
  }
  ResetVoiceState(context);
  ApplyLineMode(context, mode);
  AckPacket(context);
}

void VoiceSilenceCommand(DspContext& context) {
  VoiceSilence& silence = context.voice.silence;
  silence.sensitivity = PayloadByte(context, 0);
  silence.time = PayloadByte(context, 1);
  silence.report_count = 0;
  silence.enabled = 1;
  AckPacket(context);
}

void VoiceStartCommand(DspContext& context) {
  VoiceStart(context, PayloadByte(context, 0), PayloadByte(context, 1), PayloadByte(context, 2));
  AckPacket(context);
}

void VoiceLevelCommand(DspContext& context) {
  const std::uint8_t gain = PayloadByte(context, 0);
  const std::int32_t level = gain <= 120 ? 0 : gain <= 124 ? 1 : gain <= 127 ? 2 : 3;
  SetLineToAppLevel(context, level);
  SetAppToLineLevel(context, level);
  AckPacket(context);
}

void VoiceRouteCommand(DspContext& context) {
  const std::uint8_t b0 = PayloadByte(context, 0);
  const std::uint8_t mask = PayloadByte(context, 1);
  const std::uint16_t w = PayloadWord(context, 2);
  const std::uint8_t channel = PayloadByte(context, 4);
  AckPacket(context);
  if (channel != 0) return;
  VoiceArea& voice = context.voice;
  voice.route[0] = static_cast<std::uint16_t>(b0 | mask << 8);
  voice.route[1] = w;
  if (w == kRouteSpeakerphone) {
    SetSpeakerphone(context, true);
    return;
  }
  if (!Masked(b0, 0x0C)) {
    if ((w & 0x0C) == 0x0C) {
      SetVoiceStreams(context, voice.streams.line_to_app != 0, true);
    } else if ((w & 0x0C) == 0) {
      SetVoiceStreams(context, voice.streams.line_to_app != 0, false);
    }
  }
  if (!Masked(mask, 0x03)) SetAppToLineLevel(context, (w >> 8) & 3);
  if (!Masked(mask, 0x0C)) SetLineToAppLevel(context, (w >> 10) & 3);
  if (!Masked(mask, 0x30)) {
    switch ((w >> 12) & 3) {
      case 0:
        SetVoiceStreams(context, false, false);
        break;
      case 1:
        SetVoiceStreams(context, true, false);
        break;
      case 2:
        SetVoiceStreams(context, false, true);
        break;
      default:
        SetSpeakerphone(context, true);
        break;
    }
  }
}

void SpeakerphoneSwitchCommand(DspContext& context) {
  const std::uint8_t on = PayloadByte(context, 0);
  context.voice.speakerphone_request = on;
  SetSpeakerphone(context, on != 0);
  AckPacket(context);
}

}  // namespace pump
