#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "pump/idle/level_step.h"

namespace pump {
namespace {

constexpr int kBlocks = 200;  // 19200 samples, well past the start hold-off

// A 1000 Hz tone whose amplitude steps from 1000 to 8000 at `step_at`.
std::vector<std::int16_t> SteppedTone(std::size_t step_at) {
  std::vector<std::int16_t> tone(kBlocks * 96);
  for (std::size_t n = 0; n < tone.size(); ++n) {
    const double amplitude = n < step_at ? 1000 : 8000;
    tone[n] = static_cast<std::int16_t>(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * 1000 * n / 9600.0)));
  }
  return tone;
}

struct StepCase {
  const char* name;
  std::size_t step_at;  // sample
  int taken;            // blocks after which TakeLevelStep first reports it, -1 never
};

void PrintTo(const StepCase& c, std::ostream* out) { *out << c.name; }

class LevelStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(LevelStep, AStepIsTakenOnceOnlyWhenItComesAfterTheBlanking) {
  const StepCase& c = GetParam();
  LevelStepDetector detector{};
  InitLevelStep(detector);
  const auto tone = SteppedTone(c.step_at);
  int first_taken = -1;
  int taken = 0;
  for (int block = 0; block < kBlocks; ++block) {
    RunLevelStep(detector, std::span(tone).subspan(block * 96, 96));
    if (TakeLevelStep(detector)) {
      if (first_taken < 0) first_taken = block;
      ++taken;
    }
  }
  EXPECT_EQ(first_taken, c.taken);
  EXPECT_EQ(taken, c.taken < 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LevelStep,
    ::testing::Values(StepCase{"NoStep", kBlocks * 96, -1},
                      // 1000 samples in: inside the 4320 samples of blanking.
                      StepCase{"DuringTheBlanking", 1000, -1},
                      // After the blanking but before the 11520-sample hold-off ends: held
                      // for 9600 samples, so still there when the hold-off ends (block 119).
                      StepCase{"DuringTheHoldOff", 6000, 119},
                      // After the hold-off: taken in the block that carries it.
                      StepCase{"AfterTheHoldOff", 15000 + 48, 156}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump
