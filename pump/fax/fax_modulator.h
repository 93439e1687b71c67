// The fax transmitter's block handlers V17Tx, V27Tx and V29Tx: per block
// one transmit-machine tick per symbol; each symbol's point, times the
// modulation's amplitude scale, passes the polyphase shaping filter and
// turns the carrier: out = (I cos - Q sin) x output gain.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The context's TX machine table of a mode word's modulation.
StateTable<DspContext> FaxBlockTable(std::uint16_t mode_word);

}  // namespace pump
