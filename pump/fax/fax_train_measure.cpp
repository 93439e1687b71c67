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

void Accumulate(FaxTrainRecord& t, const FaxPair32 (&c)[kFaxComponents]) {
  ++t.measurements;
  for (int k = 0; k < kFaxComponents; ++k) {
    t.accumulated[k][0] += c[k].i;
    t.accumulated[k][1] += c[k].q;
    t.averages[k] = {Saturate32(8 * t.accumulated[k][0] / t.measurements), Saturate32(8 * t.accumulated[k][1] / t.measurements)};
  }
  if (t.measurements <= 32) return;
  const FaxPair32* a = t.averages;
  std::int16_t* angle = t.measured_angle;
  angle[0] = FaxAngle(a[kFaxDc].i, a[kFaxDc].q);
  angle[1] = FaxAngle(a[kFaxUpper].i, a[kFaxUpper].q);
  angle[2] = FaxAngle(a[kFaxLower].i, a[kFaxLower].q);
  const FaxPair32 c1 = FaxRotate(a[kFaxUpper], -angle[0]);
  const FaxPair32 c2 = FaxRotate(a[kFaxLower], -angle[0]);
  angle[3] = FaxAngle(c1.i, c1.q);
  angle[4] = FaxAngle(c2.i, c2.q);
  angle[5] = FaxAngle(std::int64_t{c1.i} + c2.i, std::int64_t{c1.q} - c2.q);
  t.angle_difference[0] = static_cast<std::int16_t>(angle[1] - angle[0]);
  t.angle_difference[1] = static_cast<std::int16_t>(angle[2] - angle[0]);
  t.angle_difference[2] = static_cast<std::int16_t>(angle[2] - angle[1]);
  t.measurement_done = 1;
}

}  // namespace

void FaxMeasureClear(FaxTrainRecord& t) {
  t.measure = {};
  for (auto& a : t.accumulated) a[0] = a[1] = 0;
  t.measurements = 0;
  std::fill(std::begin(t.averages), std::end(t.averages), FaxPair32{});
  std::fill(std::begin(t.measured_angle), std::end(t.measured_angle), std::int16_t{0});
  t.measurement_done = 0;
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
  // Sums of the taps at even and at odd positions of each set, >> 2.
  std::int64_t s[2][2][2] = {};  // [set][odd][re, im]
  for (int set = 0; set < 2; ++set) {
    for (int j = 0; j < kFaxMeasureTaps; ++j) {
      s[set][j & 1][0] += t.measure.taps[set][j].i;
      s[set][j & 1][1] += t.measure.taps[set][j].q;
    }
  }
  for (auto& set : s) {
    for (auto& half : set) {
      half[0] >>= 2;
      half[1] >>= 2;
    }
  }
  const std::int64_t rea = s[0][0][0], ima = s[0][0][1], reoa = s[0][1][0], imoa = s[0][1][1];
  const std::int64_t reb = s[1][0][0], imb = s[1][0][1], reob = s[1][1][0], imob = s[1][1][1];
  const FaxPair32 c[kFaxComponents] = {
      {Saturate32(rea + reoa + reb + reob), Saturate32(ima + imoa + imb + imob)},
      {Saturate32(ima + reb - imoa - reob), Saturate32(imb + reoa - imob - rea)},
      {Saturate32(reb + imoa - reob - ima), Saturate32(rea + imb - reoa - imob)},
  };
  Accumulate(t, c);
}

void FaxAlternationMeasurement(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  const FaxPair32 c[kFaxComponents] = {t.group[0][kFaxDc], t.group[0][kFaxUpper], t.group[0][kFaxLower]};
  Accumulate(t, c);
}

void FaxSaveSnapshot(FaxRxRecord& rx) {
  FaxTrainingSnapshot& s = rx.train.snapshot;
  std::copy(std::begin(rx.tap_i), std::end(rx.tap_i), s.tap_i);
  std::copy(std::begin(rx.tap_q), std::end(rx.tap_q), s.tap_q);
  std::copy(std::begin(rx.jitter_coeff), std::end(rx.jitter_coeff), s.jitter_coeff);
  s.timing_ref_i = rx.timing_ref_i;
  s.timing_ref_q = rx.timing_ref_q;
  s.timing_integrator = rx.timing_integrator;
  s.carrier_frequency = rx.carrier_frequency;
  s.tap_sum_i = rx.tap_sum_i;
  s.tap_sum_q = rx.tap_sum_q;
  std::copy(std::begin(rx.train.measured_angle), std::end(rx.train.measured_angle), s.reference_angle);
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
