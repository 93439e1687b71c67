// The V.32/V.32bis mode of the data pump: its start, its own block handler
// at 7200 Hz in blocks of 48 samples, its end, and the allowed rates that
// command 0x64 hands over.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Role 0: the loopback test (the front end's analog loop, our transmitter
// into our receiver through S, S-bar, TRN, the rate word, E and data).
// Roles 1 (originate) and 2 (answer) go to the connection's pending entry.
// `rate_sequence` is the word family: 0x8880 V.32, 0x8990 V.32bis.
void StartV32(DspContext& context, int role, int rate_sequence);
void V32Block(DspContext& context);
void EndV32(DspContext& context);
// Command 0x69 in V.32: the loopback trains again from S (the receiver
// reset, the rate word, E and data again); a connection's retrain goes to
// its pending entry.
void RetrainV32(DspContext& context);
// The controller's allowed-rate byte (0x02 4800 ... 0x20 14400).
void SetV32ReceiverOption(DspContext& context, int option);

namespace v32 {
// The symbols of the loopback's training.
inline constexpr int kLoopbackS = 256;
inline constexpr int kSbarSymbols = 16;
inline constexpr int kTrn2Symbols = 256;
inline constexpr int kTrn4Symbols = 8164;
inline constexpr int kBlockSamples = 48;

// The transmit level setting (0 to -16 dB) to the front end's gain level:
// five above the setting, never above the table's top (0 dB).
int TransmitGainLevel(int setting);
}  // namespace v32

}  // namespace pump
