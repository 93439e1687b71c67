// The line-echo canceller: the search step in 64 bits, the probe at a talk
// spurt's start on a running pump (320 samples, the microphone 321 samples
// late), and the stored profile's loading rules against hostile values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "pump/voice/line_echo.h"
#include "pump/voice/tests/voice_rig.h"

namespace pump::voice_test {
namespace {

TEST(LineEcho, SearchStepMatchesTheFormulaIn64Bits) {
  const double full = 2147483647.0;
  for (std::int32_t p : {1000, 4000, 4001, 20000, 32767}) {
    EXPECT_EQ(SearchStep(p, false), static_cast<std::int32_t>(std::floor(17 * full / (double(p) * p)))) << p;
    EXPECT_EQ(SearchStep(p, true), static_cast<std::int32_t>(std::floor(full / (double(p) * p)))) << p;
  }
  EXPECT_EQ(SearchStep(4000, false), 2281);
  EXPECT_EQ(SearchStep(0, false), 0) << "no probe level, no step";
  EXPECT_EQ(SearchStep(1, false), 0x7FFFFFFF) << "saturated, not wrapped";
}

// ProfileFlags bits 1, 2, 11 (the full path) and 17.
testing::PumpOptions FullPathProfile() {
  return {.service_values = "\"Profile\"=binary:06 08 02 00 00 00 00 00\n"};
}

constexpr std::size_t kQuietBlocks = 414;  // the detectors settle and learn; whole entries

// Silence long enough for the detectors, then a tone: the spurt starts at
// sample `quiet`.
std::vector<std::int16_t> Spurt(std::size_t quiet) {
  std::vector<std::int16_t> s(quiet + 2400, 0);  // whole entries of 480
  for (std::size_t i = 0; i < 2400; ++i) {
    s[quiet + i] = static_cast<std::int16_t>(std::lround(6000 * std::sin(2 * std::numbers::pi * 450 * double(i) / 8000)));
  }
  return s;
}

// The line output of a spurt on a quiet line since the streams started.
std::vector<std::int16_t> SendSpurt(testing::PumpOptions options, std::size_t quiet) {
  PumpHarness harness(std::move(options));
  std::vector<std::int16_t> line;
  harness.Run([&] {
    StartVoice(harness, 2, 8, 0);
    harness.Controller().Exchange(0x95, {9});
    const std::size_t before = harness.Afe().LineOutput().size();
    const auto mic = Spurt(quiet);
    // The front end's queue holds a few entries: one entry per six blocks.
    for (std::size_t at = 0; at < mic.size(); at += 480) {
      harness.Afe().QueueAppSamples(std::span(mic).subspan(at, 480));
      harness.RunBlocks(6);
    }
    harness.RunBlocks(12);
    line.assign(harness.Afe().LineOutput().begin() + static_cast<std::ptrdiff_t>(before),
                harness.Afe().LineOutput().end());
  });
  return line;
}

TEST(LineEcho, ProbeLasts320SamplesAndTheMicrophoneIs321Late) {
  const std::size_t quiet = kQuietBlocks * kBlock;
  // The simple path's lag: the output queue plus the gain stage's 10.
  const auto simple = SendSpurt(VoiceProfile(), quiet);
  const auto first = std::find_if(simple.begin(), simple.end(), [](std::int16_t v) { return v != 0; });
  ASSERT_NE(first, simple.end());
  // The tone's first sample is 0: its second is the first heard.
  const std::ptrdiff_t queue = (first - simple.begin()) - static_cast<std::ptrdiff_t>(quiet + 1) - kPeakAgcDelay;

  const auto full = SendSpurt(FullPathProfile(), quiet);
  std::ptrdiff_t start = -1;
  std::size_t run = 0;
  for (std::size_t i = 0; i < full.size(); ++i) {
    if (std::abs(int{full[i]}) == 4000) {
      if (run++ == 0) start = static_cast<std::ptrdiff_t>(i);
    } else if (run != 0) {
      break;
    }
  }
  // One probe of 4n = 320 samples: the first 319 go out at +-4000; the
  // last goes out in the block where the search countdown falls below 4,
  // through the microphone's gain stage (its output is still the
  // delayed silence).
  EXPECT_EQ(run, 319u);
  ASSERT_GE(start, 0);
  const std::ptrdiff_t last = start + 319;
  // The probe's last sample replaced the quiet sample just before the
  // spurt: its place in the output is that sample's plus the delay.
  EXPECT_EQ(last - queue - static_cast<std::ptrdiff_t>(quiet - 1), 321);
}

std::vector<std::uint8_t> Image(std::int32_t tap, std::int32_t residual, std::int32_t improvement,
                                std::uint32_t valid) {
  std::vector<std::uint8_t> image(kProfileImageBytes, 0);
  for (int k = 0; k < kEchoTaps; ++k) std::memcpy(&image[4 * static_cast<std::size_t>(k)], &tap, 4);
  std::memcpy(&image[320], &residual, 4);
  std::memcpy(&image[324], &improvement, 4);
  std::memcpy(&image[328], &valid, 4);
  return image;
}

// Loaded only when exactly 332 bytes came with valid word 1; taps at the
// ends of the 32-bit range never wrap the estimate: it is limited to 16 bits.
TEST(StoredProfileHostile, LoadedOnlyWhenWholeAndValidAndNeverWraps) {
  struct Case {
    const char* name;
    std::size_t bytes;
    std::vector<std::uint8_t> image;
    bool loaded;
  };
  const std::int32_t most = 0x7FFFFFFF;
  const std::int32_t least = static_cast<std::int32_t>(0x80000000u);
  const Case cases[] = {
      {"size 0", 0, Image(100, 10, 10, 1), false},
      {"size 331", 331, Image(100, 10, 10, 1), false},
      {"size 333", 333, Image(100, 10, 10, 1), false},
      {"size 1000", 1000, Image(100, 10, 10, 1), false},
      {"valid 0", 332, Image(100, 10, 10, 0), false},
      {"valid 2", 332, Image(100, 10, 10, 2), false},
      {"valid 0xFFFFFFFF", 332, Image(100, 10, 10, 0xFFFFFFFF), false},
      {"taps at +2^31", 332, Image(most, 10, 10, 1), true},
      {"taps at -2^31", 332, Image(least, 10, 10, 1), true},
      {"negative residual and improvement", 332, Image(100, -5, least, 1), true},
      {"maximal residual and improvement", 332, Image(100, most, most, 1), true},
  };
  for (const Case& c : cases) {
    LineEcho echo;
    ResetLineEcho(echo, 80, 0);
    EXPECT_EQ(LoadEchoProfile(echo, c.image, c.bytes), c.loaded) << c.name;
    EXPECT_EQ(echo.profile_valid != 0, c.loaded) << c.name;
    // A full-scale block through the loaded taps: the estimate saturates,
    // so the cancelled line stays within 16 bits and keeps its sign rule.
    echo.mic.fill(32767);
    std::vector<std::int16_t> line(80, 1000);
    std::vector<std::int16_t> uncancelled(80);
    std::array<std::uint8_t, kProfileImageBytes> out{};
    std::uint32_t out_bytes = 0;
    RunLineEcho(echo, line, uncancelled, 16, out, out_bytes);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (!c.loaded || c.image[0] == 100) continue;
      const bool positive_taps = static_cast<std::int8_t>(c.image[3]) >= 0;
      EXPECT_EQ(line[i], positive_taps ? 1000 - 32767 : 32767) << c.name << " " << i;
    }
    EXPECT_EQ(uncancelled[0], 1000);
  }
}

}  // namespace
}  // namespace pump::voice_test

namespace pump::voice_test {
namespace {

// A probe and its echo through a known FIR 20 samples late, with seeded
// noise: one search's nine passes bring the echo down by more than 30 dB,
// its taps on the path's and the others near 0.
TEST(LineEcho, SearchOnASyntheticEchoPath) {
  LineEcho echo;
  ResetLineEcho(echo, 80, 0);
  const std::int32_t n = 80;
  echo.search_at = 5 * n;
  std::uint32_t r = 0;
  std::vector<std::int16_t> probe(4 * n);
  for (auto& p : probe) {
    const std::uint32_t c = 1u ^ ((r >> 22) & 1u) ^ ((r >> 4) & 1u);
    r = r << 1 | c;
    p = c != 0 ? 4000 : -4000;
  }
  const double h[] = {0.3, -0.2, 0.1, 0.05};
  std::uint32_t seed = 12345;  // noise of +-8
  for (std::int32_t t = 0; t < 4 * n; ++t) {
    RingAt(echo.mic, echo.search_at - t) = probe[static_cast<std::size_t>(t)];
    double y = 0;
    for (int k = 0; k < 4; ++k) {
      const std::int32_t s = t - 20 - k;
      if (s >= 0) y += h[k] * probe[static_cast<std::size_t>(s)];
    }
    seed = seed * 1664525u + 1013904223u;
    y += double(int(seed >> 28) - 8);
    RingAt(echo.line, echo.search_at - t - 4 * n) = static_cast<std::int16_t>(std::lround(y));
  }
  echo.countdown = 1;
  std::vector<std::int16_t> line(80, 0);
  std::vector<std::int16_t> uncancelled(80);
  std::array<std::uint8_t, kProfileImageBytes> image{};
  std::uint32_t bytes = 0;
  RunLineEcho(echo, line, uncancelled, 16, image, bytes);
  const double before = double(echo.best_improvement) + echo.residual;
  const double erle = 20 * std::log10(before / echo.residual);
  RecordProperty("erle_db", std::to_string(erle));
  std::printf("echo return loss enhancement after one search: %.1f dB\n", erle);
  EXPECT_GT(erle, 30.0);
  EXPECT_EQ(echo.searches_left, kEchoSearchesAfterReset - 1);
  for (int k = 0; k < kEchoTaps; ++k) {
    const double path = k >= 20 && k < 24 ? h[k - 20] : 0.0;
    EXPECT_NEAR(echo.running.taps[static_cast<std::size_t>(k)] / 32768.0, path, 0.01)
        << k << ": the taps off the path stay near 0, none drift";
  }
}

}  // namespace
}  // namespace pump::voice_test

