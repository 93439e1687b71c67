// The fax receiver's descramblers, inverses of the transmitter's
// scramblers.
#pragma once

#include <cstdint>

#include "pump/fax/fax_rx_record.h"

namespace pump {

// V.17 and V.29, 1 + x^-18 + x^-23: `count` bits (at most 6), the first in
// bit 0; the register keeps the received bits.
std::uint32_t FaxDescramble(FaxRxRecord& rx, std::uint32_t bits, int count);

// V.27ter, 1 + x^-6 + x^-7, `count` bits the first in bit 0, with the
// transmitter's guard: after 33 received bits in a row that each equal
// the bit 8, 9 or 12 before, the next bit was inverted and is inverted back.
std::uint32_t V27terDescramble(FaxRxRecord& rx, std::uint32_t bits, int count);

}  // namespace pump
