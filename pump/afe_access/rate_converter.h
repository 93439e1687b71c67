// The sound path's rate converter: linear interpolation from the line rate
// to 8000 Hz, block by block. Output i falls at input position i * step
// (Q15), counted from the first sample ever converted, so the blocks join
// without a seam: an output between two blocks interpolates the previous
// block's last sample and the new block's first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pump {

inline constexpr std::int32_t kSoundPathRate = 8000;  // Hz

struct RateConverter {
  std::int32_t phase;        // Q15 fraction between two input samples
  std::int32_t step;         // Q15 input samples per output sample
  std::int32_t last_sample;  // the previous block's last input sample
  std::int32_t start_index;  // 1 - index of the next block's first interpolation pair
};

// The Q15 ratio rate / target, held to 1 .. 2^30; 1:1 (32768) when either
// is not positive.
std::int32_t ConverterStep(std::int32_t rate, std::int32_t target);

// Starts the converter over at the ratio rate / target. A rate or target of
// 0 or less gives 1:1 and the result -1; otherwise 0.
int InitRateConverter(RateConverter& converter, std::int32_t rate, std::int32_t target);

// Converts one input block; returns the number of outputs written. Outputs
// beyond `out` are dropped, but the converter's position still moves past
// them, so the next block stays in step.
std::size_t ConvertBlock(RateConverter& converter, std::span<const std::int16_t> in,
                         std::span<std::int16_t> out);

}  // namespace pump
