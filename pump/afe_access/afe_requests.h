// The named requests of the access layer. Each issues one request through
// IssueAfeRequest and returns its result (the last status) unless stated.
// Requests without a wrapper (10-17, 20, 24, 39) are issued directly.
#pragma once

#include <cstdint>
#include <span>

#include "pump/afe_access/afe_access.h"

namespace pump {

// Front-end requests, under the interface's spin lock.
LONG AfeLineOn(AfeAccess& access);  // the sound path mutes anew after it
LONG AfeLineOff(AfeAccess& access);
inline LONG AfePulseMake(AfeAccess& access) { return AfeLineOn(access); }
inline LONG AfePulseBreak(AfeAccess& access) { return AfeLineOff(access); }
// Rate and block length change at the front end's next block boundary after
// its latency; the converter step and the kept values change at once.
LONG SetAfeRate(AfeAccess& access, std::uint16_t samples_per_block, std::uint16_t rate);
LONG SetAfeSpeaker(AfeAccess& access, ULONG volume);  // 0-3, kept as the sound level
LONG SetAfePower(AfeAccess& access, ULONG state);     // 0-3
LONG SetAfeHook(AfeAccess& access, ULONG flag);
LONG SetAfeHook2(AfeAccess& access, ULONG flag);
LONG SetAfeLineOption(AfeAccess& access, ULONG value);
LONG AfeReadValue(AfeAccess& access, ULONG& value);  // the line status, 1-3
// The line measurement itself (0 when the request fails).
int ReadLineMeasure(AfeAccess& access);
// Codec register 53 bit 2 as 0 or 1; 1 when the request fails.
int ReadLineStatusBit(AfeAccess& access);

// Sound-path requests, without a lock.
// Queues the samples for the line-to-application stream; the front end
// scales them in place to the stream's level.
LONG SoundPutSamples(AfeAccess& access, std::span<std::int16_t> samples);
// Takes whole queued entries of the application-to-line stream until at
// least `count` samples arrived; `count` returns the samples delivered. An
// entry holds up to 480 samples, so the buffer must hold `count` + 480;
// a smaller one is refused with -5 before the front end is asked.
LONG SoundTakeSamples(AfeAccess& access, std::span<std::int16_t> buffer, int& count);
LONG SoundSetLevel(AfeAccess& access, ULONG kind, ULONG level);  // kind 3 keeps the sound level
LONG SoundStartLineStream(AfeAccess& access);                    // 22
LONG SoundStopLineStream(AfeAccess& access);                     // 23
LONG SoundStartLineStreamNow(AfeAccess& access);                 // 25
LONG SoundStopLineStreamNow(AfeAccess& access);                  // 26
LONG SoundStartAppStream(AfeAccess& access);                     // 27
LONG SoundStopAppStream(AfeAccess& access);                      // 28
LONG SoundStartBoth(AfeAccess& access);                          // 45
LONG SoundStopBoth(AfeAccess& access);                           // 46
LONG SoundResume(AfeAccess& access);                             // 35
LONG SoundSuspend(AfeAccess& access);                            // 36
LONG SoundRequest37(AfeAccess& access, ULONG& value);

inline constexpr int kSoundEntrySamples = 480;  // the longest block a sound queue entry holds

}  // namespace pump
