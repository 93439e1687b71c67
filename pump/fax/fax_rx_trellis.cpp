#include "pump/fax/fax_rx_trellis.h"

#include <algorithm>
#include <array>

#include "pump/fax/fax_encoders.h"
#include "pump/fax/fax_rx_cells.h"
#include "pump/fax/fax_rx_descramblers.h"
#include "pump/fax/fax_signal_sets.h"

namespace pump {
namespace {

// The branches into each new state: its four predecessors and their
// subsets, in the order of the old states, from the encoder's table.
struct Into {
  std::array<int, 4> from;
  std::array<int, 4> subset;
};
constexpr std::array<Into, 8> kInto = [] {
  std::array<Into, 8> into{};
  std::array<int, 8> count{};
  for (int from = 0; from < 8; ++from) {
    for (int pair = 0; pair < 4; ++pair) {
      const auto to = static_cast<std::size_t>(kV17TrellisNext[static_cast<std::size_t>(from)][static_cast<std::size_t>(pair)]);
      const auto k = static_cast<std::size_t>(count[to]++);
      into[to].from[k] = from;
      into[to].subset[k] = 2 * pair + (from & 1);
    }
  }
  return into;
}();

int PerSubset(int bits) { return 1 << (bits - 2); }

std::int32_t Diff16(std::int32_t a, std::int32_t b) { return std::clamp(a - b, -32767, 32767); }

// Survivor word: the cell in bits 24-31, the predecessor of new state s in bits 3s..3s+2.
int Predecessor(std::uint32_t word, int state) { return static_cast<int>((word >> (3 * state)) & 7); }

std::uint32_t Nibble(std::uint32_t word, int k) { return (word >> (4 * k)) & 15; }

}  // namespace

std::span<const std::uint32_t> FaxV17CellTable(int bits) {
  switch (bits) {
    case 6:
      return kV17Cells14400;
    case 5:
      return kV17Cells12000;
    case 4:
      return kV17Cells9600;
    default:
      return kV17Cells7200;
  }
}

std::uint32_t FaxV17Cell(int bits, std::int32_t i, std::int32_t q) {
  const int shift = bits == 6 || bits == 4 ? 3 : 2;
  std::int64_t a = std::int64_t{i} << shift;
  std::int64_t b = std::int64_t{q} << shift;
  if (bits == 5 || bits == 3) {
    const std::int64_t u = a + b;
    b = b - a;
    a = u;
  }
  const auto a16 = static_cast<std::int32_t>(std::clamp<std::int64_t>(a, -0x7FFF, 0x7FFF));
  const auto b16 = static_cast<std::int32_t>(std::clamp<std::int64_t>(b, -0x7FFF, 0x7FFF));
  if (bits >= 5) return static_cast<std::uint32_t>(((a16 >> 8) & 0xF0) | ((b16 >> 12) & 0x0F));
  return static_cast<std::uint32_t>(((a16 >> 10) & 0x38) | ((b16 >> 13) & 7));
}

int FaxV17BranchSubset(int from, int to) {
  const Into& into = kInto[static_cast<std::size_t>(to & 7)];
  for (int k = 0; k < 4; ++k) {
    if (into.from[static_cast<std::size_t>(k)] == from) return into.subset[static_cast<std::size_t>(k)];
  }
  return -1;
}

void FaxTrellisReset(FaxRxRecord& rx) {
  std::fill(std::begin(rx.metrics), std::end(rx.metrics), 0);
  std::fill(std::begin(rx.survivors), std::end(rx.survivors), 0u);
  rx.survivor_at = 0;
  rx.survivor_count = 0;
  rx.best_state = rx.previous_best_state = 0;
}

void FaxTrellisDecide(FaxRxRecord& rx) {
  const int bits = rx.bits;
  const std::uint32_t cell = FaxV17Cell(bits, rx.y_i, rx.y_q);
  const std::uint32_t word = rx.cells[cell];
  std::array<FaxPoint, 8> candidate{};
  for (int k = 0; k < 8; ++k) {
    candidate[static_cast<std::size_t>(k)] = V17Point(bits, k * PerSubset(bits) + static_cast<int>(Nibble(word, k)));
    const std::int64_t di = Diff16(64 * candidate[static_cast<std::size_t>(k)].i, rx.y_i);
    const std::int64_t dq = Diff16(64 * candidate[static_cast<std::size_t>(k)].q, rx.y_q);
    rx.branch[k] = static_cast<std::int32_t>((di * di + dq * dq) >> 8);
  }
  std::array<std::int64_t, 8> next{};
  std::uint32_t survivor = cell << 24;
  for (int s = 0; s < 8; ++s) {
    const Into& into = kInto[static_cast<std::size_t>(s)];
    std::int64_t best = -1;
    int from = 0;
    for (int k = 0; k < 4; ++k) {
      const int f = into.from[static_cast<std::size_t>(k)];
      const std::int64_t m = std::int64_t{rx.metrics[f]} + rx.branch[into.subset[static_cast<std::size_t>(k)]];
      if (best < 0 || m < best) {
        best = m;
        from = f;
      }
    }
    next[static_cast<std::size_t>(s)] = best;
    survivor |= static_cast<std::uint32_t>(from) << (3 * s);
  }
  const auto lowest = std::min_element(next.begin(), next.end());
  const std::int64_t floor = *lowest;
  for (int s = 0; s < 8; ++s) rx.metrics[s] = static_cast<std::int32_t>(std::min<std::int64_t>(next[static_cast<std::size_t>(s)] - floor, 0x3FFFFFFF));
  rx.survivor_at = (rx.survivor_at + 1) % kFaxSurvivors;
  rx.survivors[rx.survivor_at] = survivor;
  rx.survivor_count = std::min(rx.survivor_count + 1, kFaxSurvivors);
  ++rx.block_symbols;
  rx.previous_best_state = rx.best_state;
  rx.best_state = static_cast<std::int32_t>(lowest - next.begin());
  const int subset = FaxV17BranchSubset(rx.previous_best_state, rx.best_state);
  rx.valid = subset >= 0 ? 1 : 0;
  if (subset >= 0) {
    const FaxPoint p = candidate[static_cast<std::size_t>(subset)];
    rx.d_i = 64 * p.i;
    rx.d_q = 64 * p.q;
    rx.point = subset * PerSubset(bits) + static_cast<int>(Nibble(word, subset));
  }
}

int FaxTraceback(FaxRxRecord& rx, void (*deliver)(void* user, std::uint32_t bits, int count), void* user) {
  const int symbols = std::min(rx.block_symbols, kFaxSurvivors - kFaxTracebackDelay);
  rx.block_symbols = 0;
  const int available = std::min(symbols, rx.survivor_count - kFaxTracebackDelay);
  if (available <= 0) return 0;
  // The best state now, followed back 32 words; then the block's words.
  int state = 0;
  for (int s = 1; s < 8; ++s) {
    if (rx.metrics[s] < rx.metrics[state]) state = s;
  }
  int at = rx.survivor_at;
  for (int k = 0; k < kFaxTracebackDelay; ++k) {
    state = Predecessor(rx.survivors[at], state);
    at = (at + kFaxSurvivors - 1) % kFaxSurvivors;
  }
  // Word `at` holds the branch into `state`; collect the block's symbols newest first.
  std::array<std::int32_t, kFaxSurvivors> subset{};
  std::array<std::uint32_t, kFaxSurvivors> cell{};
  for (int k = available - 1; k >= 0; --k) {
    const std::uint32_t word = rx.survivors[at];
    const int from = Predecessor(word, state);
    subset[static_cast<std::size_t>(k)] = FaxV17BranchSubset(from, state);
    cell[static_cast<std::size_t>(k)] = word >> 24;
    state = from;
    at = (at + kFaxSurvivors - 1) % kFaxSurvivors;
  }
  for (int k = 0; k < available; ++k) {
    const std::int32_t sub = subset[static_cast<std::size_t>(k)];
    const std::uint32_t uncoded = Nibble(rx.cells[cell[static_cast<std::size_t>(k)]], sub);
    const std::uint32_t pair = static_cast<std::uint32_t>((sub >> 1) - (rx.delivered_subset >> 1)) & 3;
    rx.delivered_subset = sub;
    const std::uint32_t bits = FaxDescramble(rx, uncoded << 2 | pair, rx.bits);
    if (deliver != nullptr) deliver(user, bits, rx.bits);
  }
  return available;
}

}  // namespace pump
