#include "pump/voice/voice_mode.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "pump/afe_access/afe_requests.h"
#include "pump/commands/voice_resources.h"
#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/voice/sound_path_entries.h"
#include "pump/voice/speakerphone.h"
#include "pump/voice/voice_reports.h"
#include "pump/voice/voice_sequences.h"

namespace pump {
namespace {

constexpr ULONG kProfileLineToAppLevel = 1u << 1;
constexpr ULONG kProfileAppToLineLevel = 1u << 2;
constexpr ULONG kKindLineToAppStart = 1;  // the front end refuses both (-15); voice goes on
constexpr ULONG kKindAppToLineStart = 2;
constexpr ULONG kKindLineToApp = 3;
constexpr ULONG kKindAppToLine = 4;
constexpr ULONG kSoundKindSpeakerphone = 4;  // request 37: the first microphone floor table
constexpr std::int16_t kSilenceThreshold = -40;
constexpr std::uint8_t kSilenceSensitivity = 1;
constexpr std::uint8_t kSilenceTime = 35;
// Microphone level index 5 (bits 12-15), speaker volume 5 (bits 8-11).
constexpr std::int16_t kVoiceGainStart = 0x5500;

// Rate code -> resampler codes: voice rate to 8000 Hz (play) and back.
struct VoiceRate {
  std::int32_t play;
  std::int32_t record;
};
constexpr std::array<VoiceRate, 5> kVoiceRates = {{
    {4880, 8048},   // 4800 Hz
    {7280, 8072},   // 7200 Hz
    {0, 0},         // 8000 Hz: none
    {9680, 8096},   // 9600 Hz
    {11080, 80110}, // 11025 Hz
}};
constexpr std::int32_t kRateCode8000 = 2;
constexpr std::int32_t kDetectorRate = 8096;  // 8000 Hz to 9600 Hz

void BindResamplers(DspContext& context) {
  VoiceArea& voice = context.voice;
  const VoiceResources& resources = context.resources.voice;
  InitResampler(voice.play, resources.fir[kVoiceFirPlay]);
  InitResampler(voice.record, resources.fir[kVoiceFirRecord]);
  InitResampler(voice.detector, resources.fir[kVoiceFirDetector]);
  BindSoundPathResamplers(context);
}

}  // namespace

void InitVoice(DspContext& context) {
  VoiceArea& voice = context.voice;
  context.voice_active = 0;
  voice.start_pending = 0;
  voice.streams = {};
  voice.route[0] = voice.route[1] = 0;
  voice.speakerphone_request = 0;
  voice.gain_word = kVoiceGainStart;
  voice.floor_table = 0;
  voice.dialler_sends = 0;
  voice.silence = {0, kSilenceThreshold, kSilenceSensitivity, kSilenceTime, 0, 0, 0};
  InitResampler(voice.play, nullptr);
  InitResampler(voice.record, nullptr);
  InitResampler(voice.detector, nullptr);
  InitResampler(voice.speakerphone.sound_down, nullptr);
  InitResampler(voice.speakerphone.sound_up, nullptr);
  GoVoiceSequences(context, kVoiceNone);
}

void ResetVoiceSequencer(DspContext& context) {
  VoiceArea& voice = context.voice;
  voice.tx = {};
  voice.rx = {};
  GoVoiceSequences(context, kVoiceNone);
  BindResamplers(context);
}

void ResetVoiceState(DspContext& context) {
  VoiceArea& voice = context.voice;
  voice.codec = kVoiceCodecStart;
  voice.leftover_count = 0;
  std::fill(std::begin(voice.line_in), std::end(voice.line_in), std::int16_t{0});
  std::fill(std::begin(voice.line_out), std::end(voice.line_out), std::int16_t{0});
  std::fill(std::begin(voice.sound_in), std::end(voice.sound_in), std::int16_t{0});
  std::fill(std::begin(voice.sound_out), std::end(voice.sound_out), std::int16_t{0});
  voice.sound_in_count = 0;
  voice.sound_out_count = 0;
  voice.play.phase = 0;
  voice.record.phase = 0;
  voice.detector.phase = 0;
}

void VoiceStart(DspContext& context, std::int32_t rate_code, std::int32_t codec_type,
                std::int32_t sequence_type) {
  VoiceArea& voice = context.voice;
  AfeAccess& afe = *context.afe;
  SpeakerphoneReset(context);
  SoundStopLineStream(afe);
  SetAfeLineOption(afe, 0);
  BindResamplers(context);

  SelectVoiceSequences(context, kVoiceNone);
  ResetVoiceState(context);
  WriteTxSamples(afe, std::span<const std::int16_t>(voice.line_out, kVoiceBlock));

  if (rate_code < 0 || rate_code >= static_cast<std::int32_t>(kVoiceRates.size())) {
    rate_code = kRateCode8000;
  }
  voice.rate_code = rate_code;
  voice.codec_type = codec_type;
  voice.sequence_type = sequence_type;
  voice.routines = SelectVoiceCodec(codec_type);
  voice.line_rate = kVoiceLineRate;
  voice.line_block = kVoiceBlock;
  ConfigureResampler(voice.detector, kDetectorRate);
  voice.resampled = rate_code != kRateCode8000 ? 1 : 0;
  if (voice.resampled != 0) {
    ConfigureResampler(voice.play, kVoiceRates[static_cast<std::size_t>(rate_code)].play);
    ConfigureResampler(voice.record, kVoiceRates[static_cast<std::size_t>(rate_code)].record);
  }

  if (context.dial_call_state == 2) {
    ResetVoiceDetectors(context);
    EnterVoice(context);
  } else {
    voice.start_pending = 1;
  }
}

void EnterVoice(DspContext& context) {
  VoiceArea& voice = context.voice;
  AfeAccess& afe = *context.afe;
  voice.start_pending = 0;
  context.mode_block = VoiceBlock;
  context.voice_active = 1;
  SetAfeRate(afe, kVoiceBlock, kVoiceLineRate);
  if ((context.profile.flags & kProfileAppToLineLevel) != 0) {
    SoundSetLevel(afe, kKindAppToLineStart, static_cast<ULONG>(voice.levels[1]));
  }
  if ((context.profile.flags & kProfileLineToAppLevel) != 0) {
    SoundSetLevel(afe, kKindLineToAppStart, static_cast<ULONG>(voice.levels[0]));
  }
  ResetVoiceDetectors(context);
  SelectVoiceSequences(context, voice.sequence_type);
  SpeakerphoneReset(context);
  SetDpStatus(*context.host, kStatusVoice, false);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

void StopVoice(DspContext& context) {
  VoiceArea& voice = context.voice;
  SetVoiceStreams(context, false, false);
  voice.streams.speakerphone = 0;
  voice.start_pending = 0;
  context.voice_active = 0;
  voice.dialler_sends = 0;
  GoVoiceSequences(context, kVoiceNone);
  SoundStartLineStream(*context.afe);
  ResetVoiceDetectors(context);
}

void SelectVoiceSequences(DspContext& context, std::int32_t type) {
  const std::int32_t line_mode = context.voice.line_mode;
  switch (type) {
    case kVoicePlay:
      if (line_mode == 7) {
        SetVoiceStreams(context, true, context.voice.streams.app_to_line != 0);
        type = kVoicePlaySpeaker;
      } else {
        SetVoiceStreams(context, false, false);
      }
      break;
    case kVoicePlaySpeaker:
      SetVoiceStreams(context, true, context.voice.streams.app_to_line != 0);
      break;
    case kVoiceRecord:
      if (line_mode == 6) {
        SetVoiceStreams(context, context.voice.streams.line_to_app != 0, true);
        type = kVoiceRecordMic;
      } else {
        SetVoiceStreams(context, false, false);
      }
      break;
    case kVoiceRecordMic:
      SetVoiceStreams(context, context.voice.streams.line_to_app != 0, true);
      break;
    case kVoiceIdle:
      break;
    default:
      type = kVoiceNone;
      break;
  }
  GoVoiceSequences(context, type);
}

void SetVoiceStreams(DspContext& context, bool line_to_app, bool app_to_line) {
  VoiceStreams& streams = context.voice.streams;
  AfeAccess& afe = *context.afe;
  if ((streams.line_to_app != 0) != line_to_app) {
    if (line_to_app) {
      SoundStartLineStreamNow(afe);
    } else {
      SoundStopLineStreamNow(afe);
    }
    streams.line_to_app = line_to_app ? 1 : 0;
  }
  if ((streams.app_to_line != 0) != app_to_line) {
    if (app_to_line) {
      SoundStartAppStream(afe);
    } else {
      SoundStopAppStream(afe);
    }
    streams.app_to_line = app_to_line ? 1 : 0;
  }
  if (!line_to_app || !app_to_line) streams.speakerphone = 0;
}

void SetSpeakerphone(DspContext& context, bool on) {
  VoiceArea& voice = context.voice;
  AfeAccess& afe = *context.afe;
  if (on) {
    // The front end names its sound device; anything but the speakerphone
    // kind, a refusal included, selects the second microphone floor table.
    ULONG kind = 0;
    const bool known = SoundRequest37(afe, kind) == 0;
    voice.floor_table = known && kind == kSoundKindSpeakerphone ? 0 : 1;
    SoundStartBoth(afe);
    SpeakerphoneReset(context);
  } else {
    SoundStopBoth(afe);
  }
  voice.streams.line_to_app = on ? 1 : 0;
  voice.streams.app_to_line = on ? 1 : 0;
  voice.streams.speakerphone = on ? 1 : 0;
}

void SetLineToAppLevel(DspContext& context, std::int32_t level) {
  if ((context.profile.flags & kProfileLineToAppLevel) == 0) return;
  context.voice.levels[0] = level;
  SoundSetLevel(*context.afe, kKindLineToApp, static_cast<ULONG>(level));
}

void SetAppToLineLevel(DspContext& context, std::int32_t level) {
  if ((context.profile.flags & kProfileAppToLineLevel) == 0) return;
  context.voice.levels[1] = level;
  SoundSetLevel(*context.afe, kKindAppToLine, static_cast<ULONG>(level));
}

void ApplyVoiceGain(DspContext& context, std::int16_t gain_word) {
  if (context.voice.streams.speakerphone != 0 ||
      (context.profile.flags & kProfileLineToAppLevel) == 0) {
    return;
  }
  const int volume = (gain_word >> 8) & 0xF;
  const std::int32_t level = volume <= 2 ? 3 : volume <= 6 ? 2 : volume <= 10 ? 1 : 0;
  SetLineToAppLevel(context, level);
  context.voice.gain_word = static_cast<std::int16_t>(gain_word & 0xF000);
}

}  // namespace pump
