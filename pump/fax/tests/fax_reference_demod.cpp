#include "pump/fax/tests/fax_reference_demod.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace pump::testing {
namespace {

// The line mixed down with the carrier; its low-passed value at any
// (fractional) sample time from a Hann-windowed sinc, cutoff 0.6 of the
// symbol rate, eight symbols long: the shaping centres symbols between
// samples.
struct FaxReferenceBaseband {
  std::vector<std::complex<double>> mixed;
  double cutoff;  // cycles per sample
  double half;    // samples

  FaxReferenceBaseband(std::span<const std::int16_t> line, const FaxReferenceLine& how)
      : mixed(line.size()), cutoff(0.6 / how.samples_per_symbol), half(4.0 * how.samples_per_symbol) {
    for (std::size_t n = 0; n < line.size(); ++n) {
      mixed[n] = 2.0 * line[n] * std::polar(1.0, -2 * std::numbers::pi * how.carrier_hz * static_cast<double>(n) / 9600);
    }
  }

  std::complex<double> At(double t) const {
    std::complex<double> acc = 0;
    double sum = 0;
    for (auto m = static_cast<std::ptrdiff_t>(std::ceil(t - half)); m <= static_cast<std::ptrdiff_t>(std::floor(t + half)); ++m) {
      const double x = 2 * cutoff * (t - static_cast<double>(m));
      const double sinc = x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
      const double h = sinc * (0.5 + 0.5 * std::cos(std::numbers::pi * (t - static_cast<double>(m)) / (half + 1)));
      sum += h;
      if (m >= 0 && m < static_cast<std::ptrdiff_t>(mixed.size())) acc += h * mixed[static_cast<std::size_t>(m)];
    }
    return acc / sum;
  }
};

int Nearest(std::complex<double> y, std::span<const std::complex<double>> points) {
  int best = 0;
  double distance = std::numeric_limits<double>::max();
  for (std::size_t p = 0; p < points.size(); ++p) {
    if (std::abs(y - points[p]) < distance) distance = std::abs(y - points[p]), best = static_cast<int>(p);
  }
  return best;
}

}  // namespace

std::vector<std::complex<double>> FaxReferenceSymbols(std::span<const std::int16_t> line, const FaxReferenceLine& how) {
  const FaxReferenceBaseband base(line, how);
  const double sps = how.samples_per_symbol;
  const auto size = static_cast<double>(line.size());
  // The tone: from the first sound, its level settles; the middle half of
  // its run (above half its peak) gives the rotation and scale.
  double n = 0;
  while (n < size && std::abs(base.At(n)) < 1) ++n;
  double peak = 0;
  for (double k = n; k < std::min(size, n + 100 * sps); ++k) peak = std::max(peak, std::abs(base.At(k)));
  while (n < size && std::abs(base.At(n)) < peak / 2) ++n;
  const double tone_start = n;
  while (n < size && std::abs(base.At(n)) >= peak / 2) ++n;
  const double tone_end = n;
  std::complex<double> tone = 0;
  int count = 0;
  for (double k = tone_start + (tone_end - tone_start) / 4; k < tone_end - (tone_end - tone_start) / 4; ++k, ++count) {
    tone += base.At(k);
  }
  const std::complex<double> rotate = how.tone_point / (tone / static_cast<double>(count));
  const double silence = std::abs(how.tone_point) / 5;
  // After the tone's silence, the timing phase (in eighths of a symbol)
  // with the largest mean squared distance from zero over 64 symbols.
  while (n < size && std::abs(base.At(n) * rotate) >= silence) ++n;
  while (n < size && std::abs(base.At(n) * rotate) < silence) ++n;
  const double first = std::max(0.0, n - sps);
  double phase = 0, widest = -1;
  for (double p = 0; p < sps; p += sps / 8) {
    double energy = 0;
    for (int k = 0; k < 64; ++k) energy += std::norm(base.At(first + p + k * sps));
    if (energy > widest) widest = energy, phase = p;
  }
  // The first symbol is the first above half the tone (the shaping's
  // precursors stay below).
  double at = first + phase;
  while (at < size && std::abs(base.At(at) * rotate) < 2.5 * silence) at += sps;
  std::vector<std::complex<double>> symbols;
  for (; at < size; at += sps) symbols.push_back(base.At(at) * rotate);
  return symbols;
}

FaxDecisions FaxReferenceDecide(std::span<const std::int16_t> line, const FaxReferenceLine& how,
                                std::span<const std::complex<double>> points) {
  FaxDecisions decisions;
  for (const std::complex<double> y : FaxReferenceSymbols(line, how)) {
    decisions.push_back(std::abs(y) < std::abs(how.tone_point) / 5 ? -1 : Nearest(y, points));
  }
  return decisions;
}

}  // namespace pump::testing
