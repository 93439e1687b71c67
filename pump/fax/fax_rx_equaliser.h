// The fax receiver's 48-tap fractionally spaced equaliser: the doubled
// delay lines, the output with both amplitude corrections and the
// derotation, the adaptation, and the timing detector on the taps'
// spectrum.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_front_end.h"
#include "pump/fax/fax_rx_record.h"

namespace pump {

// The symbol's two half-symbol samples into the delay lines (or the lines
// cleared while a reset is pending), with the 16-symbol energy.
void FaxEqPush(FaxRxRecord& rx, const FaxComplex (&pair)[2]);

// The output: taps times the lines, the first correction, derotation by
// the carrier phase (kept in z) and the second correction (kept in y).
void FaxEqOutput(FaxRxRecord& rx);

// The adaptation error: z minus the decided point, turned back by the
// carrier phase, times the step.
FaxComplex FaxEqError(const FaxRxRecord& rx);

// One adaptation of the taps against `error` (FaxEqError).
void FaxEqAdapt(FaxRxRecord& rx, FaxComplex error);

// The clearing of taps and lines.
void FaxEqClear(FaxRxRecord& rx);

// The timing detector: the taps' response at +1/8 cycle per tap times the
// conjugate of the response at -1/8, against the reference pair; keeps the
// product, the error and the tap sums, and renormalises the reference.
void FaxTimingDetector(FaxRxRecord& rx);

// 32767 cos and sin of the carrier phase.
struct FaxCosSin {
  std::int32_t c;
  std::int32_t s;
};
FaxCosSin FaxCarrier(const FaxRxRecord& rx);

}  // namespace pump
