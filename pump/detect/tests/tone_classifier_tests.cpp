#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/detect/tests/signals.h"
#include "pump/detect/tests/voice_fft.h"
#include "pump/detect/tone_classifier.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using detect_test::kBlock;
using detect_test::Concat;
using detect_test::FftPath;
using detect_test::Noise;
using detect_test::Tone;
using detect_test::VoiceFft;
using detect_test::Wide;

// The classifier sees the receive front end's samples before the AGC: the
// line's after DC removal, which halves them. A -10 dBm0 tone arrives at
// about 3600; the level tables go 30 dB lower too.
constexpr double kClassifierPeak = 3600;

std::vector<std::int16_t> Silence(int ms) { return std::vector<std::int16_t>(ms * 96 / 10, 0); }

std::vector<std::int16_t> Burst(std::initializer_list<double> hz, int ms, double peak = kClassifierPeak) {
  return Concat({Silence(100), Tone(hz, peak, ms * 96 / 10), Silence(600)});
}

struct Report {
  int block;
  std::uint8_t result;
  bool operator==(const Report&) const = default;
};

std::vector<Report> Classify(ToneClassifier& c, const VoiceResources& voice,
                             const std::vector<std::int16_t>& signal) {
  const auto wide = Wide(signal);
  std::vector<Report> reports;
  for (std::size_t at = 0; at + kBlock <= wide.size(); at += kBlock) {
    if (const std::uint8_t r = ClassifyTones(c, voice, std::span(wide).subspan(at, kBlock))) {
      reports.push_back({static_cast<int>(at / kBlock), r});
    }
  }
  return reports;
}

std::vector<Report> ClassifyFresh(const VoiceResources& voice,
                                  const std::vector<std::int16_t>& signal) {
  ToneClassifier c;
  ResetToneClassifier(c);
  return Classify(c, voice, signal);
}

class ToneClassifierTest : public ::testing::TestWithParam<FftPath> {
 protected:
  VoiceFft fft_{GetParam()};
};

TEST_P(ToneClassifierTest, APairOf300MsIsReportedOnceWhenItEndsAndOneOf600MsNot) {
  for (const double peak : {kClassifierPeak, kClassifierPeak / 31.6}) {
    SCOPED_TRACE(peak);
    const auto reports = ClassifyFresh(fft_.voice(), Burst({1375, 2002}, 300, peak));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].result, 0x80);
    // The tone ends at block 40; its end shows in the first block without it.
    EXPECT_GE(reports[0].block, 40);
    EXPECT_LE(reports[0].block, 41);
    EXPECT_TRUE(ClassifyFresh(fft_.voice(), Burst({1375, 2002}, 600, peak)).empty());
  }
}

TEST_P(ToneClassifierTest, EachEntryIsReportedJustInsideItsDurationLimitsAndNotJustOutside) {
  constexpr int kMargin = 30;  // ms, three blocks
  for (const ToneClassifierEntry& e : kToneClassifierTable) {
    SCOPED_TRACE(e.id);
    const auto tone = [&](int ms) {
      return e.f2 == 0 ? Burst({double(e.f1)}, ms) : Burst({double(e.f1), double(e.f2)}, ms);
    };
    const std::vector<Report> expected = {{0, 0}};
    for (const int ms : {e.min_ms + kMargin, e.max_ms - kMargin}) {
      const auto reports = ClassifyFresh(fft_.voice(), tone(ms));
      ASSERT_EQ(reports.size(), 1u) << ms << " ms";
      EXPECT_EQ(reports[0].result, kToneReportBase + e.id) << ms << " ms";
    }
    for (const int ms : {e.min_ms - kMargin, e.max_ms + kMargin}) {
      EXPECT_TRUE(ClassifyFresh(fft_.voice(), tone(ms)).empty()) << ms << " ms";
    }
  }
}

