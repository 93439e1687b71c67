// The theoretical bit-error curves of V.22 (4 points) and V.22bis (16
// points) over SNR, and the errors a measurement may show: the curve a
// margin down, three standard deviations above it.
//
// The SNR is the received signal's power over the noise's, the noise white
// over the line's whole band (0 to 4000 Hz at 8000 samples a second): a
// symbol's energy (power / 600) against the noise density (power / 4000)
// gains 4000 / 600. Coherent decisions, then the differential quadrant (an
// error in a quadrant costs two changes) and the descrambler (each error
// leaves three): 4 points, 6 Q(sqrt(Es/N0)); 16 points (levels 1 and 3 a
// side, Es = 10 a^2), per bit about Q(a/sigma) = Q(sqrt(Es/5N0)), times 3.
#pragma once

#include <cmath>
#include <cstddef>

namespace pump::testing {

inline double BerEsN0(double snr_db) { return std::pow(10.0, snr_db / 10) * 4000.0 / 600.0; }
inline double BerQ(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

inline double TheoreticalBer(int bits_per_symbol, double snr_db) {
  const double es_n0 = BerEsN0(snr_db);
  return bits_per_symbol == 2 ? 6 * BerQ(std::sqrt(es_n0)) : 3 * BerQ(std::sqrt(es_n0 / 5));
}

// Our fixed-point receiver with its adaptive loops may lose this much SNR
// (the sweep measures about 1 to 1.5 dB at 2400 bit/s from 8 to 12 dB).
inline constexpr double kBerMarginDb = 3.0;

inline std::size_t AllowedErrors(int bits_per_symbol, double snr_db, std::size_t bits) {
  const double expected = static_cast<double>(bits) * TheoreticalBer(bits_per_symbol, snr_db - kBerMarginDb);
  return static_cast<std::size_t>(std::ceil(expected + 3 * std::sqrt(expected)));
}

}  // namespace pump::testing
