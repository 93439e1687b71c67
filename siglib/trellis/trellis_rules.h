// What every variant of the trellis kernels shares: the argument checks, the
// signal grid and its offset codes, the pairs of 2D subsets that make each 4D
// subset, and the plain forms of the three operations (the 2D metrics in one
// straight line, the 4D metrics and add-compare-select as loops).
//
// The code here has internal linkage: each variant's source compiles its own
// copy under its own flags, so px runs code that was never vectorised and the
// "own" entries of m6 and w7 are functions of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::trellis {
namespace {

// ---- argument checks -----------------------------------------------------------

constexpr bool IsStateCount(std::int32_t states) {
  return states == 16 || states == 32 || states == 64;
}

// 4D subsets (output words of the 4D operation): 8, 16 or 32.
constexpr std::int32_t SubsetCount4D(std::int32_t states) { return states / 2; }

// Branches per state: 4, 8 or 16.
constexpr std::int32_t BranchCount(std::int32_t states) { return states / 4; }

inline qvls_status Check2D(const void* point, const void* corner, const void* metrics,
                           const void* labels) {
  if (point == nullptr || corner == nullptr || metrics == nullptr || labels == nullptr) {
    return QVLS_ERR_NULL_POINTER;
  }
  return QVLS_OK;
}

// A state count other than 16, 32 or 64, or a mask that would carry the pairs
// outside the 2D arrays, is refused before anything is written.
inline qvls_status Check4D(const void* metrics2d, const void* metrics4d, std::int32_t states,
                           std::int32_t mask) {
  if (metrics2d == nullptr || metrics4d == nullptr) return QVLS_ERR_NULL_POINTER;
  if (!IsStateCount(states)) return QVLS_ERR_BAD_ARG;
  if (mask < 0 || mask >= SubsetCount4D(states)) return QVLS_ERR_BAD_ARG;
  return QVLS_OK;
}

// The answer of a step that must not run: -8 for a null pointer, 0 for no
// states at all (nothing to do), -5 for a state count other than 16, 32 or
// 64; none when the step runs.
inline std::optional<qvls_status> AcsEarlyAnswer(const void* old_metrics, const void* next_state,
                                                 const void* new_metrics, const void* metrics4d,
                                                 const void* survivors, std::int32_t states) {
  if (old_metrics == nullptr || next_state == nullptr || new_metrics == nullptr ||
      metrics4d == nullptr || survivors == nullptr) {
    return QVLS_ERR_NULL_POINTER;
  }
  if (states <= 0) return QVLS_OK;
  if (!IsStateCount(states)) return QVLS_ERR_BAD_ARG;
  return std::nullopt;
}

// ---- words -----------------------------------------------------------------------

constexpr std::uint32_t Low(std::uint32_t word) { return word & 0xFFFF; }
constexpr std::uint32_t High(std::uint32_t word) { return word >> 16; }
constexpr std::uint32_t Word(std::uint32_t low, std::uint32_t high) {
  return (low & 0xFFFF) | (high << 16);
}

// ---- 2D metrics ------------------------------------------------------------------

// One coordinate against the grid (lines at odd multiples of 128, 256 apart):
// f, its distance above the grid line at or below it (0 to 255), that line g,
// and the line's column (or row) number modulo 4.
struct Axis {
  std::int32_t f;
  std::int32_t g;
  std::int32_t column;
};

constexpr Axis AxisOf(std::int32_t v) {
  const std::int32_t f = (v & 0xFF) ^ 0x80;
  const std::int32_t g = v - f;
  return {f, g, (((g - 128) >> 8) + 2) & 3};
}

// (256 d - f)^2 / 16, rounded down: one coordinate's share of a metric for
// the grid point d steps from the line below.
constexpr std::int32_t Share(std::int32_t d, std::int32_t f) {
  const std::int32_t e = 256 * d - f;
  return (e * e) >> 4;
}

// The offset codes: grid points around the square in steps from its
// lower-left corner. Codes 4..7 and 8..11 pair up (4 with 8, ...): the two
// points of a pair lie two steps apart in each coordinate, in one subset.
struct Offset {
  std::int32_t dx;
  std::int32_t dy;
};
constexpr Offset kOffsets[12] = {{0, 0},  {1, 0}, {1, 1}, {0, 1},  {0, 2},  {1, 2},
                                 {1, -1}, {2, 1}, {2, 0}, {-1, 0}, {-1, 1}, {0, -1}};

// The 2D operation for one variant: straight-line code, four corners, then
// with 8 subsets the nearer point of each of four pairs (the second one on
// equal metrics). Label table entries are masked to 2 or 3 bits.
template <std::int32_t kColumn>
void Metrics2D(const std::int16_t* point, std::uint32_t* corner, trellis_metric2d* metrics,
               const std::uint8_t* labels, std::int32_t states) {
  const std::uint32_t mask = states == 16 ? 3 : 7;
  const Axis x = AxisOf(LoadAt(point, 0));
  const Axis y = AxisOf(LoadAt(point, 1));
  StoreAt(corner, 0, Word(static_cast<std::uint32_t>(x.g), static_cast<std::uint32_t>(y.g)));

  auto label = [&](std::int32_t code) {
    const Offset o = kOffsets[code];
    return LoadAt(labels, ((x.column + o.dx) & 3) + 4 * ((y.column + o.dy) & 3)) & mask;
  };
  auto metric = [&](std::int32_t code) {
    const Offset o = kOffsets[code];
    return static_cast<std::uint32_t>(Share(o.dx, x.f) + Share(o.dy, y.f));
  };
  auto put = [&](std::int32_t code) { StoreAt(metrics, label(code), Word(metric(code), code)); };
  // Which of the two is nearer is as good as random: chosen without a branch.
  auto put_nearer = [&](std::int32_t code) {
    const std::uint32_t near = Word(metric(code), code);
    const std::uint32_t far = Word(metric(code + 4), code + 4);
    const std::uint32_t take_near =
        0u - static_cast<std::uint32_t>(metric(code) < metric(code + 4));
    StoreAt(metrics, label(code), far ^ ((far ^ near) & take_near));
  };

  put(0);
  put(1);
  put(2);
  put(3);
  if (mask == 3) return;
  put_nearer(4);
  put_nearer(5);
  put_nearer(6);
  put_nearer(7);
}

// ---- 4D metrics ------------------------------------------------------------------

// A candidate of one 4D subset: 2D subset J of the first point, K of the second.
struct Pair {
  std::int32_t first;
  std::int32_t second;
};

// The candidates of output word i, in the order in which they are tried.
struct Candidates {
  std::int32_t count;
  Pair pair[4];
};

constexpr Pair BasePair(std::int32_t c) {
  const std::int32_t j = c >> 2;
  return {j, (c + j) & 3};
}

constexpr Candidates CandidatesOf(std::int32_t states, std::int32_t mask, std::int32_t i) {
  if (states == 16) {
    const Pair p = BasePair(i ^ mask);
    return {2, {p, {(p.first + 2) & 3, (p.second + 2) & 3}, {}, {}}};
  }
  if (states == 64) {
    const Pair p = BasePair(i ^ mask);
    return {2, {p, {(p.first + 4) & 7, p.second + 4}, {}, {}}};
  }
  const std::int32_t c = (i ^ mask) + 2 * (i & 8);
  const Pair q = BasePair(c ^ 8);
  const Pair p = BasePair(c);
  return {4, {q, {(q.first + 4) & 7, q.second + 4}, p, {(p.first + 4) & 7, p.second + 4}}};
}

// The sum and the output word of one candidate. The sum is compared in full;
// the word keeps its low 16 bits, with the first point's code in the low
// byte of the label and the second point's in the high byte.
struct Scored {
  std::uint32_t sum;
  std::uint32_t word;
};

inline Scored Score(const trellis_metric2d* metrics2d, Pair p) {
  const std::uint32_t a = LoadAt(metrics2d, p.first);
  const std::uint32_t b = LoadAt(metrics2d, 8 + p.second);
  const std::uint32_t sum = Low(a) + Low(b);
  const std::uint32_t label = (High(a) & 0xFF) | ((High(b) & 0xFF) << 8);
  return {sum, Word(label, sum)};
}

// The 4D operation as a loop over the output words, one variant's copy; a
// later candidate replaces the kept one only with a strictly smaller sum.
template <std::int32_t kColumn>
void Metrics4DLoop(const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d,
                   std::int32_t states, std::int32_t mask) {
  for (std::int32_t i = 0; i < SubsetCount4D(states); ++i) {
    const Candidates candidates = CandidatesOf(states, mask, i);
    Scored best = Score(metrics2d, candidates.pair[0]);
    for (std::int32_t n = 1; n < candidates.count; ++n) {
      const Scored next = Score(metrics2d, candidates.pair[n]);
      if (next.sum < best.sum) best = next;
    }
    StoreAt(metrics4d, i, best.word);
  }
}

// ---- add-compare-select ----------------------------------------------------------

// Source states from..to-1 of one step, one variant's copy: every branch k
// of state i carries 4D subset 2k + (i mod 2); a candidate replaces a
// target's metric and survivor only when strictly smaller, so on equal
// metrics the lower source state, then the lower branch, keeps the target.
template <std::int32_t kColumn>
void AcsLoop(const std::uint16_t* old_metrics, const std::uint8_t* next_state,
             std::uint16_t* new_metrics, const trellis_metric4d* metrics4d,
             trellis_survivor* survivors, std::int32_t states, std::int32_t offset,
             std::int32_t from) {
  const std::int32_t branches = BranchCount(states);
  for (std::int32_t i = from; i < states; ++i) {
    const std::uint32_t old = LoadAt(old_metrics, i);
    for (std::int32_t k = 0; k < branches; ++k) {
      const std::uint32_t r = LoadAt(metrics4d, 2 * k + (i & 1));
      const std::int32_t t = LoadAt(next_state, i * branches + k);
      const std::uint32_t candidate = old + High(r);
      if (candidate < LoadAt(new_metrics, t)) {
        StoreAt(new_metrics, t, static_cast<std::uint16_t>(candidate));
        StoreAt(survivors, std::ptrdiff_t{offset} + t, Word(Low(r), static_cast<std::uint32_t>(i)));
      }
    }
  }
}

}  // namespace
}  // namespace qvls::trellis
