#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/line/levels.h"
#include "pump/detect/band_classifier.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/notch_detector.h"
#include "pump/detect/preprocess.h"
#include "pump/detect/tests/signals.h"
#include "pump/detect/tests/voice_fft.h"
#include "pump/detect/tone_classifier.h"

namespace pump {
namespace {

using detect_test::kBlock;
using detect_test::Amplitude;
using detect_test::Db;
using detect_test::FftPath;
using detect_test::Tone;
using detect_test::VoiceFft;
using detect_test::Wide;

// Each hostile block comes four times in a row: 40 ms, shorter than what
// any detector needs to report a true tone, long enough for every state to
// reach its limits.
constexpr int kRepeats = 4;

struct Hostile {
  std::string name;
  std::vector<std::int16_t> block;  // 96 samples, or none
};

std::vector<std::int16_t> Square(int period) {
  std::vector<std::int16_t> block(kBlock);
  for (std::size_t i = 0; i < kBlock; ++i) {
    block[i] = (i % period) < std::size_t(period) / 2 ? 32767 : -32768;
  }
  return block;
}

std::vector<Hostile> HostileBlocks() {
  return {
      {"full-scale square, 800 Hz", Square(12)},
      {"full-scale square, 240 Hz", Square(40)},
      {"full-scale square, 1920 Hz", Square(5)},
      {"alternating extremes", Square(2)},
      {"DC at -32768", std::vector<std::int16_t>(kBlock, -32768)},
      {"DC at 32767", std::vector<std::int16_t>(kBlock, 32767)},
      {"empty blocks", {}},
  };
}

// Runs `block` over the hostile stretch and then over `clean` (both in
// 96-sample calls, or the empty call); what each call returned.
template <class Call>
std::vector<int> Calls(const Hostile& h, const std::vector<std::int16_t>& clean, Call block) {
  std::vector<int> results;
  for (int i = 0; i < kRepeats; ++i) results.push_back(block(std::span(h.block)));
  for (std::size_t at = 0; at + kBlock <= clean.size(); at += kBlock) {
    results.push_back(block(std::span(clean).subspan(at, kBlock)));
  }
  return results;
}

bool AnyIn(const std::vector<int>& results, std::size_t first, std::size_t last,
           const std::function<bool(int)>& is) {
  for (std::size_t i = first; i < std::min(last, results.size()); ++i) {
    if (is(results[i])) return true;
  }
  return false;
}

TEST(DetectorHostileInput, NothingIsReportedAndEachDetectorWorksOnACleanToneRightAfter) {
  VoiceFft fft(FftPath::kFloat);
  for (const Hostile& h : HostileBlocks()) {
    SCOPED_TRACE(h.name);
    const auto reported = [](int r) { return r != 0; };

    {  // The receive front end, against a fresh one on the same clean tone.
      struct FrontEnd {
        DcRemovalState dc{};
        BandFilter rejection{&rejection::k1300, 0, 0, 0, 0, 0, 0};
        AgcGain agc{};
        std::vector<std::int32_t> out, filtered, levelled;
        int Run(std::span<const std::int16_t> b) {
          std::vector<std::int32_t> o(b.size()), f(b.size()), l(b.size());
          PreprocessRx(7, b, dc, o, &rejection, f, &agc, l);
          out.insert(out.end(), o.begin(), o.end());
          filtered.insert(filtered.end(), f.begin(), f.end());
          levelled.insert(levelled.end(), l.begin(), l.end());
          return 0;
        }
      };
      FrontEnd after, fresh;
      InitAgcGain(after.agc, 7, 0x7FFF);
      InitAgcGain(fresh.agc, 7, 0x7FFF);
      const auto clean = Tone({600}, 8000, 9600);
      Calls(h, clean, [&](std::span<const std::int16_t> b) { return after.Run(b); });
      Calls(Hostile{}, clean, [&](std::span<const std::int16_t> b) { return fresh.Run(b); });
      const auto last = [](const std::vector<std::int32_t>& v) { return std::span(v).last(4800); };
      for (const auto stage : {&FrontEnd::out, &FrontEnd::filtered, &FrontEnd::levelled}) {
        EXPECT_NEAR(Db(Amplitude(last(after.*stage), 600) / Amplitude(last(fresh.*stage), 600)), 0,
                    0.1);
      }
    }
    {  // The notch detectors, one and two sections.
      NotchDetector one;
      InitNotchDetector(one, notch::k2100, 5, 2);
      const auto r1 = Calls(
          h, Tone({2100}, 4000, 30 * kBlock),
          [&](std::span<const std::int16_t> b) { return RunNotchDetector(one, Wide(b), 960); });
      EXPECT_FALSE(AnyIn(r1, 0, kRepeats, reported));
      EXPECT_TRUE(AnyIn(r1, kRepeats, r1.size(), reported)) << "2100 Hz notch";
      NotchDetector2 two;
      InitNotchDetector2(two, notch::k3000, notch::k600, 5, 2);
      const auto r2 = Calls(
          h, Tone({3000, 600}, 4000, 30 * kBlock),
          [&](std::span<const std::int16_t> b) { return RunNotchDetector2(two, Wide(b), 1488); });
      EXPECT_FALSE(AnyIn(r2, 0, kRepeats, reported));
      EXPECT_TRUE(AnyIn(r2, kRepeats, r2.size(), reported)) << "3000 + 600 Hz notches";
    }
    for (const EnergyRecord* record : energy::kAll) {
      EnergyDetector d;
      InitEnergyDetector(d, *record);
      const auto r = Calls(
          h, Tone({double(record->centre_hz)}, 6000, 60 * kBlock),
          [&](std::span<const std::int16_t> b) { return int{RunEnergyDetector(Wide(b), d, 10)}; });
      EXPECT_FALSE(AnyIn(r, 0, kRepeats, reported)) << record->centre_hz;
      EXPECT_TRUE(AnyIn(r, kRepeats, r.size(), reported)) << record->centre_hz;
    }
    {  // The tone classifier: 650 Hz for 150 ms, once its averages have
       // forgotten the stretch (by 2/3 a block: 20 blocks take a full-scale
       // spectrum below a quiet line's).
      ToneClassifier c;
      ResetToneClassifier(c);
      const auto clean = detect_test::Concat({std::vector<std::int16_t>(20 * kBlock, 0),
                                              Tone({650}, 3600, 15 * kBlock),
                                              std::vector<std::int16_t>(5 * kBlock, 0)});
      const auto r = Calls(h, clean, [&](std::span<const std::int16_t> b) {
        return int{ClassifyTones(c, fft.voice(), Wide(b))};
      });
      EXPECT_FALSE(AnyIn(r, 0, kRepeats + 1, reported));
      EXPECT_TRUE(AnyIn(r, kRepeats, r.size(), [](int x) { return x == kToneReportBase + 2; }))
          << "tone classifier";
    }
    {  // The DTMF receiver: '5' for 150 ms.
      DtmfDetector d;
      ResetDtmfDetector(d);
      const auto clean =
          detect_test::Concat({Tone({770, 1336}, plat::line::SinePeak(-10), 15 * kBlock),
                               std::vector<std::int16_t>(10 * kBlock, 0)});
      const auto r =
          Calls(h, clean, [&](std::span<const std::int16_t> b) { return RunDtmfDetector(d, b); });
      const auto digit = [](int code) { return code != kNoDigit; };
      EXPECT_FALSE(AnyIn(r, 0, kRepeats, digit));
      EXPECT_TRUE(AnyIn(r, kRepeats, r.size(), [](int code) { return code == 5; }));
      EXPECT_FALSE(
          AnyIn(r, kRepeats, r.size(), [](int code) { return code != 5 && code != kNoDigit; }));
    }
    {  // The band classifier: a 440 Hz tone for three decisions.
      BandClassifier c{};
      const auto r =
          Calls(h, Tone({440}, 8000, 3 * 51 * kBlock),
                [&](std::span<const std::int16_t> b) { return ClassifyBand(c, fft.voice(), b); });
      EXPECT_TRUE(AnyIn(r, 0, r.size(), [](int x) { return x == 1 || x == 2; }));
      EXPECT_FALSE(AnyIn(r, 0, r.size(), [](int x) { return x != 1 && x != 2; }));
      EXPECT_EQ(r.back(), kNotBroadband) << "band classifier";
    }
  }
}

}  // namespace
}  // namespace pump
