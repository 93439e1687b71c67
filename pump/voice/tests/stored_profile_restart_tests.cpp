// The stored line-echo profile across a stop and a start: a pump whose line
// returns its own output through a known echo path searches until a done
// search stores the taps; it is stopped (the profile goes to the registry's
// state file) and a new pump starts on the same file. That pump loads the
// taps at its reset and uses them at once: its first search only measures
// them, keeps them on the same path and drops them on a changed one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "pump/voice/line_echo.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

constexpr int kRestartQuietBlocks = 414;  // the detectors settle and learn
constexpr int kEntryBlocks = 6;           // one 480-sample microphone entry
constexpr int kSpurtEntries = 2;
constexpr int kPauseEntries = 2;

struct RestartEchoPath {
  double gain;
  int delay;  // samples after the front end's latency
};

// The line of a pump in voice mode with the speakerphone's full path: after
// each block it feeds back what the front end played, through `path`, with
// seeded noise of +-4. The line can answer only in the block after the one
// played, so the front end's output is moved one block earlier once: the
// echo then comes back the front end's latency plus the path's delay late.
class RestartLoopedLine {
 public:
  RestartLoopedLine(PumpHarness& harness, RestartEchoPath path) : harness_(harness), path_(path) {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {9});
    harness.Afe().Context().LatencyAdjustment = 1;
    played_ = harness.Afe().LineOutput().size();
    delay_line_.assign(static_cast<std::size_t>(path.delay), 0);
  }

  void Quiet(int blocks) { Blocks(blocks); }

  // A talk spurt of seeded noise and the pause after it.
  void Spurt() {
    for (int e = 0; e < kSpurtEntries; ++e) {
      std::vector<std::int16_t> entry(480);
      for (std::int16_t& s : entry) s = static_cast<std::int16_t>(Next() % 12001) - 6000;
      harness_.Afe().QueueAppSamples(entry);
      Blocks(kEntryBlocks);
    }
    Blocks(kPauseEntries * kEntryBlocks);
  }

 private:
  std::uint32_t Next() {
    seed_ = seed_ * 1664525u + 1013904223u;
    return seed_ >> 8;
  }

  void Blocks(int blocks) {
    for (int b = 0; b < blocks; ++b) {
      harness_.RunBlocks(1);
      const auto& out = harness_.Afe().LineOutput();
      std::vector<std::int16_t> echo;
      for (; played_ < out.size(); ++played_) {
        delay_line_.push_back(out[played_]);
        const double y = path_.gain * delay_line_.front() + double(int(Next() % 9) - 4);
        delay_line_.pop_front();
        echo.push_back(static_cast<std::int16_t>(std::lround(y)));
      }
      harness_.Afe().FeedLine(echo);
    }
  }

  PumpHarness& harness_;
  RestartEchoPath path_;
  std::size_t played_ = 0;
  std::deque<std::int16_t> delay_line_;
  std::uint32_t seed_ = 7;
};

testing::PumpOptions RestartOptions(const std::filesystem::path& state) {
  // ProfileFlags bits 1, 2 (the stream levels), 11 (the full path), 17 (the sound path).
  return {.service_values = "\"Profile\"=binary:06 08 02 00 00 00 00 00\n", .state_file = state};
}

std::int32_t StoredWord(const DspContext& context, std::size_t at) {
  std::int32_t v = 0;
  std::memcpy(&v, &context.voice.vov_profile[at], 4);
  return v;
}

std::array<std::int32_t, kEchoTaps> StoredTaps(const DspContext& context) {
  std::array<std::int32_t, kEchoTaps> taps{};
  for (std::size_t k = 0; k < taps.size(); ++k) taps[k] = StoredWord(context, 4 * k);
  return taps;
}

TEST(LineEcho, StoredProfileSurvivesAStopAndIsMeasuredAfterTheRestart) {
  const auto state = std::filesystem::path(::testing::TempDir()) /
                     ("speakerphone-profile-" + std::to_string(::getpid()) + ".state");
  std::filesystem::remove(state);
  const RestartEchoPath path{0.3, 40};

  std::array<std::int32_t, kEchoTaps> stored{};
  std::int32_t stored_improvement = 0;
  {
    PumpHarness first(RestartOptions(state));
    first.Run([&] {
      RestartLoopedLine line(first, path);
      const LineEcho& echo = first.Context().voice.speakerphone.echo;
      EXPECT_EQ(echo.profile_valid, 0u) << "nothing stored yet";
      line.Quiet(kRestartQuietBlocks);
      int spurts = 0;
      while (echo.searches_left > 0 && spurts < kEchoSearchesAfterReset) {
        line.Spurt();
        ++spurts;
      }
      RecordProperty("spurts_until_stored", spurts);
      ASSERT_EQ(StoredWord(first.Context(), 328), 1) << "a done search stored the taps";
      EXPECT_EQ(first.Context().voice.vov_profile_bytes, kProfileImageBytes);
      stored = StoredTaps(first.Context());
      EXPECT_EQ(stored, echo.running.taps);
      stored_improvement = StoredWord(first.Context(), 324);
      EXPECT_GT(stored_improvement, 0);
      first.Stop();
    });
  }
  ASSERT_FALSE(::testing::Test::HasFatalFailure());

  struct Case {
    const char* name;
    RestartEchoPath path;
    bool kept;
  };
  const Case cases[] = {
      {"the same path", path, true},
      {"the echo's sign turned", {-path.gain, path.delay}, false},
  };
  for (const Case& c : cases) {
    PumpHarness restarted(RestartOptions(state));
    restarted.Run([&] {
      EXPECT_EQ(restarted.Context().voice.vov_profile_bytes, kProfileImageBytes) << c.name;
      RestartLoopedLine line(restarted, c.path);
      const LineEcho& echo = restarted.Context().voice.speakerphone.echo;
      EXPECT_EQ(echo.profile_valid, 1u) << c.name << ": loaded at the reset";
      EXPECT_EQ(echo.running.taps, stored) << c.name << ": in use before any search";
      line.Quiet(kRestartQuietBlocks);
      line.Spurt();
      EXPECT_EQ(echo.searches_left, kEchoSearchesAfterReset - 1) << c.name << ": one search ran";
      EXPECT_EQ(echo.mu, 0) << c.name << ": it only measured the loaded taps";
      EXPECT_EQ(echo.profile_valid != 0, c.kept) << c.name;
      if (c.kept) {
        EXPECT_EQ(echo.running.taps, stored) << c.name;
        EXPECT_GT(echo.best_improvement, stored_improvement * 3 / 4) << c.name << ": they still cancel";
      } else {
        EXPECT_EQ(echo.running.taps, decltype(stored){}) << c.name << ": dropped";
      }
    });
  }
  std::filesystem::remove(state);
}

}  // namespace
}  // namespace pump::voice_test
