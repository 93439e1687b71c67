// ANSam as our answerer sends it, measured against its definition (2100 Hz,
// a phase reversal every 450 ms, a 15 Hz envelope) and heard by spandsp's
// tone receiver; and the caller's detector against spandsp's tones and
// against our own ANSam over a noisy line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <span>
#include <vector>

#include "pump/afe_access/gain_table.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/handshake/handshake.h"
#include "pump/tests/support/dsp_rig.h"
#include "pump/v8/ansam.h"
#include "pump/v8/tests/v8_rig.h"
// clang-format off
#include <tiffio.h>
#include <spandsp.h>
// clang-format on

namespace pump::v8_test {
namespace {

constexpr double kRate = 9600;
constexpr double kCarrier = 2100;
// 2100 Hz makes exactly 7 turns in 32 samples: a window of 32 samples
// measures the carrier's amplitude and phase without leakage.
constexpr std::size_t kWindow = 32;

// Our answerer's line output from its V.8 start on, `blocks` long.
std::vector<std::int16_t> AnsamOf(int blocks) {
  std::vector<std::int16_t> out;
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, V8Call(false));
    const std::size_t before = harness.Afe().LineOutput().size();
    harness.RunBlocks(blocks);
    const auto& line = harness.Afe().LineOutput();
    out.assign(line.begin() + static_cast<std::ptrdiff_t>(before), line.end());
  });
  // From the first sound on.
  const auto first = std::find_if(out.begin(), out.end(), [](std::int16_t s) { return s != 0; });
  return {first, out.end()};
}

struct Phasor {
  double amplitude;
  double phase;
};

Phasor AtCarrier(std::span<const std::int16_t> w, std::size_t origin) {
  double i = 0, q = 0;
  for (std::size_t n = 0; n < w.size(); ++n) {
    const double t = 2 * std::numbers::pi * kCarrier * static_cast<double>(origin + n) / kRate;
    i += w[n] * std::cos(t);
    q += w[n] * std::sin(t);
  }
  const double scale = 2.0 / static_cast<double>(w.size());
  return {std::hypot(i, q) * scale, std::atan2(q, i)};
}

// The first sample from which the carrier stands half a turn from the
// reference phase `phase` (judged on samples where the reference is strong).
std::vector<std::size_t> Reversals(std::span<const std::int16_t> s, double phase) {
  std::vector<std::size_t> at;
  bool flipped = false;
  int against = 0;
  std::size_t first_against = 0;
  for (std::size_t n = 0; n < s.size(); ++n) {
    const double ref =
        std::cos(2 * std::numbers::pi * kCarrier * static_cast<double>(n) / kRate - phase);
    if (std::abs(ref) < 0.5 || s[n] == 0) continue;
    const bool agrees = (ref > 0) == (s[n] > 0);
    if (agrees != flipped) {
      against = 0;
      continue;
    }
    if (against++ == 0) first_against = n;
    if (against == 4) {  // four strong samples in a row on the other side
      at.push_back(first_against);
      flipped = !flipped;
      against = 0;
    }
  }
  return at;
}

TEST(AnsamTx, ReversesEvery4321SamplesWith15HzEnvelopeOfDepth02At2dBBelowTheTransmitLevel) {
  const std::vector<std::int16_t> line = AnsamOf(500);
  ASSERT_GT(line.size(), 45000u);
  const Phasor start = AtCarrier(std::span(line).first(kWindow), 0);
  const std::vector<std::size_t> at = Reversals(line, start.phase);
  ASSERT_GE(at.size(), 9u);
  // The first reversal after 4321 samples, then every 4321: the estimate lags
  // the true instant by the samples the sign test skips (at most 3).
  EXPECT_NEAR(static_cast<double>(at[0]), 4321, 3);
  for (std::size_t k = 1; k < at.size(); ++k) {
    EXPECT_NEAR(static_cast<double>(at[k] - at[k - 1]), 4321, 3) << "reversal " << k;
  }
  EXPECT_NEAR(static_cast<double>(at.back() - at.front()) / static_cast<double>(at.size() - 1),
              4321, 0.5);

  // The envelope: amplitudes of windows clear of a reversal.
  std::vector<double> envelope;
  for (std::size_t w = 0; (w + 1) * kWindow <= at.back(); ++w) {
    const std::size_t from = w * kWindow;
    const bool near_reversal = std::any_of(at.begin(), at.end(), [&](std::size_t r) {
      return r + 4 >= from && r <= from + kWindow + 4;
    });
    if (!near_reversal) {
      envelope.push_back(AtCarrier(std::span(line).subspan(from, kWindow), from).amplitude);
    }
  }
  const auto [low, high] = std::minmax_element(envelope.begin(), envelope.end());
  const double depth = (*high - *low) / (*high + *low);
  const double carrier = (*high + *low) / 2;
  EXPECT_NEAR(depth, 0.2, 0.004);  // V.8: 0.2 +- 0.01
  // 2 dB below a tone at the transmit level (the front end's gain for it).
  const double at_transmit_level = kAfeGainTable[static_cast<std::size_t>(-kTransmitLevel)];
  EXPECT_NEAR(20 * std::log10(carrier / at_transmit_level), -2, 0.15);

  // The envelope's period: its minima are 640 samples (15 Hz) apart.
  std::vector<double> env_at;
  for (std::size_t from = 0; from + kWindow <= line.size() && from < 9600; from += 8) {
    env_at.push_back(AtCarrier(std::span(line).subspan(from, kWindow), from).amplitude);
  }
  std::vector<std::size_t> minima;
  for (std::size_t k = 2; k + 2 < env_at.size(); ++k) {
    if (env_at[k] < env_at[k - 1] && env_at[k] <= env_at[k + 1] && env_at[k] < carrier * 0.9) {
      if (minima.empty() || (k - minima.back()) * 8 > 320) minima.push_back(k);
    }
  }
  ASSERT_GE(minima.size(), 10u);
  const double period = static_cast<double>(minima.back() - minima.front()) * 8 /
                        static_cast<double>(minima.size() - 1);
  EXPECT_NEAR(kRate / period, 15, 0.2) << "envelope frequency";
}

