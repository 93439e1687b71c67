#include "pump/tests/support/ber_counter.h"

#include <algorithm>
#include <vector>

namespace pump::testing {
namespace {

std::vector<std::uint8_t> Bits(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> bits;
  bits.reserve(8 * bytes.size());
  for (const std::uint8_t b : bytes) {
    for (int k = 0; k < 8; ++k) bits.push_back(static_cast<std::uint8_t>((b >> k) & 1u));
  }
  return bits;
}

std::size_t Differences(const std::vector<std::uint8_t>& sent, const std::vector<std::uint8_t>& got,
                        std::size_t at, std::size_t count) {
  std::size_t errors = 0;
  for (std::size_t k = 0; k < count; ++k) {
    errors += at + k >= got.size() || got[at + k] != sent[k] ? 1u : 0u;
  }
  return errors;
}

}  // namespace

BitErrorCount CountRawBitErrors(std::span<const std::uint8_t> sent,
                                std::span<const std::uint8_t> received, std::size_t align_bits) {
  const std::vector<std::uint8_t> want = Bits(sent);
  const std::vector<std::uint8_t> got = Bits(received);
  const std::size_t probe = std::min(align_bits, want.size());
  std::size_t best_at = 0;
  std::size_t best = probe + 1;
  for (std::size_t at = 0; at + probe <= got.size() && best != 0; ++at) {
    const std::size_t d = Differences(want, got, at, probe);
    if (d < best) {
      best = d;
      best_at = at;
    }
  }
  if (best > probe) return {want.size(), want.size()};  // too little received to hold the data
  return {want.size(), Differences(want, got, best_at, want.size())};
}

}  // namespace pump::testing
