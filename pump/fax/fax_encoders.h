// The fax modems' encoders: a symbol's data bits (the first in bit 0,
// already scrambled) to the point number of the rate's signal set.
#pragma once

#include <array>
#include <cstdint>

#include "pump/fax/fax_area.h"

namespace pump {

// V.27ter: 3 bits (4800 bit/s) turn the phase in eighths of a turn, 2 bits
// (2400 bit/s) in quarter turns. The point number is the new phase.
int V27terEncode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol);

// V.29: 4 bits (9600 bit/s: three turn the phase in eighths, the first is
// the amplitude bit), 3 (7200) or 2 (4800, quarter turns).
int V29Encode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol);

// V.17's trellis encoder: the next state by state and new differential
// pair. A state's subset is twice the pair plus the state's low bit.
inline constexpr std::array<std::array<std::uint8_t, 4>, 8> kV17TrellisNext = {{
    {0, 2, 3, 1},
    {4, 7, 5, 6},
    {1, 3, 2, 0},
    {7, 4, 6, 5},
    {2, 0, 1, 3},
    {6, 5, 7, 4},
    {3, 1, 0, 2},
    {5, 6, 4, 7},
}};

// V.17: the first two bits turn the differential pair; the 8-state
// trellis encoder adds the redundant bit; the rest pick the point in the
// subset. `bits_per_symbol` is 3 to 6.
int V17Encode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol);

}  // namespace pump
