#include "layer2/corecode/mt/modem/dial_packets.h"

#include <algorithm>
#include <array>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/dsp/dsp_commands.h"
#include "layer2/corecode/mt/dsp/dsp_memory.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/call_progress_mode.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kPulseDialling = 1;
constexpr std::uint8_t kLevelHigh = 1;
constexpr std::uint8_t kLevelLow = 0;
constexpr std::uint8_t kVoiceDtmfKind = 5;
constexpr std::size_t kSLevelFlag = 84;  // S84: non-zero sets the data pump's level flag
constexpr std::uint8_t kV8bisLevelMax = 250;
// 65536 / 9600, the phase step of 1 Hz, to four decimals.
constexpr std::uint64_t kStepPerHertz = 68265;
constexpr std::uint64_t kStepScale = 10000;
constexpr std::uint32_t kDspMaxKey = 0xB9;
constexpr std::uint16_t kDspMax = 0x7FFF;
constexpr std::uint32_t kDialModeKey = 0x11;
constexpr std::uint16_t kDialMode = 7;

void SendLevels(std::uint8_t code, std::uint8_t kind) {
  dsp_send_packet(DspCommand::Ack(
      code, {acu_tone_level(kind, kLevelHigh), acu_tone_level(kind, kLevelLow)}));
}

}  // namespace

void ModemTask_SendDialParams(std::uint8_t a, std::uint8_t b, std::uint8_t kind,
                              std::uint16_t duration) {
  const bool swap = kind == kPulseDialling;
  dsp_send_packet(DspCommand::Ack(
      kCmdDialParams, {swap ? b : a, swap ? a : b, kind, 0, static_cast<std::uint8_t>(duration),
                       static_cast<std::uint8_t>(duration >> 8)}));
}

std::uint8_t dial_digit_code(char digit) {
  if (digit == '#') return 15;
  if (digit == '*') return 14;
  if (digit >= 'A' && digit <= 'D') return static_cast<std::uint8_t>(10 + (digit - 'A'));
  return static_cast<std::uint8_t>(digit - '0');
}

void ModemTask_DialDigit(char digit) {
  dsp_send_packet(DspCommand::Ack(kCmdDialDigit, {dial_digit_code(digit)}));
}

void ModemTask_SetTxLevel(std::uint8_t kind) {
  if (kind == 0 || kind == kVoiceDtmfKind) {
    dsp_send_packet(DspCommand::Ack(
        kCmdTxLevel, {acu_tone_level(1, kLevelHigh), acu_tone_level(1, kLevelLow), 0, 0}));
    SendLevels(kCmdDialLevels, kind);
    return;
  }
  const std::uint8_t flag = acu_settings().s[kSLevelFlag] != 0 ? 1 : 0;
  dsp_send_packet(DspCommand::Ack(
      kCmdTxLevel, {acu_tone_level(kind, kLevelHigh), acu_tone_level(kind, kLevelLow), flag, 0}));
}

void ModemTask_ZeroTxLevel() {
  dsp_send_packet(DspCommand::Ack(kCmdTxLevel, {0, 0, 0, 0}));
  ModemTask_SetCallProgress(1);
}

std::uint16_t tone_phase_step(std::uint16_t hertz) {
  return static_cast<std::uint16_t>(hertz * kStepPerHertz / kStepScale);
}

void ModemTask_PlayDualTone(std::uint16_t f1, std::uint16_t f2, std::uint8_t flags) {
  const std::uint16_t s1 = tone_phase_step(f1);
  const std::uint16_t s2 = tone_phase_step(f2);
  dsp_send_packet(DspCommand::Ack(
      kCmdTonePair, {static_cast<std::uint8_t>(s1), static_cast<std::uint8_t>(s1 >> 8),
                     static_cast<std::uint8_t>(s2), static_cast<std::uint8_t>(s2 >> 8), flags}));
}

void ModemTask_SetV8bisLevel(std::uint8_t boost) {
  const auto raised = [boost](std::uint8_t selector) {
    const unsigned level = acu_tone_level(kVoiceDtmfKind, selector) + 10u * boost;
    return static_cast<std::uint8_t>(std::min<unsigned>(level, kV8bisLevelMax));
  };
  dsp_send_packet(DspCommand::Ack(kCmdDialLevels, {raised(kLevelHigh), raised(kLevelLow)}));
}

void ModemTask_SetSpeaker(std::uint8_t on) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.speaker_on = on;
  dsp_send_packet(
      DspCommand::Ack(kCmdSpeaker, {on != 0 ? task.speaker_volume : std::uint8_t{0}, 0}));
}

void ModemTask_SetSpeakerVolume(std::uint8_t volume) {
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.speaker_volume = volume != 0 ? volume : 1;
  ModemTask_SetSpeaker(task.speaker_on);
}

void ModemTask_SendHandshakeParams() {
  dsp_send_packet(DspCommand::Ack(kCmdHandshakeParams, {9, 16, 0x10, 0, 0, 0}));
}

void ModemTask_WriteDspMax() {
  const std::array<std::uint16_t, 1> value{kDspMax};
  dsp_mem_write({kDspMaxKey, kDspSpaceParameters}, value);
}

void ModemTask_DspResetForDial() {
  dsp_send_packet(DspCommand::Ack(kCmdReset, {0, 0}));
  const std::array<std::uint16_t, 1> mode{kDialMode};
  dsp_mem_write({kDialModeKey, kDspSpaceMemory}, mode);
}

}  // namespace vxctl
