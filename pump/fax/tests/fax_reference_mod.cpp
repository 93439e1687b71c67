#include "pump/fax/tests/fax_reference_mod.h"

#include <cmath>
#include <numbers>

namespace pump::testing {

double FaxRootRaisedCosine(double t, double beta) {
  const double pi = std::numbers::pi;
  if (std::abs(t) < 1e-9) return 1 - beta + 4 * beta / pi;
  if (std::abs(std::abs(4 * beta * t) - 1) < 1e-9) {
    return beta / std::numbers::sqrt2 *
           ((1 + 2 / pi) * std::sin(pi / (4 * beta)) + (1 - 2 / pi) * std::cos(pi / (4 * beta)));
  }
  return (std::sin(pi * t * (1 - beta)) + 4 * beta * t * std::cos(pi * t * (1 + beta))) /
         (pi * t * (1 - 16 * beta * beta * t * t));
}

std::complex<double> FaxReferenceAnalyticAt(std::span<const std::complex<double>> symbols,
                                            const FaxReferenceCarrier& how, double delay_samples, double n) {
  const double per_symbol = 9600 / how.symbol_rate;
  const double centre = (n - delay_samples) / per_symbol;  // in symbols
  std::complex<double> baseband = 0;
  for (auto k = static_cast<long>(std::ceil(centre - 8)); k <= static_cast<long>(std::floor(centre + 8)); ++k) {
    if (k < 0 || k >= static_cast<long>(symbols.size())) continue;
    baseband += FaxRootRaisedCosine(centre - static_cast<double>(k), how.rolloff) * symbols[static_cast<std::size_t>(k)];
  }
  return baseband * std::polar(1.0, 2 * std::numbers::pi * how.carrier_hz * n / 9600);
}

}  // namespace pump::testing
