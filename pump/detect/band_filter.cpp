#include "pump/detect/band_filter.h"

#include <algorithm>

#include "pump/core/fixed_point.h"
#include "pump/detect/saturate.h"

namespace pump {
namespace {

// v >> n, or v << -n for a negative n, held to 32 bits.
std::int32_t Shift(std::int64_t v, std::int32_t n) {
  if (n >= 0) return Saturate32(v >> std::min(n, 63));
  return Saturate32(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX) *
                    (std::int64_t{1} << std::min(-n, 31)));
}

}  // namespace

std::int32_t RunBandFilter(BandFilter& f, std::int32_t x) {
  const BandFilterCoefficients& c = *f.coefficients;
  x = Shift(x, c.k - 17);
  const std::int64_t zeros1 = std::int64_t{MulQ31(c.c1, f.x1)} + (f.x2 >> 1) + (x >> 1);
  const std::int32_t s = Saturate32(std::int64_t{Shift(zeros1, c.m)} +
                                    2 * (std::int64_t{MulQ31(c.c3, f.s2)} + MulQ31(c.c4, f.s1)));
  const std::int64_t zeros2 =
      std::int64_t{Shift(s, c.o)} + MulQ31(c.c6, Shift(f.s1, c.o - 1)) + Shift(f.s2, c.o);
  const std::int32_t z = Saturate32(std::int64_t{Shift(zeros2, c.d)} +
                                    2 * (std::int64_t{MulQ31(c.c8, f.z2)} + MulQ31(c.c9, f.z1)));
  f.x2 = f.x1;
  f.x1 = x;
  f.s2 = f.s1;
  f.s1 = s;
  f.z2 = f.z1;
  f.z1 = z;
  return z >> 16;
}

void InitEnergyDetector(EnergyDetector& detector, const EnergyRecord& record) {
  detector.record = &record;
  detector.filter.coefficients = &record.filter;
  ClearEnergyDetector(detector);
}

void ClearEnergyDetector(EnergyDetector& detector) {
  BandFilter& f = detector.filter;
  f.x1 = f.x2 = f.s1 = f.s2 = f.z1 = f.z2 = 0;
  detector.average = 0;
  detector.below = 0;
  detector.above = 0;
}

bool RunEnergyDetector(std::span<const std::int32_t> samples, EnergyDetector& detector,
                       int minimum_count) {
  const EnergyRecord& record = *detector.record;
  if (!samples.empty()) {
    const int a = record.shift;
    for (const std::int32_t x : samples) {
      const std::int32_t v = AbsOnesComplement(RunBandFilter(detector.filter, x) * 65536);
      detector.average =
          Saturate32(std::int64_t{v >> a} + detector.average - (detector.average >> a));
    }
    const std::int32_t level = detector.average >> 16;
    if (level >= record.on) {
      detector.above = static_cast<std::int16_t>(std::min(detector.above + 1, 0x7FFF));
      detector.below = 0;
    } else if (level < record.off) {
      detector.below = std::min(detector.below, INT32_MAX - 1) + 1;
      detector.above = 0;
    }
  }
  return detector.above >= minimum_count;
}

}  // namespace pump
