// The fax receiver's decision-directed loops: the error against the
// decided point, the carrier phase and frequency loop, the amplitude loop
// and the 64-tap phase-jitter predictor.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_record.h"

namespace pump {

// 1/m for a point magnitude m (about 2^18 / m), from the 64-entry table.
std::int32_t FaxReciprocal(std::int32_t m);

// Every second symbol, with jitter tracking on: the prediction from the
// coefficients and the history (held on the other symbols, 0 with tracking
// off).
void FaxJitterPredict(FaxRxRecord& rx);

// The error y - d and the carrier, amplitude and phase updates it drives.
void FaxLoops(FaxRxRecord& rx);

// The jitter history and, with jitter adaptation on, the coefficients.
void FaxJitterAdapt(FaxRxRecord& rx);

}  // namespace pump
