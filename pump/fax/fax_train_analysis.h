// The fax receiver's segment analysis, run once per symbol by the
// alternation and start-detection states of the training: the component
// sums of two groups of the equaliser's delay line, their magnitude
// trackers, the alternation and tone-purity detectors, the three
// phase-locked loops on the components, the trackers of the rotated
// components, the reversal countdown that finds the start of the
// conditioning segment, the early-reversal check and the loop-gain decay.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_record.h"

namespace pump {

enum FaxComponent : int { kFaxDc = 0, kFaxUpper = 1, kFaxLower = 2 };
// Tracker numbers: the components of group 1 (0-2) and group 2 (3-5),
// group 1's total power (A), its alternation power (B), the 16-symbol
// energy (E).
inline constexpr int kFaxTrackerA = 6;
inline constexpr int kFaxTrackerB = 7;
inline constexpr int kFaxTrackerE = 8;

// The angle of (x, y), one turn = 65536.
std::int16_t FaxAngle(std::int64_t x, std::int64_t y);
// (x, y) turned by `angle` (one turn = 65536).
FaxPair32 FaxRotate(FaxPair32 v, std::int32_t angle);

// One step of a magnitude tracker towards the square root of `power`.
void FaxTrack(FaxMagnitudeTracker& t, std::int64_t power);

// The loops, trackers, detectors and the countdown cleared.
void FaxAnalysisClear(FaxTrainRecord& t);

// Sums, components, trackers, detectors and (with the loops on) the
// phase-locked loops and the normalisers.
void FaxSegmentAnalysis(FaxRxRecord& rx);

// True when the alternation detector or the tone-purity detector says the
// alternation is absent.
bool FaxAlternationAbsent(const FaxTrainRecord& t);

// Each normaliser from its component's magnitude (the loops then run).
void FaxLoadNormalisers(FaxRxRecord& rx);
// Each loop phase = minus the angle of its group-2 component.
void FaxLoadLoopPhases(FaxRxRecord& rx);

// The minimum, maximum and quadrature trackers of the rotated group-2
// components and their spreads, while no reversal is flagged.
void FaxTrackRotated(FaxRxRecord& rx);

// Flags the components whose rotated group-1 real part is below minus half
// their spread and counts down by the combination's weight; true at 0.
bool FaxReversalCountdown(FaxRxRecord& rx);

// True when the rotated group-2 components show a reversal already.
bool FaxEarlyReversal(const FaxRxRecord& rx);

// The loop gain and normaliser gain decay toward 512.
void FaxLoopGainDecay(FaxRxRecord& rx);

}  // namespace pump
