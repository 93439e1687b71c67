#include "pump/detect/preprocess.h"

#include <algorithm>

namespace pump {

void PreprocessRx(unsigned flags, std::span<const std::int16_t> input, DcRemovalState& dc,
                  std::span<std::int32_t> output, BandFilter* rejection,
                  std::span<std::int32_t> filter_output, AgcGain* agc,
                  std::span<std::int32_t> agc_output) {
  const std::size_t n = std::min(input.size(), output.size());
  for (std::size_t i = 0; i < n; ++i) {
    output[i] = (flags & kPreprocessDcRemoval) != 0 ? DcRemove(dc, input[i]) : input[i];
  }
  std::span<const std::int32_t> agc_input = output.first(n);
  if ((flags & kPreprocessRejection) != 0 && rejection != nullptr) {
    const std::size_t m = std::min(n, filter_output.size());
    for (std::size_t i = 0; i < m; ++i) filter_output[i] = RunBandFilter(*rejection, output[i]);
    agc_input = filter_output.first(m);
  }
  if ((flags & kPreprocessAgc) != 0 && agc != nullptr) RunAgc(*agc, agc_input, agc_output);
}

}  // namespace pump
