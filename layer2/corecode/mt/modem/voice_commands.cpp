#include "layer2/corecode/mt/modem/voice_commands.h"

#include <span>

#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kCallerIdEnd = 5;

std::uint8_t Low(std::uint16_t v) { return static_cast<std::uint8_t>(v); }
std::uint8_t High(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

void SendPath(std::uint16_t mask, std::uint16_t value, std::uint8_t channel) {
  dsp_send_packet(
      DspCommand::Ack(kCmdVoicePath, {Low(mask), High(mask), Low(value), High(value), channel, 0}));
}

bool Refused(const char* operation, std::uint8_t level, std::uint8_t channel) {
  if (channel < kVoiceChannels && level < kVoiceLevels) return false;
  DbgPrint("%s: level %u or channel %u out of range, refused\n", operation, level, channel);
  return true;
}

// A field of the path control word set to `level`.
bool SetPathField(const char* operation, std::uint16_t keep, int shift, std::uint8_t level,
                  std::uint8_t channel) {
  if (Refused(operation, level, channel)) return false;
  SendPath(keep, static_cast<std::uint16_t>(level << shift), channel);
  return true;
}

void WriteParameter(std::uint32_t key, std::span<const std::uint16_t> words) {
  dsp_mem_write(DspAddress{.key = key, .space = kDspSpaceParameters}, words);
}

}  // namespace

VoiceChannelState& voice_channel_state() { return MachineState<VoiceChannelState>(); }

void ModemTask_SetVoiceMode(std::uint8_t mode) {
  dsp_send_packet(DspCommand::Ack(kCmdVoiceMode, {mode}));
}

void ModemTask_SetVoiceParams(std::uint8_t a, std::uint8_t b) {
  dsp_send_packet(DspCommand::Ack(kCmdVoiceParams, {a, b}));
}

void ModemTask_VoiceStart(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  dsp_send_packet(DspCommand::Ack(kCmdVoiceStart, {a, b, c, 0}));
}

void ModemTask_VoiceIdle() { dsp_send_packet(DspCommand::Ack(kCmdVoiceIdle)); }

void ModemTask_SetVoiceGain(std::uint8_t level) {
  dsp_send_packet(DspCommand::Ack(kCmdVoiceGain, {level, 0}));
}

void ModemTask_VoiceEnd() {
  dsp_send_packet(DspCommand::Ack(kCmdVoiceEnd, {0, 0}));
  dsp_send_packet(DspCommand::Ack(kCmdReset));
}

void ModemTask_WriteVoiceGainWord(std::uint8_t v) {
  const std::uint16_t word = static_cast<std::uint16_t>(v << 8);
  WriteParameter(kVoiceGainWordKey, {&word, 1});
}

void ModemTask_VoiceCallProgressMode(std::uint8_t mode) {
  if (mode != 0 && acu_caller_id_substate().load() != 0) {
    acu_caller_id_substate().store(kCallerIdEnd);
    acu_caller_id_poll();
  }
  dsp_send_packet(DspCommand::Ack(kCmdCallProgressMode, {mode, 1}));
}

void ModemTask_SetCidDetect(std::uint8_t mode) {
  std::uint8_t kind = mode >> 4;
  voice_channel_state().caller_id_path.store(kind);
  if (kind == 0) kind = acu_country_calling_code().load() == kCallingCodeKind1 ? 1 : 0;
  dsp_send_packet(DspCommand::Ack(kCmdCallerIdDetect,
                                  {static_cast<std::uint8_t>(mode & 0x0F), 0, kind, 0}));
}

bool ModemTask_SetVoiceRouting(std::uint16_t mask, std::uint16_t value, std::uint8_t channel) {
  if (Refused("ModemTask_SetVoiceRouting", 0, channel)) return false;
  SendPath(mask, value, channel);
  return true;
}

bool ModemTask_SetVoiceChannelEnable(std::uint8_t on, std::uint8_t channel) {
  if (Refused("ModemTask_SetVoiceChannelEnable", 0, channel)) return false;
  SendPath(kPathKeepEnable, on == 1 ? kPathEnabled : 0, channel);
  voice_channel_state().enabled[channel] = on == 1 ? 1 : 0;
  return true;
}

bool ModemTask_SetVoiceRouteMode(std::uint8_t mode, std::uint8_t channel) {
  if (!SetPathField("ModemTask_SetVoiceRouteMode", kPathKeepRoute, kPathRouteShift, mode,
                    channel)) {
    return false;
  }
  voice_channel_state().route[channel] = mode;
  return true;
}

bool ModemTask_SetVoiceSpeakerGain(std::uint8_t level, std::uint8_t channel) {
  return SetPathField("ModemTask_SetVoiceSpeakerGain", kPathKeepSpeakerGain,
                      kPathSpeakerGainShift, level, channel);
}

bool ModemTask_SetVoiceMicGain(std::uint8_t level, std::uint8_t channel) {
  return SetPathField("ModemTask_SetVoiceMicGain", kPathKeepMicGain, kPathMicGainShift, level,
                      channel);
}

void ModemTask_EnableVoiceChannels(std::uint8_t off) {
  VoiceChannelState& voice = voice_channel_state();
  voice.enabled.fill(off == 0 ? 1 : 0);
}

void ModemTask_MuteVoiceRoute(std::uint8_t mute) {
  VoiceChannelState& voice = voice_channel_state();
  if ((mute == 1) == (voice.muted != 0)) return;
  if (mute == 1) {
    voice.kept_route = voice.route;
    voice.muted = 1;
    for (std::uint8_t channel = 0; channel < kVoiceChannels; ++channel) {
      ModemTask_SetVoiceRouteMode(0, channel);
    }
  } else {
    voice.muted = 0;
    for (std::uint8_t channel = 0; channel < kVoiceChannels; ++channel) {
      ModemTask_SetVoiceRouteMode(voice.kept_route[channel], channel);
    }
  }
}

void ModemTask_VoiceDspInit() {
  SendPath(0, kVoiceInitPath0, 0);
  SendPath(0, kVoiceInitPath1, 1);
  for (std::atomic<std::uint8_t>& flag : voice_flags()) flag.store(0);
  const std::span<const std::uint16_t> words = kVoiceFilterWords;
  WriteParameter(kVoiceFilterKeys[0], words.subspan(0, kDspParameterWriteWords));
  WriteParameter(kVoiceFilterKeys[1], words.subspan(kDspParameterWriteWords, kDspParameterWriteWords));
  WriteParameter(kVoiceFilterKeys[2], words.subspan(2 * kDspParameterWriteWords));
  WriteParameter(kVoiceInitKeyA, std::span(&kVoiceInitValueA, 1));
  WriteParameter(kVoiceInitKeyB, std::span(&kVoiceInitValueB, 1));
}

}  // namespace vxctl
