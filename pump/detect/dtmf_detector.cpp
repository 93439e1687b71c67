#include "pump/detect/dtmf_detector.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "pump/detect/saturate.h"

namespace pump {
namespace {

constexpr std::int16_t kPrefilterCoefficient = 0x7F00;
constexpr std::int32_t kDefaultMinimumRun = 2;
constexpr std::int64_t kGateEnergy = 200000;

constexpr std::int64_t kLeastPower = 150;
constexpr std::int64_t kOtherRowBelow = 2000;  // of 32768
constexpr std::int64_t kRowLeakFromColumn1 = 2067;
constexpr std::int64_t kRowLeakFromColumn2 = 4125;
constexpr std::int64_t kOtherRowHarmonicBelow = 2602;
constexpr std::int64_t kOtherColumnHarmonicBelow = 1842;
constexpr std::int64_t kRowHarmonicAtMost = 3277;
constexpr std::int64_t kColumnHarmonicAtMost = 1036;
constexpr std::int64_t kRowAgainstColumn = 5193;  // row's least share when the column is stronger
constexpr std::int64_t kColumnAgainstRow = 8230;  // column's least share when the row is stronger

constexpr int kRows = 0, kColumns = 4, kRowHarmonics = 8, kColumnHarmonics = 12;

constexpr std::int32_t kIdle = 0;
constexpr std::int32_t kCandidate = 1;
constexpr std::int32_t kLeastStretch = kDtmfWindow;  // samples the gate held

std::int32_t Increment(std::int32_t count) {
  return count < std::numeric_limits<std::int32_t>::max() ? count + 1 : count;
}

// x DC-blocked: y = x + (last y x coefficient >> 15) - last x.
std::int16_t Prefilter(DtmfPrefilter& f, std::int16_t x) {
  const std::int16_t y = Saturate16(
      std::int32_t{x} + ((std::int32_t{f.last_output} * f.coefficient) >> 15) - f.last_input);
  f.last_input = x;
  f.last_output = y;
  return y;
}

std::int32_t Add(std::int32_t count, std::size_t n) {
  const std::int64_t sum = std::int64_t{count} + static_cast<std::int64_t>(n);
  return static_cast<std::int32_t>(std::min<std::int64_t>(sum, std::numeric_limits<std::int32_t>::max()));
}

void UpdateGate(DtmfGate& gate, std::int64_t energy, std::size_t n) {
  if (energy > kGateEnergy) {
    if (gate.present == 0) gate.present_count = 0;
    gate.present_count = Add(gate.present_count, n);
    gate.absent_count = 0;
    gate.present = 1;
  } else {
    gate.absent_count = Increment(gate.absent_count);
    gate.present = 0;
  }
}

void Step(GoertzelFilter& g, std::int16_t x) {
  const std::int64_t s0 = x + ((g.coefficient * g.s1) >> 14) - g.s2;
  g.s2 = g.s1;
  g.s1 = s0;
  ++g.count;
}

// s1^2 + s2^2 - c s1 s2 (|X|^2 of the window's bin), times the gain; the
// filter starts its next window.
std::int64_t Finish(GoertzelFilter& g) {
  const std::int64_t power = g.s1 * g.s1 + g.s2 * g.s2 - ((g.coefficient * g.s1) >> 14) * g.s2;
  g.power = (power * g.gain) >> 15;
  g.s1 = g.s2 = 0;
  g.count = 0;
  return g.power;
}

// The strongest of four, when it reaches the least power and every other
// stays below 2000/32768 of it; -1 otherwise.
int Strongest(const std::int64_t* p) {
  int best = 0;
  for (int i = 1; i < 4; ++i) {
    if (p[i] > p[best]) best = i;
  }
  if (p[best] < kLeastPower) return -1;
  for (int i = 0; i < 4; ++i) {
    if (i != best && p[i] * 32768 >= kOtherRowBelow * p[best]) return -1;
  }
  return best;
}

int Decide(const std::int64_t* powers) {
  const int row = Strongest(powers + kRows);
  const int column = Strongest(powers + kColumns);
  if (row < 0 || column < 0) return kNoDigit;
  const std::int64_t r = powers[kRows + row];
  const std::int64_t c = powers[kColumns + column];

  std::int64_t row_harmonics[4];
  std::copy_n(powers + kRowHarmonics, 4, row_harmonics);
  if (column == 1) row_harmonics[0] -= (kRowLeakFromColumn1 * c) >> 15;
  if (column == 2) row_harmonics[1] -= (kRowLeakFromColumn2 * c) >> 15;
  const std::int64_t* column_harmonics = powers + kColumnHarmonics;
  for (int i = 0; i < 4; ++i) {
    if (i != row && row_harmonics[i] * 32768 >= kOtherRowHarmonicBelow * r) return kNoDigit;
    if (i != column && column_harmonics[i] * 32768 >= kOtherColumnHarmonicBelow * c) {
      return kNoDigit;
    }
  }
  if (row_harmonics[row] * 32768 > kRowHarmonicAtMost * r) return kNoDigit;
  if (column_harmonics[column] * 32768 > kColumnHarmonicAtMost * c) return kNoDigit;

  const bool twist_ok =
      c >= r ? r * 32768 >= kRowAgainstColumn * c : c * 32768 >= kColumnAgainstRow * r;
  return twist_ok ? kDtmfCodes[row][column] : kNoDigit;
}

// The latest 236 samples through all filters; their digit while the gate is
// present.
int RunWindow(DtmfDetector& d) {
  d.block_start = (d.write + kDtmfRing - kDtmfWindow) % kDtmfRing;
  for (int j = 0; j < kDtmfWindow; ++j) {
    const std::int16_t x = d.ring[(d.block_start + j) % kDtmfRing];
    for (GoertzelFilter& g : d.filters) Step(g, x);
  }
  for (int i = 0; i < kDtmfFilters; ++i) d.powers[i] = Finish(d.filters[i]);
  d.pending = 0;
  return d.gate.present != 0 ? Decide(d.powers) : kNoDigit;
}

// The candidate has ended: confirmed when it was long enough.
void EndCandidate(DtmfDetector& d) {
  DtmfDebouncer& b = d.debouncer;
  b.state = kIdle;
  if (b.run < b.minimum_run || b.stretch < kLeastStretch) return;
  if (b.confirmed_count < kDtmfConfirmedQueue) b.confirmed[b.confirmed_count++] = b.candidate;
}

// One decided window's code into the debouncer.
void DebounceWindow(DtmfDetector& d, int code) {
  DtmfDebouncer& b = d.debouncer;
  if (code != kNoDigit) {
    if (b.state == kCandidate && code == b.candidate) {
      b.run = Increment(b.run);
    } else {
      if (b.state == kCandidate) EndCandidate(d);
      b.state = kCandidate;
      b.candidate = code;
      b.run = 1;
      b.stretch = 0;
    }
    b.absent = 0;
    b.stretch = std::max(b.stretch, d.gate.present_count);
    return;
  }
  if (b.state != kCandidate) return;
  b.absent = Increment(b.absent);
  if (b.absent > kDtmfGapWithinRun) EndCandidate(d);
}

}  // namespace

void ResetDtmfDetector(DtmfDetector& d) {
  d = {};
  for (int i = 0; i < kDtmfFilters; ++i) {
    d.filters[i].coefficient = kDtmfCoefficients[i];
    d.filters[i].block_length = kDtmfWindow;
    d.filters[i].gain = kDtmfGains[i];
  }
  d.prefilter.coefficient = kPrefilterCoefficient;
  d.debouncer.minimum_run = kDefaultMinimumRun;
}

int RunDtmfDetector(DtmfDetector& d, std::span<const std::int16_t> samples) {
  if (samples.empty()) return kNoDigit;
  // The gate first, on the call's pre-filtered samples, so that every window
  // completed in this call is decided with it.
  DtmfPrefilter preview = d.prefilter;
  std::int64_t energy = 0;
  for (const std::int16_t x : samples) energy += std::abs(std::int32_t{Prefilter(preview, x)});
  UpdateGate(d.gate, energy, samples.size());

  int result = kNoDigit;
  for (const std::int16_t x : samples) {
    d.ring[d.write] = Prefilter(d.prefilter, x);
    d.write = (d.write + 1) % kDtmfRing;
    ++d.pending;
    if (d.filled == 0 && d.pending == kDtmfWindow) d.filled = 1;
    if (d.filled != 0 && d.pending >= kDtmfHop) {
      result = RunWindow(d);
      DebounceWindow(d, result);
    }
  }
  return result;
}

int DebounceDtmf(DtmfDetector& d, int /*code*/) {
  DtmfDebouncer& b = d.debouncer;
  if (b.confirmed_count == 0) return 0;
  const int digit = b.confirmed[0];
  std::copy(b.confirmed + 1, b.confirmed + b.confirmed_count, b.confirmed);
  --b.confirmed_count;
  return digit;
}

}  // namespace pump
