// The resampler's rate codes: one row per code with its factors, its
// nominal block lengths and its filter table. The decimal digits of a code
// name the input and output samples per 10 ms where they fit.
#pragma once

#include <cstdint>

#include "pump/resampler/filter_design.h"

namespace pump {

struct ResamplerRate {
  std::int32_t code;
  std::int16_t up;             // L
  std::int16_t down;           // M
  std::int32_t input_length;   // samples per block
  std::int32_t output_length;  // per block; nominal where input x L / M is not whole
  const ResamplerFilterDesign* filter;
};

// The row of a code; any code without a row of its own gets the default
// row (L 5, M 6, 96 in, 80 out, the filter of code 9680).
const ResamplerRate& FindResamplerRate(std::int32_t code);

}  // namespace pump
