// The modem task's voice operations: the data pump's voice mode, gains,
// start and idle, the two voice channels' path control words, caller-ID
// detection and the voice start-up. Every command waits for DP_ACK.
//
// A channel's path control word in the data pump: bits 2-3 enable, 8-9
// microphone gain, 10-11 speaker gain, 12-13 route mode. Command 0x9C sets
// it to (word AND mask) OR value.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/dsp/dsp_commands.h"

namespace vxctl {

inline constexpr std::uint8_t kCmdCallerIdDetect = 0x93;  // {mode, 0, kind, 0}
inline constexpr std::uint8_t kCmdVoiceMode = 0x95;       // {mode}
inline constexpr std::uint8_t kCmdVoiceParams = 0x96;     // {a, b}
inline constexpr std::uint8_t kCmdVoiceStart = 0x97;      // {a, b, c, 0}
inline constexpr std::uint8_t kCmdVoiceIdle = 0x98;
inline constexpr std::uint8_t kCmdVoiceGain = 0x99;   // {level, 0}
inline constexpr std::uint8_t kCmdVoicePath = 0x9C;   // {u16 mask, u16 value, channel, 0}
inline constexpr std::uint8_t kCmdVoiceEnd = 0xA2;    // {0, 0}

inline constexpr std::uint8_t kVoiceChannels = 2;
inline constexpr std::uint8_t kVoiceLevels = 4;  // route modes and gains: 0..3

// Path control word fields (the mask keeps everything but the field).
inline constexpr std::uint16_t kPathKeepEnable = 0xFFF3;
inline constexpr std::uint16_t kPathEnabled = 0x000C;
inline constexpr std::uint16_t kPathKeepRoute = 0xCFFF;
inline constexpr int kPathRouteShift = 12;
inline constexpr std::uint16_t kPathKeepSpeakerGain = 0xF3FF;
inline constexpr int kPathSpeakerGainShift = 10;
inline constexpr std::uint16_t kPathKeepMicGain = 0xFCFF;
inline constexpr int kPathMicGainShift = 8;

// The voice start-up's writes: the path control words, the call-progress
// filter record (15 words: 7 at the first key, 7 at the second, 1 at the
// third, as the data pump keeps it) and two parameters.
inline constexpr std::uint16_t kVoiceInitPath0 = 0x1200;
inline constexpr std::uint16_t kVoiceInitPath1 = 0x1E0C;
inline constexpr std::array<std::uint16_t, 15> kVoiceFilterWords = {
    0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E, 0x3FFF,
    0xC55B, 0x7129, 0x00FF, 0x7F00, 0x0100, 0x3000, 0x2000};
inline constexpr std::array<std::uint32_t, 3> kVoiceFilterKeys = {0x101D8, 0x101DF, 0x101E6};
inline constexpr std::uint32_t kVoiceInitKeyA = 0x92;
inline constexpr std::uint16_t kVoiceInitValueA = 43;
inline constexpr std::uint32_t kVoiceInitKeyB = 0x93;
inline constexpr std::uint16_t kVoiceInitValueB = 47;
inline constexpr std::uint32_t kVoiceGainWordKey = 0x10234;

// The calling code whose caller-ID detection defaults to kind 1.
inline constexpr std::uint16_t kCallingCodeKind1 = 81;

// What the modem task remembers of the channels: enable state and route
// mode as last set, the route modes kept while muted, the selected voice
// line, and the caller-ID path (bits 4-7 of the last detection mode).
struct VoiceChannelState {
  std::array<std::uint8_t, kVoiceChannels> enabled{};
  std::array<std::uint8_t, kVoiceChannels> route{3, 3};
  std::array<std::uint8_t, kVoiceChannels> kept_route{3, 3};
  std::uint8_t muted = 0;
  std::atomic<std::uint8_t> line{0};
  std::atomic<std::uint8_t> caller_id_path{0};
};

VoiceChannelState& voice_channel_state();

void ModemTask_SetVoiceMode(std::uint8_t mode);
void ModemTask_SetVoiceParams(std::uint8_t a, std::uint8_t b);
void ModemTask_VoiceStart(std::uint8_t a, std::uint8_t b, std::uint8_t c);
void ModemTask_VoiceIdle();
void ModemTask_SetVoiceGain(std::uint8_t level);
// 0xA2 {0, 0}, then the reset 0x60.
void ModemTask_VoiceEnd();
// Parameter key 0x10234 := v x 256.
void ModemTask_WriteVoiceGainWord(std::uint8_t v);
// A non-zero mode first ends a running caller-ID detection; then 0x65
// {mode, 1}.
void ModemTask_VoiceCallProgressMode(std::uint8_t mode);
// 0x93 {mode AND 15, 0, kind, 0}: the kind is bits 4-7 of mode, or when
// those are 0, 1 for the country of calling code 81 and 0 for others.
// Keeps bits 4-7 as the caller-ID path.
void ModemTask_SetCidDetect(std::uint8_t mode);

// The channel operations answer false, with a trace line and nothing sent
// or remembered, for a channel above 1 or a level above 3.
bool ModemTask_SetVoiceRouting(std::uint16_t mask, std::uint16_t value, std::uint8_t channel);
// 1 enables, any other value disables; remembered.
bool ModemTask_SetVoiceChannelEnable(std::uint8_t on, std::uint8_t channel);
// Remembered.
bool ModemTask_SetVoiceRouteMode(std::uint8_t mode, std::uint8_t channel);
bool ModemTask_SetVoiceSpeakerGain(std::uint8_t level, std::uint8_t channel);
bool ModemTask_SetVoiceMicGain(std::uint8_t level, std::uint8_t channel);
// Only remembers: both channels enabled when `off` is 0, else disabled.
void ModemTask_EnableVoiceChannels(std::uint8_t off);
// 1 keeps both route modes and sets route mode 0 on both; 0 sets the kept
// modes again. Muting while muted or unmuting while not muted does
// nothing, so the kept modes are never overwritten by the muted ones.
void ModemTask_MuteVoiceRoute(std::uint8_t mute);

// The path control words of both channels, the voice layer's three flags
// cleared, the call-progress filter record and two parameters.
void ModemTask_VoiceDspInit();

}  // namespace vxctl