TEST_P(ToneClassifierTest, ASingleToneMatchesOnlyWithoutASecondPeak) {
  const auto alone = ClassifyFresh(fft_.voice(), Burst({650}, 200));
  ASSERT_EQ(alone.size(), 1u);
  EXPECT_EQ(alone[0].result, kToneReportBase + 2);
  // A second tone 3 dB down is a second peak: no entry is 650 with 1200.
  const auto with_second = Concat(
      {Silence(100), detect_test::Mix(Tone({650}, kClassifierPeak, 1920), Tone({1200}, kClassifierPeak * 0.707, 1920)),
       Silence(600)});
  EXPECT_TRUE(ClassifyFresh(fft_.voice(), with_second).empty());
}

TEST_P(ToneClassifierTest, NoiseOrNoTransformReportsNothing) {
  EXPECT_TRUE(ClassifyFresh(fft_.voice(), Noise(0x70e5, 3000, 60 * 9600)).empty());
  const VoiceResources none{};
  ToneClassifier c;
  ResetToneClassifier(c);
  EXPECT_TRUE(Classify(c, none, Burst({650}, 200)).empty());
  EXPECT_EQ(c.id, -1);
  for (const std::int32_t p : c.power) EXPECT_EQ(p, 0) << "nothing was analysed";
}

TEST_P(ToneClassifierTest, BlocksShorterThanTheTransformChangeNothing) {
  ToneClassifier c;
  ResetToneClassifier(c);
  const auto tone = Wide(Tone({650}, kClassifierPeak, 63));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(ClassifyTones(c, fft_.voice(), tone), 0);
  EXPECT_EQ(c.id, -1);
  EXPECT_EQ(c.duration_ms, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, ToneClassifierTest,
                         ::testing::Values(FftPath::kFloat, FftPath::kFixed),
                         detect_test::PathName);

// The same line through both paths of the FFT: the same reports.
TEST(ToneClassifier, BothTransformPathsDecideAlike) {
  std::vector<std::int16_t> line;
  for (const ToneClassifierEntry& e : kToneClassifierTable) {
    const int ms = (e.min_ms + e.max_ms) / 2;
    const auto tone =
        e.f2 == 0 ? Burst({double(e.f1)}, ms) : Burst({double(e.f1), double(e.f2)}, ms);
    line.insert(line.end(), tone.begin(), tone.end());
    const auto noise = Noise(0x7a + e.id, 2000, 9600);
    line.insert(line.end(), noise.begin(), noise.end());
  }
  std::vector<Report> reports[2];
  for (const FftPath path : {FftPath::kFloat, FftPath::kFixed}) {
    VoiceFft fft(path);
    reports[path == FftPath::kFixed] = ClassifyFresh(fft.voice(), line);
  }
  EXPECT_EQ(reports[0].size(), kToneClassifierTable.size());
  EXPECT_EQ(reports[0], reports[1]);
}

// On the data pump: the report goes to the controller as
// DP_TONE_DETECTION_RESULTS, and one the packet area refused follows later.
TEST(ToneClassifier, RunOnTheContextPostsTheReportAndRetriesARefusedOne) {
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    DspContext& context = harness.Context();
    ResetToneClassifier(context.detectors.tone_classifier);
    const auto run = [&](const std::vector<std::int16_t>& signal) {
      const auto wide = Wide(signal);
      for (std::size_t at = 0; at + kBlock <= wide.size(); at += kBlock) {
        RunToneClassifier(context, std::span(wide).subspan(at, kBlock));
      }
    };
    const testing::ReceivedPacket report{kDpToneDetectionResults, 1, {0x80 + 4}};
    harness.Controller().TakePackets();
    run(Burst({400}, 150));
    EXPECT_EQ(harness.Controller().TakePackets(), std::vector<testing::ReceivedPacket>{report});

    harness.Controller().Hold(true);
    harness.Controller().Post(0x94, {});  // its answer occupies the packet area
    run(Burst({400}, 150));
    EXPECT_EQ(context.detectors.tone_classifier.unsent, 0x80 + 4);
    harness.Controller().Hold(false);
    run(Silence(20));
    const auto packets = harness.Controller().TakePackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back(), report);
    EXPECT_EQ(context.detectors.tone_classifier.unsent, 0);
  });
}

}  // namespace
}  // namespace pump
