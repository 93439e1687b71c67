// ModeResources: the signal-library objects of every mode, allocated by
// the first successful reset command and freed at stop.
//
// The table holds one {allocate, free} entry per mode, in the order phase
// 2, V.34, V.90, V.92, voice, resampler. A mode that is not built yet holds
// one small pool block in its place, so the reset's retry and the stop's
// release are already at work. The voice entry is voice_resources.h.
#pragma once

#include <array>
#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

struct ModeResourceEntry {
  bool (*allocate)(ModeResources& resources);  // false when the pool refused
  void (*free)(ModeResources& resources);      // frees what is there, clears the pointers
};

extern const std::array<ModeResourceEntry, 6> kModeResourceTable;

// qvlsInit (its result is not used), then every entry in order: 1 when all
// succeeded. At the first failure what was allocated is freed again and the
// result is 0, so the next reset starts over without leaking.
std::uint32_t AllocModeResources(DspContext& context);

// Every entry's free, in order; returns 0 (the ready flag's new value).
std::uint32_t FreeModeResources(DspContext& context);

}  // namespace pump
