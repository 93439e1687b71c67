// The line level of our V.22/V.22bis signal at a transmit level setting,
// worked out from what makes it: the constellation's mean power (10 units
// squared at both rates, the unit 6144), the interpolator pulse's energy a
// symbol (its 128 taps squared over the 16 samples of a symbol), the
// carrier stage (products >> 14: twice the passband sum, half of whose
// power is in each of I and Q) and the gain-table value the setting picks.
// The setting names that gain, not the level: -10 gives about -6 dBm0.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/line/levels.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/afe_access/gain_table.h"
#include "pump/v22/v22_tables.h"

namespace pump::testing {

inline double V22LineDbm0(int setting) {
  double pulse_energy = 0;
  for (const auto& phase : ::pump::v22::kInterpolator) {
    for (const std::int16_t tap : phase) pulse_energy += (tap / 32768.0) * (tap / 32768.0);
  }
  pulse_energy /= 16;
  const double unit = 6144;
  const double baseband = 10 * unit * unit * pulse_energy;
  const double gain = kAfeGainTable[static_cast<std::size_t>(-setting)] / 32768.0;
  const double power = 2 * gain * gain * baseband;
  const double zero_dbm0 = plat::line::RmsAt(0);
  return 10 * std::log10(power / (zero_dbm0 * zero_dbm0));
}

// The noise level for `snr_db` under our signal as it arrives over the
// impaired line (ImpairedDirection): our level at the transmit setting less
// the line's loss. (Counted from the setting's name, the noise sat 4 dB too
// low and the errors came out 3 dB better than the curve.)
inline double V22NoiseDbm0(int setting, double snr_db) {
  return V22LineDbm0(setting) - kImpairedLossDb - snr_db;
}

}  // namespace pump::testing
