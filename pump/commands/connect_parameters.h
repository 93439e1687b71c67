// The connect parameters of commands 0x68 and 0x6E, and the V.34 rate
// limits that several commands set.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"
#include "pump/context/mode_numbers.h"

namespace pump {

// The V.34 rate index of a rate code: 4-11 give code - 3, 16-21 code - 7,
// any other code 0.
int V34RateIndex(int rate_code);

inline bool IsV34Mode(std::int32_t mode) { return mode == kModeV34 || mode == kModeV34Option; }

// The V.34 modes or a V.90 call: where a rate limit applies.
inline bool HasV34Rates(const DspContext& context) {
  return IsV34Mode(context.call.mode) || context.v90_call != 0;
}

// The limit of the receive side (this modem answers) or the transmit side
// (it originates) := the index of `rate_code`.
void SetV34RateLimit(DspContext& context, int rate_code);

// Options word low byte := byte 4 of a 6-byte packet (else 0); its bits 4,
// 0 and 1 go to the receive area's option flags.
void ApplyConnectOptions(DspContext& context);

// Bytes 0-5 into the call parameters; in the V.34 modes also the V.34
// option word and the rate limits.
void ParseConnectParameters(DspContext& context);

}  // namespace pump
