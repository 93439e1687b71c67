#include "pump/callprogress/line_events.h"

#include <algorithm>

namespace pump {
namespace {

constexpr std::int32_t kShortestPeriod = 50;  // samples
constexpr std::int32_t kAveragedFrom = 3;     // bursts
constexpr std::int32_t kAveragedTo = 5;
constexpr std::int32_t kPeakSamples = 4;  // of one sign start a run
constexpr std::int32_t kRunEnd = 10;      // other samples end it

// A loud run of two samples closes the period that began with the last one,
// so single spikes do not count.
constexpr std::int32_t kRunClosingPeriod = 2;

void ClosePeriod(BurstCadence& c, CadenceReport& report) {
  const std::int32_t period = c.since_period;
  c.since_period = 0;
  const std::uint16_t previous_loud = c.last_loud;
  c.last_loud = c.clock;
  if (period <= kShortestPeriod || period >= c.limit) {
    c.bursts = std::max(0, c.bursts - 1);
    return;
  }
  ++c.bursts;
  c.last_period = period;
  if (c.bursts >= kAveragedFrom && c.bursts <= kAveragedTo) {
    c.period_sum += period;
    ++c.periods;
    c.limit = 3 * c.period_sum / (2 * c.periods);
  }
  if (c.reporting == 0) {
    c.reporting = 1;
    c.cycles = 1;
    report.started = true;
    report.start_stamp = CadenceStamp(previous_loud);
  } else {
    ++c.cycles;
  }
}

}  // namespace

void RestartBurstCadence(BurstCadence& cadence) {
  const std::uint16_t clock = cadence.clock;
  cadence = BurstCadence{};
  cadence.clock = clock;
  cadence.limit = kBurstLimitAtStart;
  cadence.since_period = kBurstLimitAtStart;  // the first loud run only opens a period
}

CadenceReport RunBurstCadence(BurstCadence& c, std::span<const std::int16_t> samples) {
  CadenceReport report{};
  for (const std::int16_t x : samples) {
    ++c.clock;
    ++c.since_period;
    if (x >= kBurstLevel) {
      c.quiet = 0;
      if (++c.loud_run == kRunClosingPeriod) ClosePeriod(c, report);
    } else {
      c.loud_run = 0;
      if (++c.quiet > c.limit) c.bursts = 0;
    }
    if (c.reporting != 0 && c.bursts == 0) {
      // The train ended one period after its last burst began.
      report.ended = true;
      report.end_stamp = CadenceStamp(static_cast<std::uint16_t>(c.last_loud + c.last_period));
      report.bursts = static_cast<std::uint16_t>(c.cycles + 1);
      c.reporting = 0;
    }
    if (c.reporting == 0) {
      c.limit = kBurstLimitAtStart;
      c.period_sum = 0;
      c.periods = 0;
    }
  }
  return report;
}

void ClearPeakRun(PeakRun& peak) { peak = PeakRun{}; }

bool RunPeakRun(PeakRun& p, std::span<const std::int16_t> samples) {
  bool fired = false;
  for (const std::int16_t x : samples) {
    const int sign = x >= kPeakLevel ? 1 : x <= -kPeakLevel ? -1 : 0;
    if (sign > 0) ++p.positive;
    if (sign < 0) ++p.negative;
    if (p.sign == 0) {
      if (p.positive >= kPeakSamples) p.sign = 1;
      if (p.negative >= kPeakSamples) p.sign = -1;
      p.other = sign == 0 ? p.other + 1 : 0;
      // Scattered peaks without a run are forgotten.
      if (p.other > kRunEnd) ClearPeakRun(p);
      continue;
    }
    ++p.length;
    p.other = sign == p.sign ? 0 : p.other + 1;
    if (p.other > kRunEnd) {
      fired = fired || p.length > kPeakRunLength;
      ClearPeakRun(p);
    }
  }
  return fired;
}

}  // namespace pump
