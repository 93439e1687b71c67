// The 8-state Viterbi decoder of the trellis rates: branch metrics are the
// subsets' squared distances, survivors are kept for 16 symbols and the
// symbol decided 15 symbols earlier comes out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "pump/v32/slicer.h"

namespace pump::v32 {

inline constexpr int kDecisionDelay = 15;

struct Viterbi {
  struct Survivor {
    std::uint8_t previous;
    std::uint16_t index;
  };
  std::array<std::int64_t, 8> metrics{};
  std::array<std::array<Survivor, 8>, kDecisionDelay + 1> survivors{};
  std::uint32_t time = 0;  // symbols seen
};

void ResetViterbi(Viterbi& v);

// Adds one symbol's subset candidates; once 15 symbols are behind, returns
// the point number decided for the symbol 15 earlier.
std::optional<std::uint16_t> ViterbiStep(Viterbi& v, const std::array<Candidate, 8>& subsets);

}  // namespace pump::v32
