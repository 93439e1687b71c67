#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pump/detect/band_classifier.h"
#include "pump/detect/tests/signals.h"
#include "pump/detect/tests/voice_fft.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using detect_test::kBlock;
using detect_test::FftPath;
using detect_test::Noise;
using detect_test::Tone;
using detect_test::VoiceFft;

constexpr int kCallsPerDecision = 51;

class BandClassifierTest : public ::testing::TestWithParam<FftPath> {
 protected:
  BandClassifierTest() { Start(); }

  void Start() {
    classifier_ = {};
    classifier_.last_class = kNotBroadband;
  }

  // The class of each call, one block of `signal` per call.
  std::vector<std::int32_t> Classes(const std::vector<std::int16_t>& signal) {
    std::vector<std::int32_t> classes;
    for (std::size_t at = 0; at + kBlock <= signal.size(); at += kBlock) {
      classes.push_back(
          ClassifyBand(classifier_, fft_.voice(), std::span(signal).subspan(at, kBlock)));
    }
    return classes;
  }

  VoiceFft fft_{GetParam()};
  BandClassifier classifier_{};
};

TEST_P(BandClassifierTest, SilenceAndA440HzToneAreNotBroadbandAndWhiteNoiseIs) {
  struct Case {
    const char* name;
    std::vector<std::int16_t> signal;
    std::int32_t expected;
  };
  const std::size_t n = 3 * kCallsPerDecision * kBlock;
  const Case cases[] = {
      {"silence", std::vector<std::int16_t>(n, 0), kNotBroadband},
      {"quiet noise", Noise(0x51, 150, n), kNotBroadband},
      {"440 Hz", Tone({440}, 8000, n), kNotBroadband},
      {"440 Hz, quiet", Tone({440}, 800, n), kNotBroadband},
      {"white noise", Noise(0x52, 3000, n), kBroadband},
      {"white noise, quiet", Noise(0x53, 600, n), kBroadband},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    const auto classes = Classes(c.signal);
    EXPECT_EQ(classes.back(), c.expected);
    EXPECT_EQ(classifier_.result, c.expected);
  }
}

TEST_P(BandClassifierTest, DecidesEvery51stCallAndAnswersItsLastDecisionBetween) {
  const std::size_t n = kCallsPerDecision * kBlock;
  std::vector<std::int16_t> signal;
  for (int stretch = 0; stretch < 6; ++stretch) {
    const auto part = stretch % 2 == 0 ? Noise(0x60 + stretch, 3000, n) : Tone({440}, 8000, n);
    signal.insert(signal.end(), part.begin(), part.end());
  }
  const auto classes = Classes(signal);
  EXPECT_EQ(classes[kCallsPerDecision - 2], kNotBroadband) << "nothing decided yet";
  EXPECT_EQ(classes[kCallsPerDecision - 1], kBroadband) << "the 51st call decides";
  int changes = 0;
  for (std::size_t i = 1; i < classes.size(); ++i) {
    if (classes[i] != classes[i - 1]) {
      ++changes;
      EXPECT_EQ((i + 1) % kCallsPerDecision, 0u) << "a change at call " << i + 1;
    }
  }
  EXPECT_GE(changes, 3) << "the stretches alternate, and so do the decisions";
}

TEST_P(BandClassifierTest, WithoutTheTransformTheClassIsNotBroadbandAndNothingIsAveraged) {
  const VoiceResources none{};
  const auto noise = Noise(0x70, 3000, 2 * kCallsPerDecision * kBlock);
  for (std::size_t at = 0; at + kBlock <= noise.size(); at += kBlock) {
    EXPECT_EQ(ClassifyBand(classifier_, none, std::span(noise).subspan(at, kBlock)), kNotBroadband);
  }
  for (const std::int32_t a : classifier_.average) EXPECT_EQ(a, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, BandClassifierTest,
                         ::testing::Values(FftPath::kFloat, FftPath::kFixed),
                         detect_test::PathName);

// The same line through both paths of the FFT: the same classes.
TEST(BandClassifier, BothTransformPathsDecideAlike) {
  std::vector<std::int16_t> line;
  for (int stretch = 0; stretch < 8; ++stretch) {
    const std::size_t n = (40 + 13 * stretch) * kBlock;
    const auto part = stretch % 3 == 0   ? Noise(0x80 + stretch, 400 + 500 * stretch, n)
                      : stretch % 3 == 1 ? Tone({300.0 + 150 * stretch}, 6000, n)
                                         : std::vector<std::int16_t>(n, 0);
    line.insert(line.end(), part.begin(), part.end());
  }
  std::vector<std::int32_t> classes[2];
  for (const FftPath path : {FftPath::kFloat, FftPath::kFixed}) {
    VoiceFft fft(path);
    BandClassifier c{};
    for (std::size_t at = 0; at + kBlock <= line.size(); at += kBlock) {
      classes[path == FftPath::kFixed].push_back(
          ClassifyBand(c, fft.voice(), std::span(line).subspan(at, kBlock)));
    }
  }
  EXPECT_EQ(classes[0], classes[1]);
  EXPECT_NE(std::count(classes[0].begin(), classes[0].end(), kBroadband), 0);
}

TEST(BandClassifier, StartAndStopOnTheContextClearTheAverages) {
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    DspContext& context = harness.Context();
    BandClassifier& c = context.detectors.band_classifier;
    StartBandClassifier(context);
    EXPECT_EQ(c.enable, 2);
    EXPECT_EQ(c.result, 3);
    const auto noise = Noise(0x71, 3000, kBlock);
    EXPECT_EQ(ClassifyBand(c, context.resources.voice, noise), kNotBroadband);
    EXPECT_NE(c.average[10], 0);
    EXPECT_EQ(c.count, 1);
    StopBandClassifier(context);
    EXPECT_EQ(c.enable, 3);
    for (const std::int32_t a : c.average) EXPECT_EQ(a, 0);
    EXPECT_EQ(c.count, 0);
  });
}

}  // namespace
}  // namespace pump
