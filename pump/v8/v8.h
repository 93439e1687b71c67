// V.8 and V.8bis on the data pump. The controller builds and reads the V.8
// messages (CI, CM, JM, CJ); the data pump carries their octets over the
// V.21 channels of the FSK modem, sends ANSam, listens for the far modem's
// tones, tells the controller the timing events in register 56 and, once
// the controller continues with command 0x68, ends the exchange and starts
// the negotiated modem.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Register 56 events of the V.8 procedures (each followed by the doorbell).
enum V8Event : std::uint8_t {
  kV8EventStart = 0,            // every V.8 and V.8bis start
  kV8EventFallback = 6,         // the caller gave up V.8: a plain answer tone or 2225 Hz
  kV8EventCmStarts = 32,        // the caller starts sending CM
  kV8EventAnswerToneHeard = 34, // the caller first hears 2100 Hz
};

// Bits of the options word (command 0x68 p4) the V.8 start reads.
inline constexpr std::uint16_t kV8OptionHoldAnswer = 1u << 5;     // V8Ans0 does not run out
inline constexpr std::uint16_t kV8OptionProfileUpload = 1u << 6;  // ask for the line profile

// Ticks from ANSam to the start of CM.
inline constexpr std::int16_t kV8CmCountdown = 70;

// From StartHandshake: the originate or answer sequence by the call's direction.
void StartV8(DspContext& context);
// From StartHandshake with the V.8bis flag: the tone classifier and the
// V.8bis FSK receiver (framer type 7).
void StartV8bis(DspContext& context);

// Command 0x68 with a V.8 continuation. Outside the V.8 procedure of the
// role they change nothing (a debug line says so).
void ContinueV8Originate(DspContext& context);
void ContinueV8Answer(DspContext& context);

// The receive-gain step of a continuation: one exponent down and 6 dB of
// front-end gain when the FSK gain is high, then the saved pair held.
void AdjustV8Gain(DspContext& context);

// A transmitter record's first 32-bit word (its mode) := 0.
void ClearTxMode(void* record);

StateTable<DspContext> V8CallTable();
StateTable<DspContext> V8AnswerTable();
StateTable<DspContext> V8bisTable();

}  // namespace pump
