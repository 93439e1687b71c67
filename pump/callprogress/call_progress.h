// Call progress: while the line is taken before a handshake the receive
// machine runs CallProgressHandler once per block, in the state command
// 0x65 chose: 0 monitoring (filter bank, 2100 Hz notch, ring cadence, peak
// runs, the caller-ID hook relay), 1 line check, 2 answer-tone watch, 5
// line-voltage check, 6 FSK caller ID.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

enum CallProgressState : std::int32_t {
  kCallProgressMonitoring = 0,
  kCallProgressLineCheck = 1,
  kCallProgressAnswerWatch = 2,
  kCallProgressLineVoltage = 5,
  kCallProgressCallerId = 6,  // FSK caller ID (command 0x93 mode 3)
};

// Register 56 events of call progress.
inline constexpr std::uint8_t kEventMonitoring = 4;  // also: line voltage above threshold
inline constexpr std::uint8_t kEventLevelStep = 8;
inline constexpr std::uint8_t kEventLineLow = 9;

// The 2100 Hz report of DP_TONE_DETECTION_RESULTS.
inline constexpr std::uint8_t kAnswerToneResult = 0x4E;

// Line check: ticks watched, and low ticks that report a missing line.
inline constexpr std::int32_t kLineCheckTicks = 100;
inline constexpr std::int32_t kLineCheckLowTicks = 50;

void SetCallProgressMode(DspContext& context, int mode);
void CallProgressHandler(DspContext& context);

// True while the receive machine runs CallProgressHandler.
bool CallProgressRunning(const DspContext& context);
// The line monitor's stop, after it idled the modem: the dial sequence ends
// and its flag clears. Call progress that was running (`was_running`) goes
// on in state 0, watching the on-hook line for rings and caller ID: the
// controller's hang-up asks for that watch (0x65 {0, 1}) before its on-hook
// pattern reaches the hook bit, so the stop comes after the request.
void StopCallProgress(DspContext& context, bool was_running);

// 0x65 {mode, flags}: flags bit 0 the ring-cadence report, bits 1-4 kept.
void CallProgressModeCommand(DspContext& context);

}  // namespace pump
