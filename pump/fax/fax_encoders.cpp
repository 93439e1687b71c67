#include "pump/fax/fax_encoders.h"

#include <array>

namespace pump {
namespace {

// Phase changes by tribit in eighths of a turn, and by dibit in quarter turns.
constexpr std::array<int, 8> kEighthTurns = {1, 6, 2, 5, 0, 7, 3, 4};
constexpr std::array<int, 4> kQuarterTurns = {0, 3, 1, 2};

int TurnPhase(FaxTxRecord& tx, std::uint32_t bits, bool quarter_turns) {
  tx.phase = quarter_turns ? (tx.phase + kQuarterTurns[bits & 3]) & 3
                           : (tx.phase + kEighthTurns[bits & 7]) & 7;
  return tx.phase;
}

}  // namespace

int V27terEncode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol) {
  return TurnPhase(tx, bits, bits_per_symbol == 2);
}

int V29Encode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol) {
  if (bits_per_symbol == 4) {
    return 2 * TurnPhase(tx, bits >> 1, false) + static_cast<int>(bits & 1);
  }
  return TurnPhase(tx, bits, bits_per_symbol == 2);
}

int V17Encode(FaxTxRecord& tx, std::uint32_t bits, int bits_per_symbol) {
  tx.pair = (tx.pair + static_cast<int>(bits & 3)) & 3;
  const int subset = 2 * tx.pair + (tx.trellis & 1);
  tx.trellis = kV17TrellisNext[tx.trellis & 7][tx.pair];
  return (subset << (bits_per_symbol - 2)) + static_cast<int>(bits >> 2);
}

}  // namespace pump
