#include "pump/fax/fax_train_measure.h"

#include <algorithm>
#include <cstdlib>

#include "pump/detect/saturate.h"
#include "pump/fax/fax_rx_equaliser.h"
#include "pump/fax/fax_train_analysis.h"

namespace pump {
namespace {

constexpr std::int32_t kFinalStep = 0x10000000;
constexpr int kAdaptShift = 15;  // keeps the filter's loop gain below one at the first step

FaxPair32 Times(FaxPair32 a, FaxPair32 b, int shift) {
  return {Saturate32((std::int64_t{a.i} * b.i - std::int64_t{a.q} * b.q) >> shift),
          Saturate32((std::int64_t{a.i} * b.q + std::int64_t{a.q} * b.i) >> shift)};
}

// The DC component's running average (8 times its mean) and, after more
// than 32 measurements, its angle.
void Accumulate(FaxTrainRecord& t, FaxPair32 dc) {
  ++t.measurements;
  t.accumulated_i += dc.i;
  t.accumulated_q += dc.q;
  t.average = {Saturate32(8 * t.accumulated_i / t.measurements), Saturate32(8 * t.accumulated_q / t.measurements)};
  if (t.measurements > 32) t.measured_angle = FaxAngle(t.average.i, t.average.q);
}

}  // namespace

void FaxMeasureClear(FaxTrainRecord& t) {
  t.measure = {};
  t.accumulated_i = t.accumulated_q = 0;
  t.measurements = 0;
  t.average = {};
  t.measured_angle = 0;
}

void FaxMeasureStep(FaxRxRecord& rx) {
  FaxMeasureFilter& f = rx.train.measure;
  std::copy_backward(std::begin(f.points), std::end(f.points) - 1, std::end(f.points));
  f.points[0] = {rx.d_i, rx.d_q};
  const int parity = rx.symbol_parity & 1;
  FaxPair32 (&taps)[kFaxMeasureTaps] = f.taps[parity];
  std::int64_t pi = 0;
  std::int64_t pq = 0;
  for (int j = 0; j < kFaxMeasureTaps; ++j) {
    pi += std::int64_t{taps[j].i} * f.points[j].i - std::int64_t{taps[j].q} * f.points[j].q;
    pq += std::int64_t{taps[j].i} * f.points[j].q + std::int64_t{taps[j].q} * f.points[j].i;
  }
  // The prediction is the taps times the points times 4, in Q15.
  pi >>= 13;
  pq >>= 13;
  const int at = (rx.write_at + 3 + parity) % kFaxEqTaps;
  const FaxCosSin cs = FaxCarrier(rx);
  const FaxPair32 sample = {rx.line_i[at], rx.line_q[at]};
  const FaxPair32 turned = Times(sample, {cs.c, cs.s}, 15);
  const std::int64_t ri = turned.i - pi / 2;
  const std::int64_t rq = turned.q - pq / 2;
  f.step += (kFinalStep - f.step) / 256;
  if (++rx.train.measurement_count % 64 == 0) return;
  const std::int64_t si = (ri * (f.step >> 16)) >> 15;
  const std::int64_t sq = (rq * (f.step >> 16)) >> 15;
  for (int j = 0; j < kFaxMeasureTaps; ++j) {
    const std::int64_t xi = f.points[j].i;
    const std::int64_t xq = f.points[j].q;
    taps[j].i = Saturate32(taps[j].i + ((si * xi + sq * xq) >> kAdaptShift));
    taps[j].q = Saturate32(taps[j].q + ((sq * xi - si * xq) >> kAdaptShift));
  }
}

void FaxReferenceMeasurement(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  // The DC component: every tap of both sets summed, >> 2.
  std::int64_t i = 0;
  std::int64_t q = 0;
  for (const auto& set : t.measure.taps) {
    for (const FaxPair32& tap : set) {
      i += tap.i;
      q += tap.q;
    }
  }
  Accumulate(t, {Saturate32(i >> 2), Saturate32(q >> 2)});
}

void FaxAlternationMeasurement(FaxRxRecord& rx) { Accumulate(rx.train, rx.train.group[0][kFaxDc]); }

void FaxSaveSnapshot(FaxRxRecord& rx) {
  FaxTrainingSnapshot& s = rx.train.snapshot;
  std::copy(std::begin(rx.tap_i), std::end(rx.tap_i), s.tap_i);
  std::copy(std::begin(rx.tap_q), std::end(rx.tap_q), s.tap_q);
  std::copy(std::begin(rx.jitter_coeff), std::end(rx.jitter_coeff), s.jitter_coeff);
  s.timing_ref_i = rx.timing_ref_i;
  s.timing_ref_q = rx.timing_ref_q;
  s.timing_integrator = rx.timing_integrator;
  s.carrier_frequency = rx.carrier_frequency;
  s.reference_angle = rx.train.measured_angle;
  s.valid = 1;
}

void FaxLoadSnapshot(FaxRxRecord& rx) {
  const FaxTrainingSnapshot& s = rx.train.snapshot;
  for (int k = 0; k < kFaxEqTaps; ++k) {
    rx.tap_i[k] = s.tap_i[k];
    rx.tap_q[k] = s.tap_q[k];
    rx.tap_i16[k] = Saturate16((std::int64_t{s.tap_i[k]} + 0x8000) >> 16);
    rx.tap_q16[k] = Saturate16((std::int64_t{s.tap_q[k]} + 0x8000) >> 16);
  }
  std::copy(std::begin(s.jitter_coeff), std::end(s.jitter_coeff), rx.jitter_coeff);
  std::fill(std::begin(rx.jitter_history), std::end(rx.jitter_history), std::int16_t{0});
  rx.prediction = rx.previous_prediction = rx.raw_prediction = rx.previous_raw_prediction = 0;
  rx.timing_ref_i = s.timing_ref_i;
  rx.timing_ref_q = s.timing_ref_q;
  rx.timing_integrator = s.timing_integrator;
  rx.carrier_frequency = s.carrier_frequency;
}

}  // namespace pump
