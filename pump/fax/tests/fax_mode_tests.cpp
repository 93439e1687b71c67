// The mode word by kind and rate code, and the symbol timing it gives.
#include <gtest/gtest.h>

#include "pump/fax/fax_mode.h"

namespace pump {
namespace {

TEST(FaxConfig, ModeWordByKindAndEveryRateCode) {
  struct Row {
    std::uint8_t kind;
    std::uint8_t rate_code;
    int mode_word;  // -1: none
  };
  const Row rows[] = {
      {10, 4, 0x01}, {10, 5, 0x00}, {10, 0, 0x00}, {11, 5, 0x12}, {11, 6, 0x11}, {11, 7, 0x10},
      {11, 15, 0x10}, {13, 5, 0x2C}, {13, 6, 0x2B}, {13, 7, 0x2A}, {13, 8, 0x29}, {13, 9, 0x28},
      {13, 0, 0x28}, {14, 5, 0x24}, {14, 6, 0x23}, {14, 7, 0x22}, {14, 8, 0x21}, {14, 4, 0x20},
      {1, 5, -1},    {3, 5, -1},    {0, 5, -1},    {2, 5, -1},    {12, 5, -1},   {15, 5, -1},
  };
  for (const auto& row : rows) {
    const auto word = FaxModeWord(row.kind, row.rate_code);
    EXPECT_EQ(row.mode_word, word ? *word : -1) << int{row.kind} << "/" << int{row.rate_code};
  }
}

TEST(FaxConfig, SymbolTimingOfEveryModeWord) {
  struct Row {
    std::uint16_t mode_word;
    int bit_rate;
    int bits;
    int samples_per_symbol;
    bool short_training;
  };
  const Row rows[] = {
      {0x00, 4800, 3, 6, false},  {0x01, 2400, 2, 8, false},  {0x10, 9600, 4, 4, false},
      {0x11, 7200, 3, 4, false},  {0x12, 4800, 2, 4, false},  {0x20, 14400, 6, 4, false},
      {0x21, 12000, 5, 4, false}, {0x22, 9600, 4, 4, false},  {0x23, 7200, 3, 4, false},
      {0x24, 7200, 3, 4, false},  {0x28, 14400, 6, 4, true},  {0x2C, 7200, 3, 4, true},
  };
  for (const auto& row : rows) {
    const FaxRate rate = FaxRateOf(row.mode_word);
    EXPECT_EQ(row.bit_rate, rate.bit_rate) << row.mode_word;
    EXPECT_EQ(row.bits, rate.bits_per_symbol) << row.mode_word;
    EXPECT_EQ(row.samples_per_symbol, rate.samples_per_symbol) << row.mode_word;
    EXPECT_EQ(96, rate.samples_per_symbol * rate.symbols_per_block) << row.mode_word;
    // Symbol rate times bits per symbol is the bit rate.
    EXPECT_EQ(rate.bit_rate, 9600 / rate.samples_per_symbol * rate.bits_per_symbol) << row.mode_word;
    EXPECT_EQ(row.short_training, rate.short_training) << row.mode_word;
  }
}

}  // namespace
}  // namespace pump
