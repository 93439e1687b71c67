#include "pump/fax/fax_scramblers.h"

namespace pump {
namespace {

// Output bits in a row that repeat the output 8, 9 or 12 bits earlier
// before the guard inverts the next one.
constexpr std::uint32_t kV27terGuardRun = 33;

}  // namespace

std::uint32_t FaxScramble(FaxTxRecord& tx, std::uint32_t bits, int count) {
  // Bit k of the register is the output 23 - k bits ago, so output j of
  // this group needs bits j (23 ago) and j + 5 (18 ago): both are older
  // than the group for count <= 18.
  const std::uint32_t mask = (1u << count) - 1;
  const std::uint32_t out = (bits ^ (tx.scrambler >> 5) ^ tx.scrambler) & mask;
  tx.scrambler = (tx.scrambler | out << 23) >> count;
  return out;
}

int V27terScramble(FaxTxRecord& tx, int bit) {
  const std::uint32_t h = tx.v27_history;  // bit k: the output k + 1 bits ago
  const std::uint32_t out = (static_cast<std::uint32_t>(bit) ^ tx.v27_carry ^ (h >> 5) ^ (h >> 6)) & 1;
  const bool differs_from_all = (((h >> 7) ^ out) & ((h >> 8) ^ out) & ((h >> 11) ^ out) & 1) != 0;
  tx.v27_guard = differs_from_all || tx.v27_carry != 0 ? 0 : tx.v27_guard + 1;
  tx.v27_carry = tx.v27_guard >= kV27terGuardRun ? 1 : 0;
  tx.v27_history = ((h << 1) | out) & 0xFFF;
  return static_cast<int>(out);
}

}  // namespace pump
