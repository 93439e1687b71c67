// The voice entry of the mode resources: the 64-point real FFT (order 6,
// no scaling, flag 8) that the tone and band classifiers share and its work
// buffer; five resampler FIR state blocks (128 taps each); the
// speakerphone's 512-tap LMS state and its own order-6 FFT and work buffer.
#pragma once

#include <cstdint>

#include "pump/context/mode_areas.h"

namespace pump {

inline constexpr std::int32_t kVoiceFftOrder = 6;
inline constexpr std::int32_t kVoiceFftFlag = 8;
inline constexpr std::int32_t kVoiceLmsTaps = 512;

// The FIR state blocks by use.
enum VoiceFir : int {
  kVoiceFirPlay = 0,
  kVoiceFirRecord = 1,
  kVoiceFirDetector = 2,
  kVoiceFirSoundIn = 3,   // the speakerphone's 48000 to 8000 Hz
  kVoiceFirSoundOut = 4,  // and back
};

// False when the library or the pool refused; what was made stays for FreeVoice.
bool AllocVoice(ModeResources& resources);
// Frees what is there and clears the pointers.
void FreeVoice(ModeResources& resources);

}  // namespace pump
