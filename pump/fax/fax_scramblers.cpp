#include "pump/fax/fax_scramblers.h"

#include "pump/v32/scrambler.h"

namespace pump {
namespace {

// Output bits in a row that repeat the output 8, 9 or 12 bits earlier
// before the guard inverts the next one.
constexpr std::uint32_t kV27terGuardRun = 33;

}  // namespace

// The polynomial is V.32's calling-modem one, with its register layout
// (the output 23 - k bits ago in bit k).
std::uint32_t FaxScramble(FaxTxRecord& tx, std::uint32_t bits, int count) {
  v32::Scrambler s{tx.scrambler};
  const std::uint32_t out = v32::Scramble(s, bits, count, v32::Polynomial::kCaller);
  tx.scrambler = s.reg;
  return out;
}

void V27terGuardStep(std::uint32_t history, std::uint32_t line, std::uint32_t& run, std::uint32_t& carry) {
  const bool differs_from_all = (((history >> 7) ^ line) & ((history >> 8) ^ line) & ((history >> 11) ^ line) & 1) != 0;
  run = differs_from_all || carry != 0 ? 0 : run + 1;
  carry = run >= kV27terGuardRun ? 1 : 0;
}

int V27terScramble(FaxTxRecord& tx, int bit) {
  const std::uint32_t h = tx.v27_history;  // bit k: the output k + 1 bits ago
  const std::uint32_t out = (static_cast<std::uint32_t>(bit) ^ tx.v27_carry ^ (h >> 5) ^ (h >> 6)) & 1;
  V27terGuardStep(h, out, tx.v27_guard, tx.v27_carry);
  tx.v27_history = ((h << 1) | out) & 0xFFF;
  return static_cast<int>(out);
}

}  // namespace pump
