// The line services' message codes, the class 1 and class 9 handlers'
// helpers, the wait-for-carrier timer, the relay service's queries and the
// country change. The handlers themselves and the entries the controller
// core calls are declared in layer2/corecode/mt/services/line_services.h.
#pragma once

#include <cstdint>
#include <span>

#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {

// Class 1, ring and line events.
inline constexpr std::uint8_t kLineDialContinue = 1;
inline constexpr std::uint8_t kLineHookDone = 2;
inline constexpr std::uint8_t kLineRing = 3;
inline constexpr std::uint8_t kLineBlackListVerdict = 4;
inline constexpr std::uint8_t kLineTableDone = 5;
// Class 3, relays and hook.
inline constexpr std::uint8_t kDaaRestart = 1;
inline constexpr std::uint8_t kDaaOffHook = 3;
inline constexpr std::uint8_t kDaaOnHook = 4;
inline constexpr std::uint8_t kDaaPulseStart = 5;
inline constexpr std::uint8_t kDaaPulseDigit = 6;
inline constexpr std::uint8_t kDaaPulseEnd = 7;
inline constexpr std::uint8_t kDaaHookFlash = 8;
inline constexpr std::uint8_t kDaaSelect = 9;
// Class 4, call-progress tones; class 5, ring cadence; class 6, tones.
inline constexpr std::uint8_t kCptStop = 2;
inline constexpr std::uint8_t kCptStart = 3;
inline constexpr std::uint8_t kRingSetReport = 3;
inline constexpr std::uint8_t kTonePlay = 3;
// Class 7, black list.
inline constexpr std::uint8_t kBlkClear = 1;
inline constexpr std::uint8_t kBlkCallConnected = 4;
inline constexpr std::uint8_t kBlkCallFailed = 5;
inline constexpr std::uint8_t kBlkStartDelay = 6;
inline constexpr std::uint8_t kBlkSave = 7;
inline constexpr std::uint8_t kBlkRestore = 8;
// Class 9, line poll.
inline constexpr std::uint8_t kLinePollStart = 3;
inline constexpr std::uint8_t kLinePollStep = 5;

// The dialler's sub-states and wait kinds the line services set.
inline constexpr std::uint8_t kDialCheckDialTone = 3;
inline constexpr std::uint8_t kDialNextCharacter = 4;
inline constexpr std::uint8_t kDialCallProgress = 7;
inline constexpr std::uint8_t kDialLineCheck = 8;
inline constexpr std::uint8_t kWaitNone = 0;
inline constexpr std::uint8_t kWaitQuietAnswer = 2;
inline constexpr std::uint8_t kWaitLineTaken = 3;
inline constexpr std::uint8_t kWaitSeized = 5;
inline constexpr std::uint8_t kWaitLineProgress = 6;
inline constexpr std::uint8_t kWaitLineCheck = 7;

// Ring indication kinds (class 1 code 3's first payload byte).
inline constexpr std::uint8_t kRingOnEdge = 1;
inline constexpr std::uint8_t kRingOffEdge = 2;
inline constexpr std::uint8_t kRingCounted = 3;

// Class 1 code 3: the reports, caller ID's trigger, S1 and the ring
// countdowns, and auto-answer; the payload is {kind, duration, interval}.
void RING_indicate(std::span<const std::uint8_t> payload, LineServicesContext& context);
// The duration of the last ring edge (100 ms units) for "DRON="/"DROF=".
std::uint8_t RING_report_duration();

// The wait for carrier: S7 seconds, then the call ends with `result`
// (unless it already runs); its expiry; its stop.
void LS_start_connect_timer(std::uint8_t result);
void LS_connect_timeout(std::uint8_t result);
void LS_stop_connect_timer();

// The country changed (command, factory reset, upload): the S-register
// defaults and calling tone, the line services restarted, the black list
// cleared unless it is kept.
void S_country_changed();

// The selected DAA sequence's three transmit levels (6 bytes, u16 each);
// null with no record or while the relay service is idle.
const std::uint8_t* DAA_level_record();

}  // namespace vxctl
