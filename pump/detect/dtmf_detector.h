// The DTMF receiver of caller ID and voice mode, at 9600 Hz: a DC-blocking
// pre-filter, a 384-sample ring, an energy gate over each call's samples,
// 16 Goertzel filters (the four rows, the four columns and the second
// harmonics of each) over windows of 236 consecutive samples that do not
// overlap, the decision rules, and a debouncer that confirms a digit once
// it has ended.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

inline constexpr int kDtmfFilters = 16;
inline constexpr int kDtmfWindow = 236;
inline constexpr int kDtmfRing = 384;

// Digit codes: '1'-'9' 1-9, 'A'-'D' 10-13, '*' 14, '0' 15, '#' 16.
inline constexpr int kNoDigit = 17;
inline constexpr std::array<std::array<int, 4>, 4> kDtmfCodes = {{
    {1, 2, 3, 10},
    {4, 5, 6, 11},
    {7, 8, 9, 12},
    {14, 15, 16, 13},
}};

// The filters' bins k of 9600/236 Hz: rows, columns, the rows' second
// harmonics, the columns' second harmonics.
inline constexpr std::array<int, kDtmfFilters> kDtmfBins = {17, 19, 21, 23, 30, 33, 36, 40,
                                                            34, 38, 42, 46, 59, 66, 73, 80};
// 2 cos(2 pi k / 236), Q14.
inline constexpr std::array<std::int16_t, kDtmfFilters> kDtmfCoefficients = {
    29468, 28664, 27778, 26814, 22860, 20914, 18834,  15877,
    20235, 17380, 14329, 11116, 0,     -6071, -11932, -17380};
// Each filter's output gain, Q15.
inline constexpr std::array<std::int16_t, kDtmfFilters> kDtmfGains = {
    17039, 16384, 16384, 17039, 21299, 18022, 22610, 17367,
    20972, 17695, 17367, 20644, 32767, 22610, 26870, 21627};

struct GoertzelFilter {
  std::int16_t coefficient;   // Q14
  std::int16_t block_length;  // samples per window
  std::int16_t count;         // samples stepped in this window
  std::int16_t gain;          // Q15
  std::int64_t s1, s2;
  std::int64_t power;  // of the last window: s1^2 + s2^2 - c s1 s2, times the gain
};

struct DtmfGate {
  std::int32_t present_count;  // calls in the latest stretch with energy
  std::int32_t absent_count;   // calls in a row without
  std::int32_t present;
};

struct DtmfDebouncer {
  std::int32_t state;  // 0 idle, 1 a candidate
  std::int32_t candidate;
  std::int32_t run;     // calls that gave the candidate
  std::int32_t absent;  // calls in a row without a digit
  std::int32_t minimum_run;
};

struct DtmfPrefilter {
  std::int16_t last_input;
  std::int16_t last_output;
  std::int16_t coefficient;  // Q15
};

struct DtmfDetector {
  GoertzelFilter filters[kDtmfFilters];
  std::int64_t powers[kDtmfFilters];
  DtmfGate gate;
  std::int16_t ring[kDtmfRing];
  std::int32_t write;        // where the next sample goes
  std::int32_t pending;      // samples from the block start not yet in a window
  std::int32_t block_start;  // the first sample of the next window
  std::int32_t filled;       // a whole window has arrived
  DtmfPrefilter prefilter;
  DtmfDebouncer debouncer;
};

// Everything cleared: the filters from the tables, pre-filter coefficient
// 0x7F00, minimum run 8.
void ResetDtmfDetector(DtmfDetector& detector);

// The call's new samples. A sum of pre-filtered magnitudes above 200000
// counts the call as present. Each window that completes during the call is
// decided while the gate is present; the result is the digit code of the
// last window decided in this call, kNoDigit when none.
int RunDtmfDetector(DtmfDetector& detector, std::span<const std::int16_t> samples);

// Once per call with RunDtmfDetector's result: the digit confirmed at this
// call, 0 when none. A digit is a candidate from its first call; the same
// digit again within two empty calls extends its run, any other digit (or
// the same after a longer gap) starts over. After more than four empty calls
// the candidate is confirmed when its run reached the minimum run and the
// gate's latest stretch lasted more than three calls.
int DebounceDtmf(DtmfDetector& detector, int code);

}  // namespace pump
