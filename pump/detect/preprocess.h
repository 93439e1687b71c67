// The receive front end that the procedures before a connection run over
// each input block: DC removal, this modem's own tone rejected, the AGC.
#pragma once

#include <cstdint>
#include <span>

#include "pump/detect/agc.h"
#include "pump/detect/band_filter.h"
#include "pump/detect/dc_remove.h"

namespace pump {

enum PreprocessFlags : unsigned {
  kPreprocessDcRemoval = 1,  // DcRemove into `output`; without it `output` is a copy
  kPreprocessRejection = 2,  // the rejection filter over `output` into `filter_output`
  kPreprocessAgc = 4,        // the AGC over `filter_output` (when filtered) or `output`
};

// One block of `input.size()` samples (each output span must hold as many).
// The rejection and AGC stages run only with their record.
void PreprocessRx(unsigned flags, std::span<const std::int16_t> input, DcRemovalState& dc,
                  std::span<std::int32_t> output, BandFilter* rejection,
                  std::span<std::int32_t> filter_output, AgcGain* agc,
                  std::span<std::int32_t> agc_output);

}  // namespace pump
