// The voice entry of the mode resources: the 64-point real FFT (order 6,
// no scaling, flag 8) that the tone and band classifiers share, and its
// work buffer.
#pragma once

#include <cstdint>

#include "pump/context/mode_areas.h"

namespace pump {

inline constexpr std::int32_t kVoiceFftOrder = 6;
inline constexpr std::int32_t kVoiceFftFlag = 8;

// False when the library or the pool refused; what was made stays for FreeVoice.
bool AllocVoice(ModeResources& resources);
// Frees what is there and clears the pointers.
void FreeVoice(ModeResources& resources);

}  // namespace pump
