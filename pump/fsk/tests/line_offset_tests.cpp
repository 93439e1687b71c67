// The line's frequency offset: a tone through one direction comes out moved
// by the offset, its image (the other sideband) far below it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/line/line_direction.h"
#include "pump/fsk/tests/fsk_rig.h"

namespace pump {
namespace {

TEST(LineFrequencyOffset, ATonePassesMovedByTheOffsetAndItsImageIsSuppressed) {
  constexpr double kRate = 8000;
  constexpr double kPi = 3.14159265358979323846;
  struct Case {
    double tone;
    double offset;
  };
  const Case cases[] = {{1000, 7}, {1000, -7}, {1700, 20}, {420, -3}, {2500, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.tone << " Hz moved by " << c.offset);
    std::vector<std::int16_t> tone(16000);
    for (std::size_t n = 0; n < tone.size(); ++n) {
      tone[n] = static_cast<std::int16_t>(
          std::lround(10000 * std::sin(2 * kPi * c.tone * static_cast<double>(n) / kRate)));
    }
    plat::line::LineDirection line({.delay_samples = 1, .frequency_offset_hz = c.offset});
    line.SendFar(tone);
    std::vector<std::int16_t> heard(tone.size());
    line.Receive(heard);
    // Past the transformer's start.
    const std::span<const std::int16_t> steady(heard.data() + 400, 8000);
    const double moved = fsk_testing::PowerAt(steady, c.tone + c.offset, kRate);
    const double image = fsk_testing::PowerAt(steady, c.tone - c.offset, kRate);
    EXPECT_GT(moved, 0.97);
    EXPECT_LT(10 * std::log10(image / moved), -40);
  }
}

TEST(LineFrequencyOffset, NoOffsetLeavesTheSignalAsItWas) {
  std::vector<std::int16_t> samples(500);
  for (std::size_t n = 0; n < samples.size(); ++n) {
    samples[n] = static_cast<std::int16_t>((n * 7919) % 20000 - 10000);
  }
  plat::line::LineDirection line({.delay_samples = 3});
  line.SendFar(samples);
  std::vector<std::int16_t> heard(samples.size());
  line.Receive(heard);
  EXPECT_TRUE(std::equal(samples.begin(), samples.end() - 3, heard.begin() + 3));
}

}  // namespace
}  // namespace pump
