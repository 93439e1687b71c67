#include "pump/commands/voice_resources.h"

#include "siglib/qvls.h"

namespace pump {

bool AllocVoice(ModeResources& resources) {
  VoiceResources& voice = resources.voice;
  if (qvlsFFTCreate_i16(&voice.fft, kVoiceFftOrder, kVoiceFftFlag, 0) != QVLS_OK ||
      voice.fft == nullptr) {
    return false;
  }
  std::int32_t work_bytes = 0;
  if (qvlsFFTWorkSize_i16(voice.fft, &work_bytes) != QVLS_OK) return false;
  voice.fft_work = qvlsAlloc_u8(work_bytes);
  return voice.fft_work != nullptr;
}

void FreeVoice(ModeResources& resources) {
  VoiceResources& voice = resources.voice;
  if (voice.fft != nullptr) qvlsFFTDestroy_i16(voice.fft);
  qvlsFree(voice.fft_work);
  voice = {};
}

}  // namespace pump
