#include "pump/core/bit_fields.h"

#include <algorithm>

namespace pump {
namespace {

constexpr std::uint64_t LowMask(unsigned n) { return (std::uint64_t{1} << n) - 1; }

// Two neighbouring words of the array as one value, the lower one low.
template <typename Word>
std::uint64_t WordPair(std::span<const Word> words, std::size_t index) {
  const std::uint64_t low = index < words.size() ? words[index] : 0;
  const std::uint64_t high = index + 1 < words.size() ? words[index + 1] : 0;
  return low | high << (8 * sizeof(Word));
}

}  // namespace

std::size_t PutBits(std::span<std::uint32_t> words, std::size_t position, unsigned n,
                    std::uint32_t value) {
  n = std::min(n, 32u);
  const std::size_t index = position / 32;
  const unsigned shift = position % 32;
  const std::uint64_t mask = LowMask(n) << shift;
  const std::uint64_t field = (value & LowMask(n)) << shift;
  for (std::size_t i = 0; i < 2; ++i) {
    const auto word_mask = static_cast<std::uint32_t>(mask >> (32 * i));
    if (word_mask == 0 || index + i >= words.size()) continue;
    std::uint32_t& word = words[index + i];
    word = (word & ~word_mask) | static_cast<std::uint32_t>(field >> (32 * i));
  }
  return position + n;
}

std::uint32_t GetBits16(std::span<const std::uint16_t> words, std::size_t position, unsigned n) {
  n = std::min(n, 16u);
  return static_cast<std::uint32_t>((WordPair(words, position / 16) >> (position % 16)) &
                                    LowMask(n));
}

std::uint32_t GetBits32(std::span<const std::uint32_t> words, std::size_t position, unsigned n) {
  n = std::min(n, 32u);
  return static_cast<std::uint32_t>((WordPair(words, position / 32) >> (position % 32)) &
                                    LowMask(n));
}

}  // namespace pump
