// What the numbered requests do to the front end, as plain operations on
// its context. The request dispatcher maps codes and argument sizes onto
// them; tests call them directly. Callers hold the interface's spin lock.
#pragma once

#include "afe/windows/afe_contract.h"

namespace afe {

// Request 1: off hook; the off-hook sequence starts unless a test mode is active.
void LineOn(AfeContext& context);
// Request 2: on hook; the off-hook sequence ends.
void LineOff(AfeContext& context);
// Request 4 (samples per block << 16 | rate): applied by the deferred
// service once the block counter reaches latency + counter - 1.
void ScheduleRateChange(AfeContext& context, ULONG value);
// Request 8: speaker levels 1 to 3 are 32, 63 and 127; any other mutes.
void SetSpeakerLevel(AfeContext& context, ULONG level);
// Request 38: the latency becomes value + 1 blocks.
void SetLatency(AfeContext& context, UCHAR value);
// Request 39: kAfeBlockWaiting while a received block waits, else kAfeOk.
LONG BlockReady(const AfeContext& context);
// Request 41: the line voltage now, kept as the last voltage.
USHORT MeasureLineVoltage(AfeContext& context);
// Requests 9 and 11: the attenuation or gain step a request in dB gives
// (-3 dB steps down to -12, then -100 for muted; +3 dB steps up to 12,
// then 100), and the step taken with register 63 rewritten for both.
SHORT AttenuationStep(SHORT db);
SHORT GainStep(SHORT db);
void SetAttenuation(AfeContext& context, SHORT db);
void SetGain(AfeContext& context, SHORT db);
// Request 13: test mode 0 to 4 (kAfeRefused for another); the same mode
// again does nothing.
LONG SetTestMode(AfeContext& context, ULONG mode);
// Request 18: power state 0 to 3 (kAfeRefused for another); the same state
// again does nothing.
LONG SetPowerState(AfeContext& context, ULONG state);
// The power-up of state 0: block counter 0, AfeInit, the power-on self
// tests, DMA on.
void PowerUp(AfeContext& context);
// The self tests of every power-up (self_tests.cpp): a requested run in
// progress runs its own tests into the request log; otherwise, while the
// power-on run is enabled, its tests run into a fresh power-on log.
void RunPowerOnSelfTests(AfeContext& context);
// Request 20.
void FillAfeInfo(const AfeContext& context, AfeInfo& info);
// Request 44: ignored once the off-hook sequence has passed 50 deferred
// services; 0 also ends the sequence.
void SetLineMonitor(AfeContext& context, ULONG enable);

}  // namespace afe
