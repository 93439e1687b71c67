// The band filter (two sections in series, each with its zeros on the unit
// circle) and the energy detector built on it: the rectified filter output
// averaged, compared with an on and an off threshold once per block, and
// reported once it stayed above for a minimum number of blocks.
#pragma once

#include <cstdint>
#include <span>

#include "pump/detect/coefficients.h"

namespace pump {

struct BandFilter {
  const BandFilterCoefficients* coefficients;
  std::int32_t x1, x2;  // input history
  std::int32_t s1, s2;  // first section's output history
  std::int32_t z1, z2;  // second section's output history
};

// One sample through the filter; the result is the second section's output
// >> 16. Values that would pass 32 bits on a full-scale input are held at
// the 32-bit range.
std::int32_t RunBandFilter(BandFilter& filter, std::int32_t x);

struct EnergyDetector {
  const EnergyRecord* record;
  BandFilter filter;
  std::int32_t average;
  std::int32_t below;  // blocks in a row below the off threshold
  std::int16_t above;  // blocks in a row at or above the on threshold
};

// Binds the detector to its record and clears it.
void InitEnergyDetector(EnergyDetector& detector, const EnergyRecord& record);

// Clears the filter's histories, the average and both counts.
void ClearEnergyDetector(EnergyDetector& detector);

// One block: the average follows each sample; after the block a level
// (average >> 16) at or above the on threshold counts a block above, one
// below the off threshold a block below, and one in between leaves both.
// True while the blocks above reach `minimum_count`. An empty block changes
// nothing.
bool RunEnergyDetector(std::span<const std::int32_t> samples, EnergyDetector& detector,
                       int minimum_count);

}  // namespace pump