namespace pump::voice_test {
namespace {

// One search's probe and what the line brings back: `gain` times the probe
// 20 samples late plus seeded noise of +-noise.
void FillSearch(LineEcho& echo, double gain, int noise, std::uint32_t& seed) {
  const std::int32_t n = echo.n;
  echo.search_at = 5 * n;
  std::vector<std::int16_t> probe(static_cast<std::size_t>(4 * n));
  for (auto& p : probe) {
    seed = seed * 1664525u + 1013904223u;
    p = (seed >> 31) != 0 ? 4000 : -4000;
  }
  for (std::int32_t t = 0; t < 4 * n; ++t) {
    RingAt(echo.mic, echo.search_at - t) = probe[static_cast<std::size_t>(t)];
    seed = seed * 1664525u + 1013904223u;
    const double y = (t >= 20 ? gain * probe[static_cast<std::size_t>(t - 20)] : 0) +
                     double(noise) * (double(seed >> 16) / 32768.0 - 1.0);
    RingAt(echo.line, echo.search_at - t - 4 * n) = static_cast<std::int16_t>(std::lround(y));
  }
  echo.countdown = 1;
}

// Searches until none are left or `limit` ran; the number that ran.
int Search(LineEcho& echo, double gain, int noise, std::int32_t floor,
           std::array<std::uint8_t, kProfileImageBytes>& image, std::uint32_t& bytes, int limit) {
  std::uint32_t seed = 99;
  std::vector<std::int16_t> line(80, 0);
  std::vector<std::int16_t> uncancelled(80);
  int ran = 0;
  while (echo.searches_left > 0 && ran < limit) {
    FillSearch(echo, gain, noise, seed);
    RunLineEcho(echo, line, uncancelled, floor, image, bytes);
    ++ran;
  }
  return ran;
}

std::int32_t ValidWord(const std::array<std::uint8_t, kProfileImageBytes>& image) {
  std::int32_t v = 0;
  std::memcpy(&v, &image[328], 4);
  return v;
}

// A done search stores the taps once the searches are used up; an
// uncancellable line (noise far above the echo) fails every search, and
// after five failures in a row the searches stop with the profile not valid.
TEST(LineEcho, DoneSearchesStoreAndFailedOnesStop) {
  struct Case {
    const char* name;
    double gain;
    int noise;
    std::int32_t floor;
    int searches;
    std::int32_t valid;
    std::int16_t retries;
  };
  const Case cases[] = {
      // 36 dB down: no further search.
      {"a clean echo path", 0.3, 4, 16, 1, 1, 0},
      // Done (q below 2048, not below 512): the searches go on while any are left.
      {"noise 28 dB below the echo", 0.3, 80, 16, kEchoSearchesAfterReset, 1, 0},
      {"noise 20 dB above the echo", 0.01, 400, 16, 10 + 4 * 8, 0, 5},
  };
  for (const Case& c : cases) {
    LineEcho echo;
    ResetLineEcho(echo, 80, 0);
    std::array<std::uint8_t, kProfileImageBytes> image{};
    image[328] = 1;  // a valid word from before, to see it cleared
    std::uint32_t bytes = 0;
    EXPECT_EQ(Search(echo, c.gain, c.noise, c.floor, image, bytes, 100), c.searches) << c.name;
    EXPECT_EQ(echo.searches_left, 0) << c.name;
    EXPECT_EQ(ValidWord(image), c.valid) << c.name;
    EXPECT_EQ(echo.retries, c.retries) << c.name;
    if (c.valid == 1) {
      EXPECT_EQ(bytes, kProfileImageBytes);
      std::int32_t tap = 0;
      std::memcpy(&tap, &image[4 * 20], 4);
      EXPECT_NEAR(tap / 32768.0, c.gain, 0.03) << "the stored taps are the path's";
    }
  }
}

}  // namespace
}  // namespace pump::voice_test

