// A V.32/V.32bis connection's start-up, rate sequences and data, caller
// (role 1) and answerer (role 2): the transmitter gives one symbol at a
// time, the receiver takes each received sample (after the echo
// canceller), and the two drive each other through the connection's
// flags and states (`V32Area::link`).
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"
#include "pump/v32/signal_sets.h"

namespace pump::v32 {

// The caller starts sending AA at once, or after 192 samples of silence
// (`wait_first`, handshake type 3).
void StartCaller(DspContext& context, bool wait_first);
// The answerer listens for AA for 1920 samples; its AC lasts `ac_symbols`.
void StartAnswerer(DspContext& context, int ac_symbols);
// The transmitter's next symbol (a limit that runs out sets `link.ended`).
Point ConnectionTxSymbol(DspContext& context);
// One received sample; false when the connection has ended.
bool ConnectionRxSample(DspContext& context, std::int16_t x);

// The received samples a round trip of `count` samples puts between a
// symbol's sending and its far echo, as echo history entries (two a
// symbol, even); the near taps' entries below 257 samples.
std::uint32_t FarEchoEntries(std::uint32_t near_entries, std::int32_t count);

}  // namespace pump::v32
