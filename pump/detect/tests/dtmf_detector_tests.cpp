#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "platform/line/levels.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/tests/signals.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "siglib/tests/support/random.h"

namespace pump {
namespace {

using detect_test::kBlock;
using detect_test::Concat;
using detect_test::Mix;
using detect_test::Noise;
using detect_test::Tone;

constexpr double kWindowMs = kDtmfWindow / 9.6;

int CodeOf(char digit) {
  static const std::map<char, int> codes = {
      {'1', 1}, {'2', 2},  {'3', 3},  {'4', 4},  {'5', 5},  {'6', 6},  {'7', 7},  {'8', 8},
      {'9', 9}, {'A', 10}, {'B', 11}, {'C', 12}, {'D', 13}, {'*', 14}, {'0', 15}, {'#', 16}};
  return codes.at(digit);
}

// Digits from spandsp's generator, heard at 9600 Hz: `lead_samples` of
// silence, then the digits, then silence to make `total_ms`.
std::vector<std::int16_t> Digits(std::string_view digits, int level, int twist, int on_ms,
                                 int off_ms, int total_ms, std::size_t lead_samples = 0) {
  testing::SpandspSource source(testing::SpandspDtmf(digits, level, twist, on_ms, off_ms));
  const std::size_t n = static_cast<std::size_t>(total_ms) * 96 / 10;
  return Concat({std::vector<std::int16_t>(lead_samples, 0), source.Take(n)});
}

struct Heard {
  std::vector<int> digits;     // the digit codes RunDtmfDetector gave, in order
  std::vector<int> confirmed;  // what DebounceDtmf confirmed
};

Heard Listen(const std::vector<std::int16_t>& signal, int minimum_run = 2,
             std::size_t block = kBlock) {
  DtmfDetector d;
  ResetDtmfDetector(d);
  d.debouncer.minimum_run = minimum_run;
  Heard heard;
  for (std::size_t at = 0; at + block <= signal.size(); at += block) {
    const int code = RunDtmfDetector(d, std::span(signal).subspan(at, block));
    if (code != kNoDigit) heard.digits.push_back(code);
    if (const int confirmed = DebounceDtmf(d, code)) heard.confirmed.push_back(confirmed);
  }
  return heard;
}

// Every digit heard is `code`, and it was heard.
::testing::AssertionResult OnlyHeard(const Heard& heard, int code) {
  if (heard.digits.empty()) return ::testing::AssertionFailure() << "no digit";
  for (const int d : heard.digits) {
    if (d != code) return ::testing::AssertionFailure() << "heard " << d << " for " << code;
  }
  return ::testing::AssertionSuccess();
}

TEST(DtmfDetector, HearsAndConfirmsEachOfTheSixteenDigits) {
  for (const char digit : std::string("123A456B789C*0#D")) {
    SCOPED_TRACE(digit);
    const Heard heard = Listen(Digits(std::string(1, digit), -10, 0, 250, 0, 400));
    EXPECT_TRUE(OnlyHeard(heard, CodeOf(digit)));
    EXPECT_EQ(heard.confirmed, std::vector<int>{CodeOf(digit)});
  }
  const Heard sequence = Listen(Digits("159D", -10, 0, 250, 100, 1600));
  EXPECT_EQ(sequence.confirmed, (std::vector<int>{1, 5, 9, 13})) << "one after the other";
}

// The energy gate: a call counts when its 96 samples' magnitudes sum above
// 200000. Two equal tones of peak A have a mean magnitude of 8 A / pi^2, so
// the gate opens above A = 2570, -19 dBm0 a tone.
TEST(DtmfDetector, HearsDigitsDownToTheGateAndNothingBelowIt) {
  struct Case {
    int level;
    bool heard;
  };
  for (const Case c : {Case{-3, true}, Case{-10, true}, Case{-17, true}, Case{-21, false},
                       Case{-30, false}, Case{-45, false}}) {
    SCOPED_TRACE(c.level);
    const Heard heard = Listen(Digits("5", c.level, 0, 150, 0, 300));
    if (c.heard) {
      EXPECT_TRUE(OnlyHeard(heard, 5));
    } else {
      EXPECT_TRUE(heard.digits.empty());
    }
  }
}

// Twist (high tone minus low tone, dB): the column may be up to 8 dB
// stronger (5193/32768 in power), the row up to 6 dB (8230/32768); the
// filters' gains make good each tone's distance from its bin within a dB or so.
TEST(DtmfDetector, AcceptsTwistWithinItsLimitsAndRefusesMore) {
  struct Case {
    int twist;
    bool heard;
  };
  for (const Case c : {Case{-4, true}, Case{-2, true}, Case{0, true}, Case{3, true}, Case{6, true},
                       Case{-9, false}, Case{-12, false}, Case{11, false}, Case{14, false}}) {
    for (const char digit : std::string("123A456B789C*0#D")) {
      SCOPED_TRACE(::testing::Message() << c.twist << " dB, " << digit);
      // The stronger tone at -8 dBm0.
      const int low = c.twist > 0 ? -8 - c.twist : -8;
      const Heard heard = Listen(Digits(std::string(1, digit), low, c.twist, 150, 0, 300));
      if (c.heard) {
        EXPECT_TRUE(OnlyHeard(heard, CodeOf(digit)));
      } else {
        EXPECT_TRUE(heard.digits.empty());
      }
    }
  }
}

// A tone of two 236-sample windows holds a whole window wherever it starts.
TEST(DtmfDetector, HearsEveryToneOfTwoWindowsWhereverItStarts) {
  for (const int ms : {50, 60, 80}) {
    for (std::size_t lead = 0; lead < kDtmfWindow; lead += 17) {
      SCOPED_TRACE(::testing::Message() << ms << " ms after " << lead << " samples");
      EXPECT_TRUE(OnlyHeard(Listen(Digits("8", -10, 0, ms, 0, ms + 200, lead)), 8));
    }
  }
}

// Both tones off their nominal frequencies by the same share.
TEST(DtmfDetector, HearsTonesOnePercentOffAndNotSixPercentOff) {
  struct Case {
    double share;
    bool heard;
  };
  const double rows[] = {697, 770, 852, 941};
  const double columns[] = {1209, 1336, 1477, 1633};
  for (const Case c :
       {Case{-0.01, true}, Case{0.0075, true}, Case{-0.06, false}, Case{0.06, false}}) {
    for (int r = 0; r < 4; ++r) {
      for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(::testing::Message() << c.share * 100 << "%, row " << r << " column " << k);
        const auto tone = Tone({rows[r] * (1 + c.share), columns[k] * (1 + c.share)},
                               plat::line::SinePeak(-10), 2880);
        const Heard heard = Listen(tone);
        if (c.heard) {
          EXPECT_TRUE(OnlyHeard(heard, kDtmfCodes[r][k]));
        } else {
          EXPECT_TRUE(heard.digits.empty());
        }
      }
    }
  }
}

TEST(DtmfDetector, A941And1336HzPairOf60MsIsZero) {
  const auto tone = Concat({std::vector<std::int16_t>(480, 0), Tone({941, 1336}, 8000, 576),
                            std::vector<std::int16_t>(960, 0)});
  EXPECT_TRUE(OnlyHeard(Listen(tone), 15));
}

// The shortest digit confirmed, for the minimum runs 2, 3 and 8: its run
// counts the windows that heard it, one every kDtmfHop samples, so it needs
// a whole window and run - 1 hops, and at most a hop more for where it
// starts (a window mostly filled may also count).
TEST(DtmfDetector, ReportsTheShortestDigitConfirmedForMinimumRunsTwoThreeAndEight) {
  constexpr double kHopMs = kDtmfHop / 9.6;
  for (const int run : {2, 3, 8}) {
    SCOPED_TRACE(run);
    int shortest = -1;
    for (int ms = 40; ms <= 300 && shortest < 0; ms += 5) {
      bool always = true;
      for (std::size_t lead = 0; lead < kDtmfWindow && always; lead += 29) {
        const Heard heard = Listen(Digits("4", -10, 0, ms, 0, ms + 300, lead), run);
        always = heard.confirmed == std::vector<int>{4};
      }
      if (always) shortest = ms;
    }
    ASSERT_GT(shortest, 0);
    EXPECT_GE(shortest, kWindowMs + (run - 1) * kHopMs - kHopMs);
    EXPECT_LE(shortest, kWindowMs + run * kHopMs + 10);
    ::testing::Test::RecordProperty("shortest_confirmed_ms_run_" + std::to_string(run), shortest);
    std::printf("minimum run %d: shortest digit confirmed wherever it starts %d ms\n", run,
                shortest);
  }
}

// Digit strings as spandsp's generator sends them by default (50 ms on and
// off), the shortest a receiver must take (40 ms), and caller ID's (70 ms):
// each digit confirmed once, in order, wherever the string starts against
// the windows and the calls, for the callers' block sizes; repeated digits
// are told apart by their pauses.
TEST(DtmfDetector, ConfirmsSpandspDigitStringsOfFortyToSeventyMsEachOnce) {
  struct Case {
    int on_ms, off_ms, level;
  };
  const std::string digits = "123A456B789C*0#D1155##00";
  std::vector<int> codes;
  for (const char c : digits) codes.push_back(CodeOf(c));
  for (const Case c : {Case{40, 40, -10}, Case{50, 50, -10}, Case{70, 70, -10}, Case{40, 40, -16},
                       Case{50, 50, -3}, Case{70, 40, -10}}) {
    for (const std::size_t block : {std::size_t{96}, std::size_t{80}}) {
      for (const std::size_t lead : {0, 29, 131}) {
        SCOPED_TRACE(::testing::Message() << c.on_ms << "/" << c.off_ms << " ms at " << c.level
                                          << " dBm0, calls of " << block << ", lead " << lead);
        const int total = static_cast<int>(digits.size()) * (c.on_ms + c.off_ms) + 200;
        const Heard heard =
            Listen(Digits(digits, c.level, 0, c.on_ms, c.off_ms, total, lead), 2, block);
        EXPECT_EQ(heard.confirmed, codes);
      }
    }
  }
}

// A long digit with a short drop (up to 10 ms, which a receiver must
// bridge) is one digit; a pause of 40 ms makes two.
TEST(DtmfDetector, ALongDigitWithAShortDropIsOneDigitAndAPauseMakesTwo) {
  struct Case {
    int drop_samples;
    std::size_t confirmed;
  };
  for (const Case c : {Case{10, 1}, Case{48, 1}, Case{96, 1}, Case{384, 2}, Case{480, 2}}) {
    for (const std::size_t at : {std::size_t{1900}, std::size_t{1961}, std::size_t{2017}}) {
      SCOPED_TRACE(::testing::Message() << c.drop_samples << " samples dropped at " << at);
      auto signal = Digits("9", -10, 0, 500, 0, 800);
      std::fill_n(signal.begin() + static_cast<std::ptrdiff_t>(at), c.drop_samples, 0);
      EXPECT_EQ(Listen(signal).confirmed, std::vector<int>(c.confirmed, 9));
    }
  }
}

TEST(DtmfDetector, HearsDigitsInNoiseAndNeverAWrongOne) {
  struct Case {
    double snr_db;
    bool heard;
  };
  for (const Case c : {Case{30, true}, Case{20, true}, Case{15, true}, Case{10, false},
                       Case{5, false}, Case{0, false}}) {
    for (const char digit : std::string("147*2580369#ABCD")) {
      SCOPED_TRACE(::testing::Message() << c.snr_db << " dB, " << digit);
      const auto tone = Digits(std::string(1, digit), -10, 0, 150, 0, 300);
      // Noise power against the two tones' (each -10 dBm0).
      const double signal_rms = std::sqrt(2.0) * plat::line::RmsAt(-10);
      const auto noisy =
          Mix(tone, Noise(0xd7f0 + digit, signal_rms * std::pow(10, -c.snr_db / 20), tone.size()));
      const Heard heard = Listen(noisy);
      for (const int d : heard.digits) EXPECT_EQ(d, CodeOf(digit)) << "a wrong digit";
      if (c.heard) {
        EXPECT_FALSE(heard.digits.empty());
      }
    }
  }
}

TEST(DtmfDetector, A941HzToneAloneIsNoDigit) {
  for (const double peak : {3000.0, 12000.0, 30000.0}) {
    EXPECT_TRUE(Listen(Tone({941}, peak, 9600)).digits.empty()) << peak;
  }
}

// Near a DTMF tone: within 5% of a row or a column frequency (the receiver
// takes the lowest row down to 4.5% below it, where no other row competes).
bool NearDtmf(double hz) {
  for (const double f : {697.0, 770.0, 852.0, 941.0, 1209.0, 1336.0, 1477.0, 1633.0}) {
    if (std::abs(hz - f) < 0.05 * f) return true;
  }
  return false;
}

// A minute of line sounds that hold no digit: noise, single tones, pairs
// and triples of tones of which at most one lies near a DTMF frequency, and
// the call-progress pairs, each at its own level, over quiet noise.
std::vector<std::int16_t> NoDigitMixtures(qvls_test::Rng& rng, int seconds) {
  std::vector<std::int16_t> out;
  const double kPairs[][2] = {{350, 440}, {440, 480}, {480, 620}, {400, 450}};
  while (out.size() < static_cast<std::size_t>(seconds) * 9600) {
    const std::size_t n = static_cast<std::size_t>(rng.Range(20, 500)) * 96 / 10;
    const double peak = plat::line::SinePeak(-static_cast<double>(rng.Range(3, 35)));
    std::vector<double> hz;
    switch (rng.Range(0, 4)) {
      case 0:
        break;  // noise alone
      case 1:
        hz = {double(rng.Range(200, 3800))};
        break;
      case 2:
      case 3: {
        const int tones = static_cast<int>(rng.Range(2, 3));
        bool near_one = false;
        while (static_cast<int>(hz.size()) < tones) {
          const double f = double(rng.Range(200, 3800));
          if (NearDtmf(f) && near_one) continue;
          near_one = near_one || NearDtmf(f);
          hz.push_back(f);
        }
        break;
      }
      default: {
        const auto& pair = kPairs[rng.Range(0, 3)];
        hz = {pair[0], pair[1]};
      }
    }
    std::vector<std::int16_t> part = Noise(rng.Bits(), hz.empty() ? peak / 2 : 30, n);
    for (const double f : hz) part = Mix(part, Tone({f}, peak / hz.size(), n));
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

TEST(DtmfDetector, AMinuteOfNoiseAndToneMixturesHoldsNoDigit) {
  qvls_test::Rng rng("DtmfDetector.NoDigitMixtures");
  const Heard heard = Listen(NoDigitMixtures(rng, 60));
  EXPECT_TRUE(heard.digits.empty())
      << heard.digits.size() << " digits, the first " << heard.digits.front();
  EXPECT_TRUE(heard.confirmed.empty());
}

TEST(DtmfDetector, ResetStartsFromTheTablesAndAnEmptyCallChangesNothing) {
  DtmfDetector d;
  ResetDtmfDetector(d);
  for (int i = 0; i < kDtmfFilters; ++i) {
    SCOPED_TRACE(i);
    const double w = 2 * std::numbers::pi * kDtmfBins[i] / kDtmfWindow;
    EXPECT_LE(std::abs(d.filters[i].coefficient - std::round(2 * std::cos(w) * 16384)), 1);
    EXPECT_EQ(d.filters[i].block_length, kDtmfWindow);
  }
  EXPECT_EQ(d.debouncer.minimum_run, 2);
  EXPECT_EQ(d.prefilter.coefficient, 0x7F00);
  const DtmfGate gate = d.gate;
  EXPECT_EQ(RunDtmfDetector(d, {}), kNoDigit);
  EXPECT_EQ(d.gate.absent_count, gate.absent_count);
  EXPECT_EQ(d.pending, 0);
}

}  // namespace
}  // namespace pump
