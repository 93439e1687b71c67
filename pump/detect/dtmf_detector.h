// The DTMF receiver of caller ID and voice mode, at 9600 Hz: a DC-blocking
// pre-filter, a 384-sample ring, an energy gate over each call's samples,
// 16 Goertzel filters (the four rows, the four columns and the second
// harmonics of each) over the latest 236 samples, decided every 59 samples
// (windows overlap by three quarters, so a 40 ms digit fills at least two
// of them wherever it starts), the decision rules, and a debouncer that
// counts decided windows, whatever the callers' block size, and confirms a
// digit once it has ended.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

inline constexpr int kDtmfFilters = 16;
inline constexpr int kDtmfWindow = 236;
inline constexpr int kDtmfRing = 384;
inline constexpr int kDtmfHop = kDtmfWindow / 4;  // samples between decisions
inline constexpr int kDtmfConfirmedQueue = 4;
// Windows without the candidate a run bridges: more than a drop of 10 ms
// inside a digit spoils, fewer than a pause of 40 ms between digits gives
// (ALongDigitWithAShortDropIsOneDigitAndAPauseMakesTwo).
inline constexpr int kDtmfGapWithinRun = 6;

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
  std::int32_t present_count;  // samples of the latest stretch of calls with energy
  std::int32_t absent_count;   // calls in a row without
  std::int32_t present;
};

struct DtmfDebouncer {
  std::int32_t state;  // 0 idle, 1 a candidate
  std::int32_t candidate;
  std::int32_t run;      // decided windows that gave the candidate
  std::int32_t absent;   // decided windows in a row without it
  std::int32_t stretch;  // the longest gate stretch (samples) the candidate was heard in
  std::int32_t minimum_run;  // windows
  std::int32_t confirmed[kDtmfConfirmedQueue];  // confirmed, not yet collected
  std::int32_t confirmed_count;
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
  std::int32_t pending;      // samples since the last decision
  std::int32_t block_start;  // the first sample of the latest window
  std::int32_t filled;       // a whole window has arrived
  DtmfPrefilter prefilter;
  DtmfDebouncer debouncer;
};

// Everything cleared: the filters from the tables, pre-filter coefficient
// 0x7F00, minimum run 2 windows.
void ResetDtmfDetector(DtmfDetector& detector);

// The call's new samples. A sum of pre-filtered magnitudes above 200000
// counts the call as present. Every 59th sample, once 236 have arrived, the
// latest 236 are decided (a digit only while the gate is present) and the
// decision goes to the debouncer; the result is the digit code of the last
// window decided in this call, kNoDigit when none.
int RunDtmfDetector(DtmfDetector& detector, std::span<const std::int16_t> samples);

// The debouncer, window by window: a digit is a candidate from its first
// window; the same digit again within kDtmfGapWithinRun windows without it
// extends its run, and a short drop inside a digit is bridged. The candidate
// ends at another digit or after a longer gap, and is confirmed when its run
// reached the minimum run and the gate held for at least a window's length
// around it. A confirmation is held until collected here: once per call,
// `code` being that call's RunDtmfDetector result (the windows themselves
// were counted as they were decided). Returns a confirmed code, 0 when none.
int DebounceDtmf(DtmfDetector& detector, int code);

}  // namespace pump
