// What a resampler filter table is and what it promises: its Q15 taps and
// the design its header states, the edges in cycles per sample of the
// up-sampled grid (input rate x L).
#pragma once

#include <cstdint>

namespace pump {

struct ResamplerFilterDesign {
  const std::int32_t* taps;  // Q15, DC gain L
  std::int32_t tap_count;
  double pass_edge;    // the passband ends here ...
  double stop_edge;    // ... and the stopband starts here
  double ripple_db;    // the passband's largest deviation from gain L
  double stopband_db;  // the stopband's least attenuation below gain L
};

}  // namespace pump
