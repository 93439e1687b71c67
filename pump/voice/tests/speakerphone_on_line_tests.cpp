// The speakerphone's full path on one machine hung on the simulated line,
// whose hybrid returns the machine's own signal at a known echo return
// loss while the far end stays silent. An emulated voice bridge writes the
// microphone stream and reads the speaker stream through the Sound device.
// After the first talk spurt the echo heard in the speaker stream falls,
// and the canceller's taps put the echo where it really is: at the delay
// measured by correlating what the speakerphone sent with what came back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "afe/windows/sound_device.h"
#include "platform/line/resampler_design.h"
#include "pump/voice/tests/voice_machine.h"

namespace pump::testing {
namespace {

constexpr double kHybridErlDb = 20;
constexpr std::int64_t kHybridDelay = 6;  // line samples
constexpr std::uint64_t kChunkNs = 80 * plat::hal::kMillisecond;  // one bridge transfer
constexpr int kQuietChunks = 56;  // the detectors settle and learn their floors
constexpr int kSpurtChunks = 8;
constexpr int kPauseChunks = 4;

// Speech-like microphone audio: seeded noise, low-passed by a two-sample
// average, at about 3000 rms.
std::vector<SHORT> SpurtChunk(std::uint32_t& seed) {
  std::vector<SHORT> chunk(afe::kSoundTransferSamples);
  double previous = 0;
  for (SHORT& s : chunk) {
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1664525u + 1013904223u;
      sum += double(seed >> 16) / 65536.0 - 0.5;
    }
    const double x = sum * 2 * 3000 * std::sqrt(3.0);
    s = static_cast<SHORT>(std::lround((x + previous) / 2));
    previous = x;
  }
  return chunk;
}

double OnLineRms(const std::vector<SHORT>& s) {
  double energy = 0;
  for (SHORT v : s) energy += double{1} * v * v;
  return s.empty() ? 0 : std::sqrt(energy / double(s.size()));
}

// The round trip from the speakerphone's microphone output back to its
// line input, in samples: the lag that best correlates the sent samples
// with the received ones in the canceller's two rings. After a block the
// newest received sample is at `at` + 1; the sample sent at the same
// instant is 4n + 1 places further on, where the microphone's delay line
// keeps it.
int MeasuredRoundTrip(LineEcho& echo) {
  const std::int64_t line_newest = std::int64_t{echo.at} + 1;
  const std::int64_t sent_newest = line_newest + 4 * echo.n + 1;
  const int usable = kEchoRing - (4 * echo.n + 1) - 1;
  const int window = 200;
  int best = -1;
  double best_score = 0;
  for (int lag = 0; lag + window <= usable; ++lag) {
    double cross = 0;
    double power = 0;
    for (int j = 0; j < window; ++j) {
      const double sent = RingAt(echo.mic, sent_newest + j + lag);
      cross += RingAt(echo.line, line_newest + j) * sent;
      power += sent * sent;
    }
    const double score = power > 0 ? cross * cross / power : 0;
    if (score > best_score) best_score = score, best = lag;
  }
  return best;
}

class SpeakerphoneOnLine : public VoiceMachine {};

TEST_F(SpeakerphoneOnLine, EchoFallsAfterTheFirstTalkSpurtAndTheTapsFindTheRealDelay) {
  plat::line::LineConfig config;
  config.heard_at[0].echo_erl_db = kHybridErlDb;
  config.heard_at[0].echo_delay_samples = kHybridDelay;
  config.heard_at[0].noise_dbm0 = -70.0;
  BootInSpeakerphone(kStreamLevels | kSoundPath | kFullPath, &MakeLine(config));
  sim.RunFor(200 * plat::hal::kMillisecond);

  std::uint32_t seed = 2024;
  std::vector<SHORT> heard;
  // One bridge transfer each way per 80 ms; the speaker chunks of each
  // spurt and the pause after it.
  std::vector<std::vector<SHORT>> first;
  std::vector<std::vector<SHORT>> second;
  int round_trip = -1;
  auto talk = [&](int chunks, bool speech, std::vector<std::vector<SHORT>>* speaker) {
    for (int c = 0; c < chunks; ++c) {
      std::vector<SHORT> mic = speech ? SpurtChunk(seed) : std::vector<SHORT>(afe::kSoundTransferSamples, 0);
      BridgeTransfer(afe::IOCTL_SOUND_WRITEDATA, mic);
      sim.RunFor(kChunkNs);
      BridgeTransfer(afe::IOCTL_SOUND_READDATA, heard);
      if (speaker != nullptr) speaker->push_back(heard);
      if (speech && speaker == &second && c == chunks - 2) round_trip = MeasuredRoundTrip(Phone().echo);
    }
  };
  talk(kQuietChunks, false, nullptr);
  ASSERT_EQ(Phone().echo.searches_left, kEchoSearchesAfterReset) << "no search before the first spurt";
  talk(kSpurtChunks, true, &first);
  talk(kPauseChunks, false, &first);
  const LineEcho after_first = Phone().echo;
  talk(kSpurtChunks, true, &second);
  talk(kPauseChunks, false, &second);

  // The first spurt ran one search and its taps are in use.
  EXPECT_EQ(after_first.searches_left, kEchoSearchesAfterReset - 1);
  EXPECT_EQ(after_first.retries, 0);
  EXPECT_EQ(after_first.done, 1);
  const double before = double(after_first.best_improvement) + after_first.best_residual;
  const double erle = 20 * std::log10(before / std::max(1, after_first.best_residual));

  // The loudest chunk of echo in the speaker stream, each spurt.
  auto loudest = [](const std::vector<std::vector<SHORT>>& chunks) {
    double most = 0;
    for (const auto& chunk : chunks) most = std::max(most, OnLineRms(chunk));
    return most;
  };
  const double echo_first = loudest(first);
  const double echo_second = loudest(second);
  const double fall = 20 * std::log10(echo_first / std::max(echo_second, 1.0));

  // Where the taps put the echo: tap k stands for a round trip of D + k - 1.
  const LineEcho& echo = Phone().echo;
  int peak = 0;
  for (int k = 1; k < kEchoTaps; ++k) {
    if (std::abs(echo.running.taps[static_cast<std::size_t>(k)]) >
        std::abs(echo.running.taps[static_cast<std::size_t>(peak)])) {
      peak = k;
    }
  }
  const int found = echo.delay + peak - 1;
  std::printf("hybrid ERL %.0f dB, hybrid delay %lld samples, port resamplers %d samples each way\n",
              kHybridErlDb, static_cast<long long>(kHybridDelay), plat::line::kResamplerDelay);
  std::printf("D %d samples (%.3f ms); echo found by the taps at %d samples (%.3f ms), measured %d "
              "samples (%.3f ms)\n",
              echo.delay, echo.delay / 8.0, found, found / 8.0, round_trip, round_trip / 8.0);
  std::printf("canceller ERLE after the first search %.1f dB; loudest speaker echo %.1f rms in the "
              "first spurt, %.1f in the second: down %.1f dB\n",
              erle, echo_first, echo_second, fall);
  RecordProperty("echo_delay_d", echo.delay);
  RecordProperty("echo_round_trip", round_trip);
  RecordProperty("speaker_echo_fall_db", std::to_string(fall));

  ASSERT_GE(round_trip, 0);
  EXPECT_NEAR(found, round_trip, 1) << "the taps' echo is the real one";
  EXPECT_GE(round_trip, echo.delay) << "the echo lies inside the canceller's 80 taps";
  EXPECT_LT(round_trip, echo.delay + kEchoTaps);
  // The round trip is the front end's latency in blocks, the line port's
  // resamplers both ways and the hybrid; D expects the front end's stated
  // path of 28 samples in place of the last two, 15 taps in.
  const afe::AfeInfo& info = Extension().context.afe_info;
  const int blocks = 80 * (info.LatencyLessOne + info.One);
  EXPECT_NEAR(round_trip, blocks + 2 * plat::line::kResamplerDelay + kHybridDelay, 1);
  EXPECT_EQ(echo.delay, blocks + info.Constant28 - 15);
  EXPECT_GT(erle, 15.0);
  EXPECT_GT(echo_first, 50.0) << "the echo was heard before the search";
  EXPECT_GT(fall, 20.0);
}

}  // namespace
}  // namespace pump::testing
