// The commands of levels, tones and line watching: 0x7B (transmit level),
// 0x7C (tone pair), 0x81 (speaker), 0x93 (caller-ID mode), 0x98 (voice
// idle) and 0xA4 (caller-ID configuration and the tone monitor's windows).
#include <algorithm>
#include <array>
#include <iterator>

#include "pump/afe_access/afe_requests.h"
#include "pump/callprogress/dialling.h"
#include "pump/commands/answers.h"
#include "pump/commands/command_handlers.h"
#include "pump/core/dp_status.h"
#include "pump/idle/idle_mode.h"
#include "pump/callprogress/call_progress.h"
#include "pump/fsk/caller_id.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/pending/pending_procedures.h"

namespace pump {
namespace {

struct GainLevel {
  std::uint16_t gain;
  std::int16_t db;
};
// Linear transmit gains the controller sends and their levels; any other
// gain is -9 dB.
constexpr std::array<GainLevel, 16> kGainLevels = {{
    {25399, 0},
    {22637, -1},
    {20175, -2},
    {17981, -3},
    {16026, -4},
    {14283, -5},
    {12730, -6},
    {11346, -7},
    {10112, -8},
    {8032, -10},
    {7158, -11},
    {6380, -12},
    {5686, -13},
    {5067, -14},
    {4516, -15},
    {4027, -16},
}};
constexpr std::int16_t kOtherGainLevel = -9;

constexpr std::uint8_t kToneGainFromLevel = 0x04;  // tone pair flag: gain from the level, f1 first
constexpr std::int32_t kVoiceToneScale = 1229;     // / 1024: 9600 Hz steps at 8000 Hz

enum CallerIdMode : std::uint8_t {
  kCallerIdOff = 0,
  kCallerIdOnHook = 1,
  kCallerIdWhileMonitoring = 3,
};
constexpr std::uint8_t kCallerIdKeepsHook = 0x04;  // configuration byte bit 2
constexpr std::uint16_t kCallerIdAgcWord = 4;
constexpr std::int16_t kCallerIdMantissa = 0x4000;  // the FSK gain, frozen in state 6
constexpr std::int16_t kCallerIdExponent = 5;

void ConfigureToneMonitor(DspContext& context) {
  ToneMonitor& monitor = context.tone_monitor;
  // The windows are given in Hz; before a high-speed mode has set the bin
  // width, it is that of the current sample rate.
  const int width = monitor.bin_width != 0 ? monitor.bin_width : context.afe->sample_rate / 64;
  if (width <= 0) return;
  const auto bin = [&](int byte, int extra) {
    return static_cast<std::int16_t>(PayloadWord(context, byte) / width + extra);
  };
  monitor.band1[0] = bin(0, 0);
  monitor.band1[1] = bin(2, 1);
  monitor.band2[0] = bin(4, 0);
  monitor.band2[1] = bin(6, 1);
  std::copy(std::begin(monitor.average), std::end(monitor.average), std::begin(monitor.reference));
}

}  // namespace

void TransmitLevelCommand(DspContext& context) {
  const std::uint16_t gain = PayloadWord(context, 0);
  const auto* found = std::find_if(kGainLevels.begin(), kGainLevels.end(),
                                   [gain](const GainLevel& g) { return g.gain == gain; });
  context.transmit_level = found != kGainLevels.end() ? found->db : kOtherGainLevel;
  context.level_flag = PayloadByte(context, 2) & 1;
  AckPacket(context);
}

void TonePairCommand(DspContext& context) {
  const std::uint8_t flags = PayloadByte(context, 4);
  if (flags == 0) {
    // A pair not yet past its first tick is running too.
    if (context.dial.tone_running != 0 || context.dial.continuous != 0) StopTonePair(context);
    AckPacket(context);
    return;
  }
  std::int32_t f1 = static_cast<std::int16_t>(PayloadWord(context, 0));
  std::int32_t f2 = static_cast<std::int16_t>(PayloadWord(context, 2));
  const bool gain_from_level = (flags & kToneGainFromLevel) != 0;
  if (gain_from_level) {
    const std::int16_t gain = AfeGain(*context.afe, context.transmit_level);
    context.dial.high_gain = gain;
    context.dial.low_gain = gain;
  }
  if (context.voice_active != 0) {
    f1 = f1 * kVoiceToneScale >> 10;
    f2 = f2 * kVoiceToneScale >> 10;
  }
  if (gain_from_level) {
    StartTonePair(context, f1, f2);
  } else {
    StartTonePair(context, f2, f1);
  }
  AckPacket(context);
}

void SpeakerCommand(DspContext& context) {
  const ULONG volume = PayloadByte(context, 0) & 3;
  if ((context.profile.flags & 1) != 0) SetAfeSpeaker(*context.afe, volume);
  if ((context.profile.flags & 2) != 0) SoundSetLevel(*context.afe, 3, volume);
  AckPacket(context);
}

void CallerIdModeCommand(DspContext& context) {
  AfeAccess& afe = *context.afe;
  const std::uint8_t type = PayloadByte(context, 2);
  switch (PayloadByte(context, 0)) {
    case kCallerIdOff: {
      context.caller_id_hook = 0;
      const bool keep =
          (context.caller_id_config & kCallerIdKeepsHook) != 0 && context.dial_call_state == 0;
      if (!keep && afe.hook != 0) SetAfeHook(afe, 0);
      break;
    }
    case kCallerIdOnHook:
      context.caller_id_hook = 1;
      if (afe.hook == 0) SetAfeHook(afe, 1);
      StartCallerId(context, type);
      break;
    case kCallerIdWhileMonitoring: {
      context.dial_call_state = kCallProgressCallerId;
      context.caller_id_hook = 1;
      const std::int32_t mode = context.call.mode;
      StartCallerId(context, type);
      context.call.mode = mode;
      FreezeFskGain(context, kCallerIdMantissa, kCallerIdExponent);
      context.caller_id.enable = 1;
      context.detectors.agc.word = kCallerIdAgcWord;
      SetDpStatus(*context.host, kStatusCallerId, false);
      break;
    }
    default:
      break;
  }
  AckPacket(context);
}

void VoiceIdleCommand(DspContext& context) {
  SetDpStatus(*context.host, kStatusIdle, false);
  SetIdleMode(context);
  AckPacket(context);
}

void MonitorConfigCommand(DspContext& context) {
  if (context.packet.length == 2) {
    context.caller_id_config = PayloadByte(context, 0);
  } else if (context.packet.length == 8) {
    ConfigureToneMonitor(context);
  }
  AckPacket(context);
}

}  // namespace pump
