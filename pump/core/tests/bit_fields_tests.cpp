#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pump/core/bit_fields.h"

namespace pump {
namespace {

struct Field {
  std::size_t position;
  unsigned bits;
  std::uint32_t value;
};

// The same bit stream seen as 16-bit words: word 2i is the low half of
// 32-bit word i.
std::vector<std::uint16_t> Halves(const std::vector<std::uint32_t>& words) {
  std::vector<std::uint16_t> halves;
  for (const std::uint32_t w : words) {
    halves.push_back(static_cast<std::uint16_t>(w));
    halves.push_back(static_cast<std::uint16_t>(w >> 16));
  }
  return halves;
}

std::uint32_t Low(std::uint32_t value, unsigned bits) {
  return bits == 32 ? value : value & ((1u << bits) - 1);
}

TEST(NumericHelpers, BitFieldsRoundTripAcrossWordBoundaries) {
  std::mt19937 random(2024);
  std::vector<std::uint32_t> words(400);
  for (std::uint32_t& w : words) w = random();  // stale bits: fields replace them
  const std::vector<std::uint32_t> stale = words;

  std::vector<Field> fields;
  std::size_t position = 0;
  while (position + 32 <= 32 * words.size() - 64) {
    const Field f{position, 1 + static_cast<unsigned>(random() % 32),
                  static_cast<std::uint32_t>(random())};
    const std::size_t next = PutBits(words, f.position, f.bits, f.value);
    ASSERT_EQ(next, f.position + f.bits);
    fields.push_back(f);
    position = next;
  }
  ASSERT_GT(fields.size(), 500u);

  const auto halves = Halves(words);
  for (const Field& f : fields) {
    const std::uint32_t want = Low(f.value, f.bits);
    ASSERT_EQ(GetBits32(words, f.position, f.bits), want) << f.position << "+" << f.bits;
    // 16-bit words take at most 16 bits a read.
    const unsigned low_bits = std::min(f.bits, 16u);
    std::uint32_t got = GetBits16(halves, f.position, low_bits);
    if (f.bits > 16) got |= GetBits16(halves, f.position + 16, f.bits - 16) << 16;
    ASSERT_EQ(got, want) << f.position << "+" << f.bits;
  }
  // The bits after the last field are untouched.
  EXPECT_EQ(GetBits32(words, position, 32), GetBits32(stale, position, 32));
  EXPECT_EQ(words.back(), stale.back());
}

TEST(NumericHelpers, BitFieldsStopAtTheEndOfTheArray) {
  std::vector<std::uint32_t> words = {0, 0};
  EXPECT_EQ(PutBits(words, 56, 16, 0xFFFF), 72u);
  EXPECT_EQ(words[1], 0xFF000000u);
  EXPECT_EQ(GetBits32(words, 56, 16), 0xFFu);
  EXPECT_EQ(PutBits(words, 640, 8, 0xFF), 648u);
  EXPECT_EQ(GetBits32(words, 640, 8), 0u);
  const std::vector<std::uint16_t> halves = {0xFFFF};
  EXPECT_EQ(GetBits16(halves, 8, 16), 0xFFu);
  EXPECT_EQ(GetBits16(halves, 16, 16), 0u);
}

}  // namespace
}  // namespace pump
