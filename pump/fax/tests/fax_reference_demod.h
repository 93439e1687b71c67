// A coherent reference demodulator in double precision for the fax
// transmitter's line signal at 9600 Hz: the carrier and the symbol rate are
// known, the echo-protection tone gives the carrier's phase and the level,
// and each symbol is decided as the nearest point of a given set.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace pump::testing {

struct FaxReferenceLine {
  double carrier_hz;
  int samples_per_symbol;
  // The tone's point in the units the decisions use.
  std::complex<double> tone_point;
  // The receive filter's roll-off, matched to the transmitter's shaping.
  double rolloff;
};

// One symbol decision: the nearest point's index in the set, or -1 for
// silence (below a fifth of the tone's magnitude).
using FaxDecisions = std::vector<int>;

// The symbols' values in the tone point's units, one per symbol from the
// first after the tone's silence (the first above half the tone), sampled
// at the timing phase with the widest eye.
std::vector<std::complex<double>> FaxReferenceSymbols(std::span<const std::int16_t> line, const FaxReferenceLine& how);

// The index of the point of `points` nearest to `y`.
int FaxReferenceNearest(std::complex<double> y, std::span<const std::complex<double>> points);

// One decision per symbol of FaxReferenceSymbols.
FaxDecisions FaxReferenceDecide(std::span<const std::complex<double>> symbols, const FaxReferenceLine& how,
                                std::span<const std::complex<double>> points);

}  // namespace pump::testing