void ToneReport(void* user, int code, int, int) {
  auto* codes = static_cast<std::vector<int>*>(user);
  codes->push_back(code);
}

TEST(AnsamTx, SpandspHearsOursAsAnsamWithReversals) {
  const std::vector<std::int16_t> line = AnsamOf(400);
  std::vector<int> codes;
  modem_connect_tones_rx_state_t* rx =
      modem_connect_tones_rx_init(nullptr, MODEM_CONNECT_TONES_ANSAM_PR, ToneReport, &codes);
  testing::SpandspSink sink([&](std::span<const std::int16_t> s) {
    modem_connect_tones_rx(rx, s.data(), static_cast<int>(s.size()));
  });
  sink.Put(line);
  modem_connect_tones_rx_free(rx);
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), MODEM_CONNECT_TONES_ANSAM_PR);
}

// The caller's detector on the data pump: a V.8 call hearing spandsp's
// answer tones. ANSam (with or without reversals) moves the caller on to
// V8PreCM at least 15 blocks after it first heard 2100 Hz (event 34); a
// plain answer tone never does.
struct HeardCase {
  const char* name;
  int tone;
  bool ansam;
};

const HeardCase kHeard[] = {
    {"Ansam", MODEM_CONNECT_TONES_ANSAM, true},
    {"AnsamPr", MODEM_CONNECT_TONES_ANSAM_PR, true},
    {"Ans", MODEM_CONNECT_TONES_ANS, false},
};

class AnsamDetector : public ::testing::TestWithParam<HeardCase> {};

TEST_P(AnsamDetector, ReportsAnsamOnlyAndNeverBefore15Blocks) {
  const HeardCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, V8Call(true));
    FarEnd far({{nullptr, 200}, {handshake_test::AnswerTone(c.tone), 1300}});
    EventLog events;
    HearWatching(harness, far, 150, events,
                 [](const DspContext& d) { return !OnV8Entry(d, V8CallTable(), 0); });
    const DspContext& context = harness.Context();
    const auto heard = events.First(kV8EventAnswerToneHeard);
    ASSERT_TRUE(heard.has_value()) << "2100 Hz was heard";
    const bool moved = OnV8Entry(context, V8CallTable(), 1);
    EXPECT_EQ(moved, c.ansam);
    if (moved) {
      EXPECT_GE(static_cast<int>(far.blocks()) - 1 - *heard, kAnsamMinBlocks);
      EXPECT_GT(context.call.ansam_run_count, 0);
      EXPECT_LT(context.v8.ansam_time, 0) << "the negated time of ANSam, stored once";
    }
  });
}

// The caller's own V.21 channel 1 (the echo of its CI, 20 dB down) beside
// the answer tone is taken out by the high-pass filter.
TEST(AnsamDetectorWithOwnV21, StillHearsAnsam) {
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, V8Call(true));
    FarEnd far({{nullptr, 200},
                {Mixed(handshake_test::AnswerTone(MODEM_CONNECT_TONES_ANSAM_PR),
                       handshake_test::FskMarks(FSK_V21CH1, -33)),
                 1300}});
    EventLog events;
    HearWatching(harness, far, 150, events,
                 [](const DspContext& d) { return !OnV8Entry(d, V8CallTable(), 0); });
    EXPECT_TRUE(OnV8Entry(harness.Context(), V8CallTable(), 1));
  });
}

