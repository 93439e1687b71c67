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
// The power-up of request 18 with state 0: block counter 0, AfeInit, DMA on.
void PowerUp(AfeContext& context);

}  // namespace afe
