// The rate words and E: building, recognising, confirming, and what hostile
// input can and cannot select.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "pump/v32/rate_words.h"

namespace pump::v32 {
namespace {

TEST(V32RateWords, LocalWordByModeAndAllowedRates) {
  struct Case {
    int mode;
    std::uint8_t allowed;
    std::uint16_t word;
  };
  const Case cases[] = {
      {12, 0x00, 0x89E0}, {12, 0x02, 0x89A0}, {12, 0x08, 0x89C0},
      {12, 0x30, 0x8980}, {13, 0x04, 0x8980},  // only rates V.32 lacks: a word offering none
      {13, 0x0A, 0x89E0},
      {16, 0x00, 0x9FF0}, {16, 0x02, 0x89B0}, {16, 0x04, 0x8B90}, {16, 0x3E, 0x9FF0},
      {16, 0x20, 0x9990}, {16, 0xC1, 0x9FF0},  // no rate bit among the five: all
      {16, 0xFF, 0x9FF0}, {16, 0x11, 0x8D90},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalRateWord(c.mode, c.allowed), c.word) << "mode " << c.mode << " allowed " << int{c.allowed};
  }
}

TEST(V32RateWords, QualityAndHighestRateTables) {
  const std::pair<std::uint32_t, std::uint16_t> quality[] = {
      {0, 0x9FF0},          {0x383FFFF, 0x9FF0},  {0x3840000, 0x8FF0}, {0x7080000, 0x8BF0},
      {0x13880000, 0x8BB0}, {589823999, 0x8BB0},  {589824000, 0x89B0}, {0x3FFF0000, 0x8990},
      {0xFFFFFFFF, 0x8990}};
  for (const auto& [error, word] : quality) EXPECT_EQ(QualityRateWord(error), word) << error;
  const std::pair<std::uint16_t, std::uint16_t> highest[] = {
      {0x9FF0, 0x9990}, {0x8FF0, 0x8D90}, {0x8BF0, 0x89D0}, {0x8BB0, 0x8B90},
      {0x89B0, 0x89B0}, {0x8990, 0x8990}, {0x88C0, 0x88C0}, {0x8880, 0x8880}};
  for (const auto& [word, top] : highest) EXPECT_EQ(HighestRateWord(word), top) << std::hex << word;
}

TEST(V32RateWords, PatternsAndTheModeOfEachE) {
  EXPECT_TRUE(IsV32bisWord(0x9FF0));
  EXPECT_FALSE(IsV32Word(0x9FF0));
  EXPECT_TRUE(IsV32Word(0x89E0));
  EXPECT_FALSE(IsV32bisWord(0x89E0));
  EXPECT_FALSE(IsV32Word(0x89EF));  // E is neither
  EXPECT_FALSE(IsEWord(0x89EF));    // two rate bits
  EXPECT_FALSE(IsEWord(0x898F));    // none
  struct Case {
    std::uint16_t e;
    DataRate rate;
    int mode;
  };
  const Case cases[] = {{0x89BF, DataRate::k4800, 16},  {0x8B9F, DataRate::k7200, 16},
                        {0x89DF, DataRate::k9600Trellis, 16}, {0x89CF, DataRate::k9600Trellis, 12},
                        {0x88CF, DataRate::k9600Uncoded, 12}, {0x8D9F, DataRate::k12000, 16},
                        {0x999F, DataRate::k14400, 16}};
  for (const Case& c : cases) {
    const auto mode = ModeOfE(c.e);
    ASSERT_TRUE(mode.has_value()) << std::hex << c.e;
    EXPECT_EQ(mode->rate, c.rate) << std::hex << c.e;
    EXPECT_EQ(mode->mode_code, c.mode) << std::hex << c.e;
  }
  EXPECT_FALSE(ModeOfE(0xFFFF).has_value());
}

// Each type of rate sequence waits for its own event, then ends in the E of
// its rule: the highest rate of what was heard (R2), its own word (R3), the
// highest rate both sides ask for (renegotiation). With no common rate the E
// is the clear-down E (rate bits and 0x10 clear, low four bits set), sent
// for eight words instead of one.
TEST(V32RateWords, EachRateSequenceTypeEndsInItsE) {
  using T = RateSequenceType;
  struct Case {
    RateSequence sequence;
    RateSequenceHeard heard;
    std::optional<std::uint16_t> e;
  };
  const Case cases[] = {
      {{T::kCallerR2, 0x9FF0, 0}, {0, false}, std::nullopt},
      {{T::kCallerR2, 0x9FF0, 0}, {0, true}, std::nullopt},
      {{T::kCallerR2, 0x9FF0, 0}, {0x9FF0, false}, 0x999F},
      {{T::kCallerR2, 0x9FF0, 0}, {0x89B0, false}, 0x89BF},
      {{T::kCallerR2, 0x89E0, 0}, {0x89E0, false}, 0x89CF},  // V.32: 9600 trellis
      {{T::kCallerR2, 0x88E0, 0}, {0x88E0, false}, 0x88CF},  // V.32: 9600 uncoded
      {{T::kCallerR2, 0x9FF0, 0}, {0x8990, false}, 0x898F},  // no rate: clear down
      {{T::kAnswererR3, 0x8D90, 0}, {0x9FF0, false}, std::nullopt},
      {{T::kAnswererR3, 0x8D90, 0}, {0x9FF0, true}, 0x8D9F},
      {{T::kAnswererR3, 0x8990, 0}, {0x9FF0, true}, 0x898F},
      {{T::kLocalRenegotiation, 0x9FF0, 0x8BB0}, {0, false}, std::nullopt},
      {{T::kLocalRenegotiation, 0x9FF0, 0x8BB0}, {0x9FF0, false}, 0x8B9F},  // 7200 and 4800 asked
      {{T::kRemoteRenegotiation, 0x89B0, 0x89B0}, {0x8FF0, false}, 0x89BF},
      {{T::kRemoteRenegotiation, 0x89B0, 0x89B0}, {0x8B90, false}, 0x898F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << int(c.sequence.type) << std::hex << " heard " << c.heard.word);
    const auto e = RateSequenceE(c.sequence, c.heard);
    EXPECT_EQ(e, c.e);
    if (!e) continue;
    EXPECT_EQ(IsClearDownE(*e), !ModeOfE(*e).has_value());
    EXPECT_EQ(EWords(*e), IsClearDownE(*e) ? 8 : 1);
  }
}

// Feeds whole words, two bits per symbol from bit 0; returns the symbol
// numbers (from 1) at which a word came out.
std::vector<int> Feed(const std::vector<std::uint16_t>& words, bool awaiting_e) {
  RateWordDetector d;
  std::vector<int> hits;
  int symbol = 0;
  for (const std::uint16_t w : words) {
    for (int pair = 0; pair < 8; ++pair) {
      ++symbol;
      if (DetectRateWord(d, (w >> (2 * pair)) & 3, awaiting_e)) hits.push_back(symbol);
    }
  }
  return hits;
}

TEST(V32RateWords, AWordCountsOnlyWhenRepeatedEightSymbolsLater) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> words;
    std::vector<int> hits;
  };
  const Case cases[] = {
      {"once", {0x9FF0}, {}},
      {"twice", {0x9FF0, 0x9FF0}, {16}},
      {"then another", {0x9FF0, 0x8BF0, 0x9FF0}, {}},
      {"a different word repeated", {0x9FF0, 0x8BF0, 0x8BF0}, {24}},
      {"not a rate word, repeated", {0x1234, 0x1234}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Feed(c.words, false), c.hits) << c.name;
  EXPECT_EQ(Feed({0x9FF0, 0x999F}, true), (std::vector<int>{16}));  // E at once
}

TEST(V32RateWords, HostileWordsAndBytesNeverSelectAForbiddenRate) {
  std::mt19937 random(9);
  for (int trial = 0; trial < 4000; ++trial) {
    const auto allowed = static_cast<std::uint8_t>(random());
    const std::uint16_t local = LocalRateWord(16, allowed);
    const std::uint16_t received = trial % 7 == 0 ? 0xFFFF : static_cast<std::uint16_t>(random());
    const auto e = RateSequenceE({RateSequenceType::kRemoteRenegotiation, 0x8990, local}, {received, false});
    ASSERT_TRUE(e.has_value() || received == 0);
    if (!e || !ModeOfE(*e)) continue;
    EXPECT_NE(*e & kRateBits & local, 0) << std::hex << "allowed " << int{allowed} << " received " << received;
  }
}

}  // namespace
}  // namespace pump::v32
