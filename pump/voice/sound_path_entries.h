// The speakerphone's four sound-path entries, in the front end's order:
// (1) a near-end block and (2) a far-end block at 8000 Hz, which only move
// the far-end delay index (no acoustic canceller runs), (3) 48000 Hz to
// 8000 Hz and (4) 8000 Hz to 48000 Hz in place, in pieces of 480 and 80
// samples. The driver frame finds the device and calls these.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::size_t kSoundPathBlockLimit = 802;  // bytes: larger blocks are left alone
inline constexpr std::int32_t kFarEndDelayLine = 8512;    // samples
inline constexpr std::int32_t kFarEndDelayStart = 512;

// The two resamplers over the voice resources' FIR blocks.
void BindSoundPathResamplers(DspContext& context);
// Entries 1 and 2: the block passes unchanged; the samples it holds move
// the far-end delay index on.
void SoundPathNearEnd(DspContext& context, std::size_t bytes);
void SoundPathFarEnd(DspContext& context, std::size_t bytes);
// Entry 3: whole pieces of 480 samples become 80 each at the buffer's
// start; the number of pieces.
std::int32_t SoundPathDown(DspContext& context, std::span<std::int16_t> samples);
// Entry 4: `count` samples at the buffer's start, whole pieces of 80,
// become 480 each; the buffer holds six times `count`. The number of pieces.
std::int32_t SoundPathUp(DspContext& context, std::span<std::int16_t> buffer, std::size_t count);

}  // namespace pump
