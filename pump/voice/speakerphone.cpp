#include "pump/voice/speakerphone.h"

#include <algorithm>
#include <array>

#include "pump/voice/sound_path_entries.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr ULONG kProfileAcoustic = 1u << 10;
constexpr ULONG kProfileFullPath = 1u << 11;
constexpr std::int32_t kAcousticStep = 0x20000;
constexpr std::int32_t kEchoLead = 15;  // taps before the echo's measured delay
constexpr std::int16_t kProbeAmplitude = 4000;

std::int16_t ProbeNoise(std::uint32_t& r) {
  const std::uint32_t c = 1u ^ ((r >> 22) & 1u) ^ ((r >> 4) & 1u);
  r = r << 1 | c;
  return c != 0 ? kProbeAmplitude : static_cast<std::int16_t>(-kProbeAmplitude);
}

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
  const afe::AfeInfo& info = context.afe_info;
  const std::int32_t n = kVoiceBlock;
  ResetLineEcho(phone.echo, n, n * (info.LatencyLessOne + info.One) + info.Constant28 - kEchoLead);
  LoadEchoProfile(phone.echo, voice.vov_profile, voice.vov_profile_bytes);
  phone.probe = 0;
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
  if (phone.full == 0) {
    RunPeakAgc(phone.far.speaker, line, SpeakerIndex(phone));
    RunPeakAgc(phone.mic, mic, MicIndex(context));
    return;
  }
  LineEcho& echo = phone.echo;
  const auto n32 = static_cast<std::int32_t>(n);
  RunActivityDetector(phone.mic_activity, mic);
  PushRing(echo.mic, echo.at, mic);
  HighPass2(phone.line_dc, line);
  RunActivityDetector(phone.line_activity, line);
  PushRing(echo.line, echo.at, line);
  echo.at = static_cast<std::int32_t>(RingIndex(std::int64_t{echo.at} - n32));

  // Speech has just started on a quiet line: send the probe in place of
  // the samples not yet sent.
  if ((phone.mic_activity.history & 0xF) == 0x1 && (phone.line_activity.history & 1) == 0 &&
      echo.searches_left > 0 && echo.countdown <= 0) {
    echo.countdown = kEchoSearchBlocks;
    echo.search_at = static_cast<std::int32_t>(RingIndex(std::int64_t{echo.at} + 5 * n32));
    for (std::int32_t t = 0; t < 4 * n32; ++t) {
      RingAt(echo.mic, std::int64_t{echo.search_at} - t) = ProbeNoise(phone.probe);
    }
  }

  std::array<std::int16_t, kVoiceLineSamples> uncancelled;
  RunLineEcho(echo, line, std::span(uncancelled.data(), n), phone.line_activity.floor,
              std::span<std::uint8_t, kProfileImageBytes>(voice.vov_profile, kProfileImageBytes),
              voice.vov_profile_bytes);
  RunFarEndChain(phone.far, std::span<const std::int16_t>(uncancelled.data(), n), line);

  // The microphone goes out 4n + 1 samples late; outside the probe the
  // ring keeps what was sent, the gain stage's output.
  for (std::int32_t i = 0; i < n32; ++i) {
    std::int16_t& sent = RingAt(echo.mic, std::int64_t{echo.at} + 5 * n32 - i + 1);
    if (echo.countdown < 4) sent = RunPeakAgc(phone.mic, sent, MicIndex(context));
    mic[static_cast<std::size_t>(i)] = sent;
  }
}

}  // namespace pump