namespace pump::voice_test {
namespace {

// A stored profile from a clean path, loaded at a reset: the first search
// only measures it (step 0), keeps it while the path is the same and drops
// it once the path has changed.
TEST(LineEcho, LoadedProfileIsMeasuredThenKeptOrDropped) {
  LineEcho trained;
  ResetLineEcho(trained, 80, 0);
  std::array<std::uint8_t, kProfileImageBytes> image{};
  std::uint32_t bytes = 0;
  Search(trained, 0.3, 4, 300, image, bytes, 100);
  ASSERT_EQ(ValidWord(image), 1);

  struct Case {
    const char* name;
    double gain;
    bool kept;
  };
  for (const Case& c : {Case{"the same path", 0.3, true}, Case{"a changed path", -0.25, false}}) {
    LineEcho echo;
    ResetLineEcho(echo, 80, 0);
    ASSERT_TRUE(LoadEchoProfile(echo, image, bytes));
    std::array<std::uint8_t, kProfileImageBytes> out = image;
    std::uint32_t out_bytes = bytes;
    Search(echo, c.gain, 4, 300, out, out_bytes, 1);
    EXPECT_EQ(echo.mu, 0) << c.name << ": the first search only measures";
    EXPECT_EQ(echo.profile_valid != 0, c.kept) << c.name;
    EXPECT_EQ(echo.running.taps[20] != 0, c.kept) << c.name;
  }
}

// A bad stored value is not loaded and is replaced by the next done search.
TEST(StoredProfileHostile, ABadValueIsReplacedAtTheNextDoneSearch) {
  for (std::uint32_t valid : {0u, 2u, 0xFFFFFFFFu}) {
    std::array<std::uint8_t, kProfileImageBytes> image{};
    image.fill(0xFF);
    std::memcpy(&image[328], &valid, 4);
    std::uint32_t bytes = kProfileImageBytes;
    LineEcho echo;
    ResetLineEcho(echo, 80, 0);
    EXPECT_FALSE(LoadEchoProfile(echo, image, bytes));
    Search(echo, 0.3, 4, 300, image, bytes, 100);
    EXPECT_EQ(ValidWord(image), 1) << valid;
    std::int32_t improvement = 0;
    std::memcpy(&improvement, &image[324], 4);
    EXPECT_GT(improvement, 0) << valid;
    EXPECT_EQ(improvement, echo.best_improvement) << valid;
  }
}

}  // namespace
}  // namespace pump::voice_test