INSTANTIATE_TEST_SUITE_P(Tones, AnsamDetector, ::testing::ValuesIn(kHeard),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump::v8_test

namespace pump::v8_test {
namespace {

// The answer tone with phase reversals but without the 15 Hz envelope
// (V.25's, a V.32 answerer without V.8), with seeded noise 30 dB down:
// the detector must not take it for ANSam, whatever the noise.
TEST(AnsamDetector, AnswerToneWithReversalsIsNotAnsam) {
  int taken = 0;
  constexpr int kRuns = 6;
  for (int seed = 1; seed <= kRuns; ++seed) {
    PumpHarness harness;
    harness.Run([&] {
      BeginCall(harness, V8Call(true));
      FarEnd far({{nullptr, 200},
                  {Mixed(handshake_test::AnswerTone(MODEM_CONNECT_TONES_ANS_PR),
                         handshake_test::Noise(static_cast<std::uint64_t>(seed), -42)),
                   1300}});
      EventLog events;
      HearWatching(harness, far, 140, events);
      taken += OnV8Entry(harness.Context(), V8CallTable(), 1) ? 1 : 0;
    });
  }
  std::printf("ANS with reversals taken for ANSam in %d of %d seeded runs\n", taken, kRuns);
  EXPECT_EQ(taken, 0);
}

}  // namespace
}  // namespace pump::v8_test

namespace pump::v8_test {
namespace {

// Our answerer's ANSam through one direction of the simulated line (6 dB of
// loss, bulk delay, white noise `snr_db` below the transmit level) into our
// caller's detector, and spandsp's plain answer tone the same way: per SNR
// and line seed, whether the caller took the tone for ANSam.
constexpr double kAnsamSnrTable[] = {20, 10, 6, 3, 0, -3, -6};
constexpr double kAnsamHeardDownToSnr = 0;
constexpr int kAnsamLineSeeds = 3;
constexpr int kAnsamListenBlocks = 150;

// Whether a V.8 caller hearing `line` (9600 Hz) moved on from V8Call0 with
// ANSam.
bool CallerTakesForAnsam(std::span<const std::int16_t> line) {
  bool taken = false;
  PumpHarness harness;
  harness.Run([&] {
    BeginCall(harness, V8Call(true));
    for (int b = 0; b < kAnsamListenBlocks; ++b) {
      if (!OnV8Entry(harness.Context(), V8CallTable(), 0)) break;
      const std::size_t at = static_cast<std::size_t>(b) * kBlock;
      if (at + kBlock > line.size()) break;
      harness.Afe().FeedLine(line.subspan(at, kBlock));
      harness.RunBlocks(1);
    }
    taken = OnV8Entry(harness.Context(), V8CallTable(), 1);
  });
  return taken;
}

std::vector<std::int16_t> OverNoisyLine(std::span<const std::int16_t> sent, double snr_db,
                                        std::uint64_t seed) {
  plat::line::LineDirectionConfig config = testing::ImpairedDirection(kTransmitLevel, snr_db);
  config.echo_erl_db.reset();  // the caller only listens
  config.seed = seed;
  return fsk_testing::OverLine(sent, config);
}

TEST(AnsamDetector, OurAnsamOverTheLineAgainstAnSnrTable) {
  // Two stretches of line: 200 ms of silence, then the tone.
  std::vector<std::int16_t> ansam(kAnsamListenBlocks * kBlock, 0);
  const std::vector<std::int16_t> ours = AnsamOf(kAnsamListenBlocks + 60);
  ASSERT_GE(ours.size(), ansam.size() - 20 * kBlock);
  std::copy_n(ours.begin(), ansam.size() - 20 * kBlock, ansam.begin() + 20 * kBlock);
  std::vector<std::int16_t> ans(20 * kBlock, 0);
  const std::vector<std::int16_t> theirs =
      testing::SpandspSource(handshake_test::AnswerTone(MODEM_CONNECT_TONES_ANS))
          .Take(ansam.size() - ans.size());
  ans.insert(ans.end(), theirs.begin(), theirs.end());

  for (const double snr : kAnsamSnrTable) {
    int ansam_taken = 0;
    int ans_taken = 0;
    for (int seed = 1; seed <= kAnsamLineSeeds; ++seed) {
      const auto s = static_cast<std::uint64_t>(seed);
      ansam_taken += CallerTakesForAnsam(OverNoisyLine(ansam, snr, s)) ? 1 : 0;
      ans_taken += CallerTakesForAnsam(OverNoisyLine(ans, snr, s)) ? 1 : 0;
    }
    std::printf("%4.0f dB SNR: ANSam heard in %d of %d, plain ANS taken for ANSam in %d of %d\n",
                snr, ansam_taken, kAnsamLineSeeds, ans_taken, kAnsamLineSeeds);
    if (snr >= kAnsamHeardDownToSnr) {
      EXPECT_EQ(ansam_taken, kAnsamLineSeeds) << snr << " dB";
    }
    EXPECT_EQ(ans_taken, 0) << snr << " dB";
  }
}

}  // namespace
}  // namespace pump::v8_test
