// The V.34 4D trellis codes as the tests rebuild them, apart from the
// library: the 2D subset labelling of the signal grid, the 4D subsets as
// tables of label pairs, the encoders of 16, 32 and 64 states, and the
// next-state tables in the order the add-compare-select step reads them.
//
// Units: grid points lie at odd multiples of 128 in each coordinate, one grid
// step being 256 (odd integers of the recommendation times 128).
#pragma once

#include <cstdint>
#include <vector>

namespace trellis_test {

// What a test fills an output with to see which words a kernel wrote.
inline constexpr std::uint32_t kUntouched = 0xDEADBEEF;

// ---- 2D subsets --------------------------------------------------------------------

// Column number (0..3) of a grid line v = 128 (2m + 1): (m + 2) mod 4.
inline std::int32_t ColumnOf(std::int64_t v) {
  const std::int64_t m = (v - 128) / 256;  // exact: v - 128 is a multiple of 256
  return static_cast<std::int32_t>(((m + 2) % 4 + 4) % 4);
}

// Label (0..7) of the grid point in column a and row b, entry a + 4 b. The
// low two bits are the four 2D subsets: (1, 1) is subset 0 and a quarter
// turn to the left adds 1, so (-1, 1) is 1, (-1, -1) is 2, (1, -1) is 3. Bit 2
// splits each of them into the two points two steps apart along an axis.
inline constexpr std::uint8_t kLabels[16] = {0, 1, 4, 5, 3, 2, 7, 6, 4, 5, 0, 1, 7, 6, 3, 2};

inline std::int32_t LabelOf(std::int64_t x, std::int64_t y) {
  return kLabels[ColumnOf(x) + 4 * ColumnOf(y)];
}

// ---- 4D subsets --------------------------------------------------------------------

// 4D subset of a pair of 2D labels (first point, second point). 16 states:
// eight subsets of two pairs of 2D subsets (labels mod 4); 32 states: sixteen
// subsets, each also fixing whether the two points' bit 2 agree; 64 states:
// thirty-two subsets, each one pair of 2D subsets with that parity.
inline constexpr std::uint8_t kSubset16[4][4] = {
    {0, 1, 2, 3}, {7, 4, 5, 6}, {2, 3, 0, 1}, {5, 6, 7, 4}};
inline constexpr std::uint8_t kSubset32[8][8] = {
    {0, 1, 2, 3, 8, 9, 10, 11},   {7, 4, 5, 6, 15, 12, 13, 14}, {2, 3, 0, 1, 10, 11, 8, 9},
    {5, 6, 7, 4, 13, 14, 15, 12}, {8, 9, 10, 11, 0, 1, 2, 3},   {15, 12, 13, 14, 7, 4, 5, 6},
    {10, 11, 8, 9, 2, 3, 0, 1},   {13, 14, 15, 12, 5, 6, 7, 4}};
inline constexpr std::uint8_t kSubset64[8][8] = {
    {0, 1, 2, 3, 16, 17, 18, 19},   {7, 4, 5, 6, 23, 20, 21, 22},
    {10, 11, 8, 9, 26, 27, 24, 25}, {13, 14, 15, 12, 29, 30, 31, 28},
    {16, 17, 18, 19, 0, 1, 2, 3},   {23, 20, 21, 22, 7, 4, 5, 6},
    {26, 27, 24, 25, 10, 11, 8, 9}, {29, 30, 31, 28, 13, 14, 15, 12}};

inline std::int32_t Subset4D(std::int32_t states, std::int32_t first, std::int32_t second) {
  if (states == 16) return kSubset16[first & 3][second & 3];
  return states == 32 ? kSubset32[first][second] : kSubset64[first][second];
}

struct LabelPair {
  std::int32_t first;
  std::int32_t second;
};

// The label pairs (labels 0..7 each) that make 4D subset `subset`.
inline std::vector<LabelPair> PairsOf(std::int32_t states, std::int32_t subset) {
  std::vector<LabelPair> pairs;
  for (std::int32_t a = 0; a < 8; ++a) {
    for (std::int32_t b = 0; b < 8; ++b) {
      if (Subset4D(states, a, b) == subset) pairs.push_back({a, b});
    }
  }
  return pairs;
}

// ---- encoders ------------------------------------------------------------------------

// Systematic feedback encoders given by their parity checks h0, h1, ...
// (octal), in the structure of the V.34 codes: the trellis bit Y0 is bit 0
// of the state, 2, 3 or 4 input bits per 4D symbol, and the next state is
// (state XOR Y0 h0 XOR Y1 h1 XOR ...) >> 1. The branch number k carries the
// input bits Y1 (bit 0 of k), Y2, ...; the 4D subset sent on branch k from
// state s is 2k + Y0. The 32-state checks give the connections on which the
// seeded add-compare-select kernel relies (source states 0 to 3 reach every
// state once); the decoder test holds for any such code.
struct Code {
  std::int32_t states;
  std::vector<std::uint32_t> checks;  // h0, then one per input bit
};

inline Code CodeOf(std::int32_t states) {
  if (states == 16) return {16, {023, 004, 016}};
  if (states == 32) return {32, {041, 010, 022, 004}};
  return {64, {0101, 016, 064, 004, 010}};
}

inline std::int32_t Branches(std::int32_t states) { return states / 4; }

inline std::int32_t NextState(const Code& code, std::int32_t state, std::int32_t branch) {
  std::uint32_t sum = static_cast<std::uint32_t>(state);
  if (state & 1) sum ^= code.checks[0];
  for (std::size_t bit = 1; bit < code.checks.size(); ++bit) {
    if ((branch >> (bit - 1)) & 1) sum ^= code.checks[bit];
  }
  return static_cast<std::int32_t>(sum >> 1);
}

// Entry i * b + k: the state that branch k of state i reaches.
inline std::vector<std::uint8_t> NextStateTable(std::int32_t states) {
  const Code code = CodeOf(states);
  std::vector<std::uint8_t> table;
  for (std::int32_t i = 0; i < states; ++i) {
    for (std::int32_t k = 0; k < Branches(states); ++k) {
      table.push_back(static_cast<std::uint8_t>(NextState(code, i, k)));
    }
  }
  return table;
}

}  // namespace trellis_test
