#include "pump/commands/voice_resources.h"

#include "pump/resampler/resampler.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

bool AllocFft(fft16_context*& fft, std::uint8_t*& work) {
  if (qvlsFFTCreate_i16(&fft, kVoiceFftOrder, kVoiceFftFlag, 0) != QVLS_OK || fft == nullptr) {
    return false;
  }
  std::int32_t work_bytes = 0;
  if (qvlsFFTWorkSize_i16(fft, &work_bytes) != QVLS_OK) return false;
  work = qvlsAlloc_u8(work_bytes);
  return work != nullptr;
}

void FreeFft(fft16_context*& fft, std::uint8_t*& work) {
  if (fft != nullptr) qvlsFFTDestroy_i16(fft);
  qvlsFree(work);
  fft = nullptr;
  work = nullptr;
}

}  // namespace

bool AllocVoice(ModeResources& resources) {
  VoiceResources& voice = resources.voice;
  if (!AllocFft(voice.fft, voice.fft_work)) return false;
  for (std::uint8_t*& block : voice.fir) {
    if (!AllocResampler(block)) return false;
  }
  if (qvlsLMSCreate_i16(&voice.lms, nullptr, kVoiceLmsTaps, nullptr, 0, 1, 0, 0) != QVLS_OK ||
      voice.lms == nullptr) {
    return false;
  }
  return AllocFft(voice.echo_fft, voice.echo_fft_work);
}

void FreeVoice(ModeResources& resources) {
  VoiceResources& voice = resources.voice;
  FreeFft(voice.fft, voice.fft_work);
  for (std::uint8_t*& block : voice.fir) FreeResampler(block);
  if (voice.lms != nullptr) qvlsLMSDestroy_i16(voice.lms);
  voice.lms = nullptr;
  FreeFft(voice.echo_fft, voice.echo_fft_work);
}

}  // namespace pump
