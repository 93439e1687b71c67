#include "pump/voice/speakerphone.h"

#include <algorithm>

#include "pump/voice/sound_path_entries.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr ULONG kProfileAcoustic = 1u << 10;
constexpr ULONG kProfileFullPath = 1u << 11;
constexpr std::int32_t kAcousticStep = 0x20000;

int MicIndex(const DspContext& context) {
  return (static_cast<std::uint16_t>(context.voice.gain_word) >> 12) & 0xF;
}
int SpeakerIndex(const Speakerphone& phone) { return (phone.far.control >> 8) & 0xF; }

const PeakFloors& MicFloors(const VoiceArea& voice) {
  return voice.floor_table == 0 ? kMicFloorsSpeakerphone : kMicFloorsOther;
}

}  // namespace

void SpeakerphoneReset(DspContext& context) {
  VoiceArea& voice = context.voice;
  Speakerphone& phone = voice.speakerphone;
  phone.full = (context.profile.flags & kProfileFullPath) != 0 ? 1 : 0;
  phone.acoustic = (context.profile.flags & kProfileAcoustic) != 0 ? 1 : 0;
  ResetPeakAgc(phone.mic, MicFloors(voice), kMicAgcLimits);
  ResetFarEndChain(phone.far);
  ResetActivityDetector(phone.mic_activity);
  ResetActivityDetector(phone.line_activity);
  phone.line_dc = {};
  // The acoustic canceller's state: its delay index and the step of its
  // LMS filter (nothing adapts it yet).
  phone.far_index = kFarEndDelayStart;
  if (context.resources.voice.lms != nullptr) {
    qvlsLMSSetStep_i16(context.resources.voice.lms, kAcousticStep);
  }
}

void SpeakerphoneBlock(DspContext& context) {
  VoiceArea& voice = context.voice;
  Speakerphone& phone = voice.speakerphone;
  const std::size_t n = voice.line_count;
  // The line gets a whole block: missing microphone samples are silence.
  if (voice.sound_in_count < n) {
    std::fill(voice.sound_in + voice.sound_in_count, voice.sound_in + n, std::int16_t{0});
    voice.sound_in_count = static_cast<std::uint16_t>(n);
  }
  const std::span mic(voice.sound_in, n);
  const std::span line(voice.line_in, n);
  RunPeakAgc(phone.far.speaker, line, SpeakerIndex(phone));
  RunPeakAgc(phone.mic, mic, MicIndex(context));
}

}  // namespace pump
