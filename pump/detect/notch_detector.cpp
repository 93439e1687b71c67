#include "pump/detect/notch_detector.h"

#include <algorithm>

#include "pump/detect/saturate.h"

namespace pump {
namespace {

constexpr std::int32_t kOverload = 0xFFFF;
constexpr std::int32_t kShift1 = 6;
constexpr std::int32_t kShift2 = 3;
constexpr std::int32_t kStartInputPower2 = 10;

bool Overload(std::int32_t x) { return x > kOverload || x < -kOverload; }

// y = (c0 x + c1 x1 + c2 x2 + c3 y1 + c4 y2) >> 15, the sum in 64 bits.
std::int32_t RunSection(NotchSection& s, const NotchSet& set, std::int32_t x) {
  const auto& c = set.c;
  const std::int64_t sum = std::int64_t{c[0]} * x + std::int64_t{c[1]} * s.x1 +
                           std::int64_t{c[2]} * s.x2 + std::int64_t{c[3]} * s.y1 +
                           std::int64_t{c[4]} * s.y2;
  const std::int32_t y = Saturate32(sum >> 15);
  s.x2 = s.x1;
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return y;
}

// power += (v^2 - power) >> shift.
std::int32_t Average(std::int32_t power, std::int32_t v, std::int32_t shift) {
  return Saturate32(power + ((std::int64_t{v} * v - power) >> shift));
}

// The count and the decision, shared by both variants.
template <class Detector>
std::int32_t Decide(Detector& d, int limit) {
  const std::int32_t ratio = d.input_power / d.output_power;
  if (ratio >= d.on_ratio) {
    d.count = std::min(d.count, INT32_MAX - 1) + 1;
  } else if (ratio < d.off_ratio) {
    d.count = 0;
  }
  if (d.count > limit) {
    d.count = 0;
    return ratio;
  }
  return 0;
}

void Restart2(NotchDetector2& d) {
  d.sections[0] = {};
  d.sections[1] = {};
  d.input_power = kStartInputPower2;
  d.output_power = 1;
}

}  // namespace

void InitNotchDetector(NotchDetector& detector, const NotchSet& set, int on_ratio, int off_ratio) {
  detector = {};
  detector.set = &set;
  detector.output_power = 1;
  detector.on_ratio = on_ratio;
  detector.off_ratio = off_ratio;
  detector.shift = kShift1;
}

std::int32_t StepNotchDetector(NotchDetector& d, std::int32_t sample, int limit) {
  if (Overload(sample)) return 0;
  const std::int32_t x = sample >> 2;
  d.input_power = Average(d.input_power, x, d.shift);
  const std::int32_t y = RunSection(d.section, *d.set, x);
  d.output_power = std::max(Average(d.output_power, y, d.shift), 1);
  return Decide(d, limit);
}

std::int32_t RunNotchDetector(NotchDetector& detector, std::span<const std::int32_t> samples,
                              int limit) {
  for (const std::int32_t sample : samples) {
    if (Overload(sample)) return 0;
    if (const std::int32_t ratio = StepNotchDetector(detector, sample, limit)) return ratio;
  }
  return 0;
}

void InitNotchDetector2(NotchDetector2& detector, const NotchSet& first, const NotchSet& second,
                        int on_ratio, int off_ratio) {
  detector = {};
  detector.sets[0] = &first;
  detector.sets[1] = &second;
  detector.on_ratio = on_ratio;
  detector.off_ratio = off_ratio;
  detector.shift = kShift2;
  Restart2(detector);
}

std::int32_t StepNotchDetector2(NotchDetector2& d, std::int32_t sample, int limit) {
  if (Overload(sample)) {
    Restart2(d);
    return 0;
  }
  const std::int32_t x = sample >> 2;
  d.input_power = Average(d.input_power, x, d.shift);
  const std::int32_t y =
      RunSection(d.sections[1], *d.sets[1], RunSection(d.sections[0], *d.sets[0], x));
  d.output_power = std::max(Average(d.output_power, y, d.shift), 1);
  return Decide(d, limit);
}

std::int32_t RunNotchDetector2(NotchDetector2& detector, std::span<const std::int32_t> samples,
                               int limit) {
  for (const std::int32_t sample : samples) {
    if (Overload(sample)) {
      Restart2(detector);
      return 0;
    }
    if (const std::int32_t ratio = StepNotchDetector2(detector, sample, limit)) return ratio;
  }
  return 0;
}

void InitNotchPair(NotchDetector& n2400, NotchDetector& n800) {
  InitNotchDetector(n2400, notch::k2400, 5, 2);
  InitNotchDetector(n800, notch::k800, 5, 2);
}

}  // namespace pump
