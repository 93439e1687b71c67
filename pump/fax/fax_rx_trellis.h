// The V.17 receiver's trellis decoder: the cell of a received point, the
// branch metrics of the eight subsets, the 8-state Viterbi step with its
// ring of survivor words, the tentative decision for the loops and the
// traceback that delivers symbols 32 symbols late.
#pragma once

#include <cstdint>
#include <span>

#include "pump/fax/fax_rx_record.h"

namespace pump {

// The cell table of a V.17 rate by its data bits per symbol (3 to 6).
std::span<const std::uint32_t> FaxV17CellTable(int bits);

// The cell number of the equaliser output (i, q) at a rate.
std::uint32_t FaxV17Cell(int bits, std::int32_t i, std::int32_t q);

// The subset on the branch from state `from` to state `to`, or -1 when the
// trellis has no such branch.
int FaxV17BranchSubset(int from, int to);

// One Viterbi step on the record's equaliser output, and the tentative
// decision: the candidate of the subset on the branch between the last two
// best states (invalid when there is none).
void FaxTrellisDecide(FaxRxRecord& rx);

// The traceback once per block: the block's symbols, 32 symbols late, as
// descrambled bits, each handed to `deliver` (bits, count) oldest first.
// Returns the number of symbols delivered.
int FaxTraceback(FaxRxRecord& rx, void (*deliver)(void* user, std::uint32_t bits, int count), void* user);

// Clears the metrics and the survivor ring.
void FaxTrellisReset(FaxRxRecord& rx);

}  // namespace pump
