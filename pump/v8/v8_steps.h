// What the V.8 caller's and answerer's states share (v8_caller.cpp,
// v8_answerer.cpp, v8_start.cpp).
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump::v8 {

// Register 56 := event, then the doorbell.
void Report(DspContext& context, std::uint8_t event);

// The negotiated modem of the call's mode, as caller or answerer by the
// call's direction.
void StartNegotiatedModem(DspContext& context);

// After a modem start from a V.8 state: when the start left the receive
// machine on the V.8 table (the modem is not built here yet), the machine
// goes idle, so no V.8 state runs after the procedure ended.
void EndIfStillOnV8(DspContext& context);

// The AGC's gain shows that the signal is gone: the pump returned to idle.
bool SignalLost(DspContext& context);

}  // namespace pump::v8
