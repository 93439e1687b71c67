// A connected call watched and ended: retrains and rate renegotiations
// asked of the data pump and followed until it reports the connection
// again, the line-quality judgement that steps the rate up or down, the
// hang-up (at once, or for V.32, V.32bis, V.34 and V.90 through an empty
// renegotiation or a retrain), and whether the carrier counts as present.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/dsp/dsp_transport.h"

namespace vxctl {

// Line-quality classes.
enum LineQualityClass : std::uint8_t {
  kQualityGood = 0,
  kQualityFair = 1,
  kQualityDegraded = 2,
  kQualityBad = 3,
};

// Timer lengths in 10 ms ticks: a class held this long steps the rate up
// or down, a bad line this long retrains.
inline constexpr std::uint16_t kFallForwardTicks = 501;
inline constexpr std::uint16_t kFallBackTicks = 501;
inline constexpr std::uint16_t kBadLineTicks = 201;
inline constexpr std::uint16_t kQualityPrescale = 10;
// The 5 s window of the frame-error count and its limit.
inline constexpr std::uint16_t kFrameErrorWindowTicks = 500;
inline constexpr std::uint16_t kFrameErrorLimit = 16;

// Ends the call: graceful non-zero clears V.32, V.32bis, V.34 and V.90
// calls down through the data pump, anything else goes to task state 4.
void ModemTask_Hangup(std::uint8_t graceful);
// Asks for a retrain (0x69) while connected, retraining or renegotiating
// above V.22; task state 8.
void ModemTask_Retrain();
// Asks for a renegotiation to `rate` (0x6B) while connected above V.32;
// `asymmetric` goes as byte 1 on V.34 when the peer accepts it.
void ModemTask_Renegotiate(std::uint16_t rate, std::uint8_t asymmetric);
// The V.32bis rate-signal bit of a rate; 0 for a rate V.32bis lacks.
std::uint16_t ModemTask_V32bisRateBit(std::uint16_t rate);
// The line's class now.
std::uint8_t ModemTask_LineQuality();
// The rate update of a V.34 rate reply (0xC6): the two rates by the
// call's direction, the reply's flags, the renegotiation it reports.
void ModemTask_DecodeV34Rates(const DspReply& reply);
// Task state 3's step: every 100 ms the class decides fall forward, fall
// back or retrain.
void ModemTask_LineQualityStep();
void ModemTask_FallBackStep();
// Task states 8 and 17: follow the retrain or renegotiation.
void ModemTask_RetrainMonitor();
void ModemTask_RenegMonitor();
// Whether the carrier counts as present for the command interpreter and
// the fax layer.
bool ModemTask_CarrierPresent();
// One bad received HDLC frame.
void ModemTask_CountFrameError();

}  // namespace vxctl
