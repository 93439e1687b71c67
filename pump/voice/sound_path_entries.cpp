#include "pump/voice/sound_path_entries.h"

#include <algorithm>
#include <array>

#include "pump/commands/voice_resources.h"

namespace pump {
namespace {

constexpr std::int32_t kDownCode = 488;  // 480 samples at 48000 Hz to 80 at 8000 Hz
constexpr std::int32_t kUpCode = 848;
constexpr std::size_t kWide = 480;
constexpr std::size_t kNarrow = 80;

void Advance(DspContext& context, std::size_t bytes) {
  if (bytes >= kSoundPathBlockLimit) return;
  Speakerphone& phone = context.voice.speakerphone;
  phone.far_index = static_cast<std::int32_t>(
      (phone.far_index + static_cast<std::int32_t>(bytes / sizeof(std::int16_t))) % kFarEndDelayLine);
}

}  // namespace

void BindSoundPathResamplers(DspContext& context) {
  Speakerphone& phone = context.voice.speakerphone;
  const VoiceResources& resources = context.resources.voice;
  InitResampler(phone.sound_down, resources.fir[kVoiceFirSoundIn]);
  InitResampler(phone.sound_up, resources.fir[kVoiceFirSoundOut]);
  ConfigureResampler(phone.sound_down, kDownCode);
  ConfigureResampler(phone.sound_up, kUpCode);
}

void SoundPathNearEnd(DspContext& context, std::size_t bytes) { Advance(context, bytes); }
void SoundPathFarEnd(DspContext& context, std::size_t bytes) { Advance(context, bytes); }

std::int32_t SoundPathDown(DspContext& context, std::span<std::int16_t> samples) {
  Resampler& down = context.voice.speakerphone.sound_down;
  const std::size_t pieces = samples.size() / kWide;
  std::array<std::int16_t, kWide> piece;
  std::array<std::int16_t, kResamplerBufferSamples> out{};
  for (std::size_t k = 0; k < pieces; ++k) {
    std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(k * kWide), kWide, piece.begin());
    if (Resample(down, piece, out, down.phase, 0) != QVLS_OK) out.fill(0);
    std::copy_n(out.begin(), kNarrow, samples.begin() + static_cast<std::ptrdiff_t>(k * kNarrow));
  }
  return static_cast<std::int32_t>(pieces);
}

std::int32_t SoundPathUp(DspContext& context, std::span<std::int16_t> buffer, std::size_t count) {
  Resampler& up = context.voice.speakerphone.sound_up;
  const std::size_t pieces = std::min(count, buffer.size() / 6) / kNarrow;
  const std::size_t m = pieces * kNarrow;
  // The input moves to the upper part, so each piece's output (six times
  // longer) lands below the pieces still to be read.
  const auto upper = buffer.begin() + static_cast<std::ptrdiff_t>(5 * m);
  std::copy_backward(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(m),
                     upper + static_cast<std::ptrdiff_t>(m));
  std::array<std::int16_t, kNarrow> piece;
  std::array<std::int16_t, kResamplerBufferSamples> out{};
  std::int32_t phase = 0;
  for (std::size_t k = 0; k < pieces; ++k) {
    std::copy_n(upper + static_cast<std::ptrdiff_t>(k * kNarrow), kNarrow, piece.begin());
    phase = 0;
    if (Resample(up, piece, out, phase, 0) != QVLS_OK) out.fill(0);
    std::copy_n(out.begin(), kWide, buffer.begin() + static_cast<std::ptrdiff_t>(k * kWide));
  }
  return static_cast<std::int32_t>(pieces);
}

}  // namespace pump
