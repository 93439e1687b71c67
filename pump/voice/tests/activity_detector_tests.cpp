// The activity detector's scenarios: it ignores 200 blocks, learns its
// floor over the next 200 (16 when nothing above 16 came), keeps taking
// smaller peaks, calls a block active from 2.5 times the floor, and
// doubles the floor after 1000 active blocks in a row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/voice/activity_detector.h"

namespace pump {
namespace {

struct Stretch {
  std::int16_t peak;  // the block's largest magnitude
  int blocks;
};

struct Case {
  std::string name;
  std::vector<Stretch> stretches;
  std::int32_t floor;
  std::uint32_t low_bits;  // the newest four history bits
};

constexpr int kSettle = 200;
constexpr int kLearn = 200;

TEST(ActivityDetector, Scenarios) {
  const Case cases[] = {
      {"settling ignores even loud blocks", {{30000, kSettle}}, 0x7FFF, 0x0},
      {"full-scale blocks while learning teach nothing", {{0x7FFF, kSettle + kLearn - 1}}, 0x7FFF, 0x0},
      {"nothing learnt gives 16", {{0x7FFF, kSettle + kLearn}}, 16, 0x1},
      {"a loud block while learning is learnt", {{30000, kSettle + 1}}, 30000, 0x0},
      {"silence teaches nothing either", {{0, kSettle + kLearn}, {40, 1}}, 16, 0x1},
      {"2.5 x 16 = 40: 39 is quiet", {{0, kSettle + kLearn}, {39, 1}}, 16, 0x0},
      {"the learnt floor", {{0, kSettle}, {100, kLearn}}, 100, 0x0},
      {"the smallest peak above 16 wins",
       {{0, kSettle}, {300, 50}, {90, 1}, {16, 50}, {200, kLearn - 101}}, 90, 0x0},
      {"249 is quiet at floor 100", {{0, kSettle}, {100, kLearn}, {249, 1}}, 100, 0x0},
      {"250 is active at floor 100", {{0, kSettle}, {100, kLearn}, {250, 1}}, 100, 0x1},
      {"a speech start", {{0, kSettle}, {100, kLearn}, {3000, 1}}, 100, 0x1},
      {"quiet, quiet, quiet, active",
       {{0, kSettle}, {100, kLearn}, {3000, 4}, {100, 3}, {3000, 1}}, 100, 0x1},
      {"the floor still falls after learning", {{0, kSettle}, {100, kLearn}, {60, 1}}, 60, 0x0},
      {"999 active blocks keep the floor", {{0, kSettle}, {100, kLearn}, {3000, 999}}, 100, 0xF},
      {"1000 double it", {{0, kSettle}, {100, kLearn}, {3000, 1000}}, 200, 0xF},
      {"a quiet block restarts the count",
       {{0, kSettle}, {100, kLearn}, {3000, 999}, {100, 1}, {3000, 999}}, 100, 0xF},
      {"2000 double it twice", {{0, kSettle}, {100, kLearn}, {3000, 2000}}, 400, 0xF},
      {"a doubled floor can silence the side",
       {{0, kSettle}, {0x2000, kLearn}, {0x7FFF, 2000}}, 0x4000, 0x0},
  };
  for (const Case& c : cases) {
    ActivityDetector detector;
    ResetActivityDetector(detector);
    std::vector<std::int16_t> block(80, 0);
    for (const Stretch& stretch : c.stretches) {
      block[37] = stretch.peak;
      block[38] = static_cast<std::int16_t>(-stretch.peak / 2);
      for (int b = 0; b < stretch.blocks; ++b) RunActivityDetector(detector, block);
    }
    EXPECT_EQ(detector.floor, c.floor) << c.name;
    EXPECT_EQ(detector.history & 0xF, c.low_bits) << c.name;
  }
}

// The newest bit follows each block.
TEST(ActivityDetector, HistoryHoldsTheNewestBlockInBitZero) {
  ActivityDetector detector;
  ResetActivityDetector(detector);
  std::vector<std::int16_t> block(80, 0);
  block[0] = 100;
  for (int b = 0; b < kSettle + kLearn; ++b) RunActivityDetector(detector, block);
  const bool pattern[] = {true, false, true, true, false, false, true, false};
  std::uint32_t expected = 0;
  for (bool active : pattern) {
    block[0] = active ? 1000 : 100;
    RunActivityDetector(detector, block);
    expected = expected << 1 | (active ? 1 : 0);
  }
  EXPECT_EQ(detector.history & 0xFF, expected);
}

}  // namespace
}  // namespace pump
