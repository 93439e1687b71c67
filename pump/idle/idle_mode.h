// The idle mode, where every mode returns: DefaultBlock as the mode block
// handler, both state machines on their idle tables, status code 0.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The idle state handlers: silence out, nothing in.
void TxIdle(DspContext& context);  // clears the output block
void RxIdle(DspContext& context);  // clears the input block

inline constexpr StateEntry<DspContext> kTxIdleEntries[] = {{TxIdle, -1, "TxIdle"}};
inline constexpr StateEntry<DspContext> kRxIdleEntries[] = {{RxIdle, -1, "RxIdle"}};
inline constexpr StateTable<DspContext> kTxIdleTable = kTxIdleEntries;
inline constexpr StateTable<DspContext> kRxIdleTable = kRxIdleEntries;

// Stops voice when it runs, 96 samples at 9600 Hz, DefaultBlock, both
// machines to their idle tables.
void SetIdleMode(DspContext& context);

// SetIdleMode, status code 0 without the carrier bit, and an interrupt to
// the controller (register 255).
void ReturnToIdle(DspContext& context);

// The signal is lost when mantissa * 2^exponent (exponent counted only when
// positive) exceeds 1,700,000: the modem returns to idle and the result is
// true. The product is formed in 64 bits, so no exponent wraps it.
bool CheckSignalLoss(DspContext& context, std::int32_t mantissa, std::int32_t exponent);

}  // namespace pump
