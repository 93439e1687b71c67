// The fax receiver's training record, beside the signal path's: the
// segment analysis of the alternation (component sums of two groups of
// the equaliser's delay line, magnitude trackers, the alternation and
// tone-purity detectors, three phase-locked loops with their normalisers,
// the rotated components' trackers and the reversal countdown), the lock
// counter of the data states, and V.17's long-training measurement and
// snapshot that a short training starts from.
#pragma once

#include <cstdint>

namespace pump {

inline constexpr int kFaxComponents = 3;  // DC, upper and lower alternation components
inline constexpr int kFaxTrackers = 9;    // six components, A, B and E
inline constexpr int kFaxMeasureTaps = 24;

struct FaxPair32 {
  std::int32_t i;
  std::int32_t q;
};

// Follows the square root of its power input.
struct FaxMagnitudeTracker {
  std::int64_t power;
  std::int32_t shift;
  std::int32_t magnitude;
};

// The long training's measurement filter: 24 complex taps per symbol
// parity predicting a delay-line sample from the decided points.
struct FaxMeasureFilter {
  FaxPair32 taps[2][kFaxMeasureTaps];  // set A (even symbols), set B (odd)
  FaxPair32 points[kFaxMeasureTaps];   // the last decided points, newest first
  std::int32_t step;
  std::uint8_t enabled;
};

// What the end of a long training leaves for the short trainings after it.
struct FaxTrainingSnapshot {
  std::int32_t tap_i[48];
  std::int32_t tap_q[48];
  std::int16_t jitter_coeff[64];
  std::int32_t timing_ref_i;
  std::int32_t timing_ref_q;
  std::int32_t timing_integrator;
  std::int32_t carrier_frequency;
  std::int16_t reference_angle;  // the long training's DC component angle
  std::uint8_t valid;
};

struct FaxTrainRecord {
  // Segment analysis.
  FaxPair32 group[2][kFaxComponents];     // this symbol's components summed with the last symbol's
  FaxPair32 previous[2][kFaxComponents];  // the last symbol's components
  FaxMagnitudeTracker trackers[kFaxTrackers];
  std::int32_t alternation;  // B - A/16
  std::int32_t purity;       // A + A/4 - E
  std::int32_t loop_phase[kFaxComponents];  // one turn = 65536
  std::int32_t loop_frequency;
  std::int32_t loop_gain;
  std::int32_t normaliser_gain;
  std::int32_t normaliser[kFaxComponents];
  std::uint8_t loops_on;
  FaxPair32 rotated[2][kFaxComponents];
  std::int32_t minimum[kFaxComponents];
  std::int32_t maximum[kFaxComponents];
  std::int32_t quadrature[kFaxComponents];
  std::int32_t spread[kFaxComponents];
  std::int32_t tracker_shift;
  std::uint32_t reversal_flags;
  std::int32_t countdown;
  std::uint8_t alternation_phase;  // the training point (0 or 1) expected next

  // The table running: V.17's short one only with a saved snapshot, so a
  // short training asked for without one runs (and saves from) the long.
  std::uint8_t short_table;

  // Data states.
  std::uint16_t lock_counter;
  std::int32_t measurement_count;

  // V.17: reference measurements, angles and the snapshot.
  FaxMeasureFilter measure;
  std::int64_t accumulated_i;
  std::int64_t accumulated_q;
  std::int32_t measurements;
  FaxPair32 average;
  std::int16_t measured_angle;  // the DC component's, of the last measurement
  FaxTrainingSnapshot snapshot;
  FaxPair32 short_sum[2];  // Short0's two sums
};

}  // namespace pump
