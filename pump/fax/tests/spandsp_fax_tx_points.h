// The points spandsp's fax transmitters send for given data bits, read
// from their pulse-shaping histories: the transmitter starts its data with
// the scrambler, the differential encoder and the trellis encoder cleared,
// as ours do from a zeroed record.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace pump::testing {

enum class SpandspFaxModem { kV27ter, kV29, kV17 };

// The first `symbols` data points of `modem` at `bit_rate` sending `bits`.
std::vector<std::complex<double>> SpandspDataPoints(SpandspFaxModem modem, int bit_rate,
                                                    std::span<const std::uint8_t> bits, int symbols);

// Every point `modem` sends from its start, with the echo-protection tone
// first and, for V.17, the short or long training; marks as data.
std::vector<std::complex<double>> SpandspBurstPoints(SpandspFaxModem modem, int bit_rate, bool short_training,
                                                     int symbols);

// spandsp's V.17 signal set at `bit_rate`, by its own point numbering.
std::span<const std::complex<float>> SpandspV17SignalSet(int bit_rate);

}  // namespace pump::testing
