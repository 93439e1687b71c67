// A reference modulator in double precision for the fax modulations, from
// the recommendations: each symbol shaped by a root-raised-cosine pulse
// (the transmitter's half of a raised-cosine spectrum) and put on the
// carrier as s = I cos wt - Q sin wt, at 9600 Hz.
#pragma once

#include <complex>
#include <span>

namespace pump::testing {

// A root-raised-cosine pulse of roll-off `beta` at `t` symbols from its
// centre (unnormalised).
double FaxRootRaisedCosine(double t, double beta);

struct FaxReferenceCarrier {
  double carrier_hz;
  double symbol_rate;  // symbols a second
  double rolloff;
};

// The analytic line signal at 9600 Hz sample `n` (its real part is the
// line): the sum over symbols k of g(n - k N - delay) S_k e^{j w n}, N the
// samples per symbol, g the root-raised cosine, eight symbols either side.
std::complex<double> FaxReferenceAnalyticAt(std::span<const std::complex<double>> symbols,
                                            const FaxReferenceCarrier& how, double delay_samples, double n);

}  // namespace pump::testing
