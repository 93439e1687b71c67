// The fax receiver's decisions: the nearest point of the rate's signal set
// to the equaliser output, the phase change from the previous symbol and
// the bits it carries (before the descrambler); and the training
// references, the known points of the conditioning segments.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_record.h"
#include "pump/fax/fax_scramblers.h"

namespace pump {

struct FaxDecision {
  std::int32_t point;  // the point number in the rate's set
  std::int32_t phase;  // V.27ter: the point; V.29: the point's phase in eighths
  std::uint32_t bits;  // the symbol's bits, the first in bit 0
};

// V.27ter (2400, 4800) and V.29 (4800, 7200, 9600) by the mode word, from
// the equaliser output (64 times the set's units) and the previous phase.
FaxDecision FaxDecideUncoded(std::uint16_t mode_word, std::int32_t i, std::int32_t q, std::int32_t previous_phase);

// The configured decision on the record's equaliser output: the decided
// point (64 times the set's units), its number, the phase change and the
// bits; V.17 takes the trellis decoder's tentative decision.
void FaxDecide(FaxRxRecord& rx);

// The next training point from the local generator, written as the
// decided point: V.27ter scrambled ones (the first of three bits turns the
// phase by half a turn), V.29 C or D by 1 + x^-6 + x^-7, V.17 A to D by two
// bits of 1 + x^-18 + x^-23 scrambled ones.
void FaxTrainingReference(FaxRxRecord& rx);

// V.27ter: twelve outputs, the newest in bit 11 (the transmitter's seed read the other way).
inline constexpr std::uint32_t kFaxV27terTrainingSeed = 0x3D0;

}  // namespace pump
