// V.17's training measurements: during a long training's conditioning a
// 24-tap complex filter per symbol parity (sets A and B) predicts a
// delay-line sample from the decided points; a reference measurement
// reduces both tap sets to the DC component of the alternation analysis
// and, from its running average, takes its angle. The end of the bridge
// saves it with the equaliser, jitter and timing state as the snapshot a
// short training starts from; the short training measures the same angle
// on the alternation itself and turns its carrier phase by the difference.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_record.h"

namespace pump {

// The measurement accumulators and the filters cleared.
void FaxMeasureClear(FaxTrainRecord& t);

// One symbol of the measurement filter (while enabled): the prediction,
// the residual and, on all symbols but each 64th, the adaptation. The
// step moves toward 0x10000000 by 1/256 a symbol.
void FaxMeasureStep(FaxRxRecord& rx);

// A reference measurement from the two tap sets.
void FaxReferenceMeasurement(FaxRxRecord& rx);

// The short training's measurement: group 1's DC component in place of
// the tap sets'.
void FaxAlternationMeasurement(FaxRxRecord& rx);

// Saves the snapshot (equaliser taps, jitter coefficients, timing
// reference pair and integrator, carrier frequency, the DC angle).
void FaxSaveSnapshot(FaxRxRecord& rx);

// Restores the snapshot into the receiver (both tap copies, the jitter
// coefficients with the jitter state cleared, the timing and the carrier
// frequency).
void FaxLoadSnapshot(FaxRxRecord& rx);

}  // namespace pump
