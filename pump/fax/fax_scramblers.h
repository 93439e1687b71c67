// The fax transmitter's scramblers.
#pragma once

#include <cstdint>

#include "pump/fax/fax_area.h"

namespace pump {

// The scrambler seeds of V.17's and V.29's training segments (the
// receiver's training references start from them too).
inline constexpr std::uint32_t kFaxV17TrainingSeed = 0x55D9BA;
inline constexpr std::uint32_t kFaxV29TrainingSeed = 51;

// V.17 and V.29, 1 + x^-18 + x^-23: `count` bits (at most 6) at once, the
// first in bit 0; returns the scrambled bits in the same order.
std::uint32_t FaxScramble(FaxTxRecord& tx, std::uint32_t bits, int count);

// V.27ter's guard against repetitive patterns, after one more line bit
// `line` (the scrambler's output) with `history` the line bits before it
// (bit k: the bit k + 1 before): `run` counts the line bits in a row that
// each equal the bit 8, 9 and 12 before; `carry` becomes 1 when the next
// bit is inverted. The scrambler and the descrambler both run it.
void V27terGuardStep(std::uint32_t history, std::uint32_t line, std::uint32_t& run, std::uint32_t& carry);

// V.27ter, 1 + x^-6 + x^-7, one bit, with the guard against repetitive
// patterns: after 33 output bits in a row that each equal the output 8, 9
// or 12 bits earlier, the next output bit is inverted (as spandsp's
// receiver undoes it).
int V27terScramble(FaxTxRecord& tx, int bit);

}  // namespace pump
