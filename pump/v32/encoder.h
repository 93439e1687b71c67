// Differential and 8-state convolutional encoding, and the mapping of a
// symbol's scrambled bits to a point of the rate's signal set.
#pragma once

#include <array>
#include <cstdint>

#include "pump/v32/signal_sets.h"

namespace pump::v32 {

// New differential state by the input pair q (first bit in bit 0) and the
// previous state: q = 0 turns the point by +90 degrees, 1 by 180, 2 keeps
// it, 3 turns by 270.
inline constexpr std::array<std::array<std::uint8_t, 4>, 4> kDifferential = {{
    {2, 0, 3, 1}, {3, 2, 1, 0}, {0, 1, 2, 3}, {1, 3, 0, 2}}};

// Next state of the convolutional encoder by state and coded pair Y2Y1;
// bit 0 of the state is the redundant bit Y0.
inline constexpr std::array<std::array<std::uint8_t, 4>, 8> kConvolutionalNext = {{
    {0, 2, 3, 1}, {4, 7, 5, 6}, {1, 3, 2, 0}, {7, 4, 6, 5},
    {2, 0, 1, 3}, {6, 5, 7, 4}, {3, 1, 0, 2}, {5, 6, 4, 7}}};

struct Encoder {
  std::uint8_t differential = 0;   // the previous pair (trellis) or state (uncoded)
  std::uint8_t convolutional = 0;  // 0..7
};

// The output number of one symbol's scrambled bits (first bit in bit 0).
unsigned EncodeSymbol(Encoder& e, std::uint32_t bits, DataRate rate);

// One pair of a rate sequence or of TRN4: differential coding only.
inline unsigned EncodePair(Encoder& e, std::uint32_t pair) {
  e.differential = kDifferential[pair & 3][e.differential];
  return e.differential;
}

}  // namespace pump::v32
