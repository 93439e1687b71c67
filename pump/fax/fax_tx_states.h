// The fax transmitter's symbol states: one tick of the transmit machine
// per symbol leaves that symbol's point in the record. Each burst waits for
// the transmit request, sends silence, the echo-protection tone (the
// unmodulated carrier) and silence, the modulation's training, marks, the
// framer's data until the request is dropped, a tail of marks, and posts
// DP_FAX_CD.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The transmit table of a mode word's modulation.
StateTable<DspContext> FaxTxTable(std::uint16_t mode_word);

// One symbol: runs the transmit machine once.
void FaxTxSymbol(DspContext& context);

}  // namespace pump
