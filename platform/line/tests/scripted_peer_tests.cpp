#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "platform/line/levels.h"
#include "platform/line/line_direction.h"
#include "platform/line/scripted_peer.h"
#include "platform/line/tests/dft.h"
#include "platform/line/wav.h"

namespace plat::line {
namespace {

// A peer talking into a clean line: gain 0 dB, no noise, no echo.
std::vector<std::int16_t> OverACleanLine(ScriptedPeer& peer, std::size_t count,
                                         std::int64_t delay) {
  LineDirection line({.delay_samples = delay});
  std::vector<std::int16_t> sent(count);
  peer.Generate(sent);
  line.SendFar(sent);
  std::vector<std::int16_t> heard(count);
  line.Receive(heard);
  return heard;
}

double Expected(double hz, double dbm0, std::int64_t n) {
  return 32767.0 * std::pow(10.0, (dbm0 - 3.14) / 20.0) *
         std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(n) / 8000.0);
}

TEST(ScriptedPeer, AToneScriptArrivesSampleExact) {
  ScriptedPeer peer;
  peer.Silence(100)
      .Tones({1000.0, -10.0}, 400)
      .Silence(50)
      .Tones({697.0, -6.0}, {1209.0, -8.0}, 800);
  constexpr std::int64_t kDelay = 7;
  const auto heard = OverACleanLine(peer, 2000, kDelay);
  // Instants on the far side: each step starts where the previous one ended.
  struct Span {
    std::int64_t from, to;
    double hz1, dbm1, hz2, dbm2;
  };
  const Span spans[] = {{0, 100, 0, 0, 0, 0},
                        {100, 500, 1000.0, -10.0, 0, 0},
                        {500, 550, 0, 0, 0, 0},
                        {550, 1350, 697.0, -6.0, 1209.0, -8.0},
                        {1350, 2000 - kDelay, 0, 0, 0, 0}};
  for (const Span& s : spans) {
    for (std::int64_t t = s.from; t < s.to; ++t) {
      const std::int64_t n = t - s.from;
      const double want =
          (s.hz1 ? Expected(s.hz1, s.dbm1, n) : 0.0) + (s.hz2 ? Expected(s.hz2, s.dbm2, n) : 0.0);
      ASSERT_NEAR(heard[static_cast<std::size_t>(t + kDelay)], want, 0.5 + 1e-9) << "instant " << t;
    }
  }
  // The level: a -10 dBm0 tone is 13.14 dB below a full-scale sine.
  const testing::ToneMeter meter(400);
  const double amplitude =
      std::abs(meter.At(std::span(heard).subspan(100 + kDelay), 8000.0, 1000.0));
  EXPECT_NEAR(testing::Db(amplitude / 32767.0), -13.14, 0.01);
  EXPECT_TRUE(peer.finished());
}

// The seams for line signalling: a wait ends at the first instant its
// condition holds, an action runs at the instant the script reaches it, and
// block callbacks see their instants.
TEST(ScriptedPeer, WaitsActionsAndBlocksRunAtTheirInstants) {
  std::vector<std::int64_t> actions;
  std::vector<std::int64_t> blocks;
  ScriptedPeer peer;
  peer.Blocks([&](std::int64_t instant, std::span<std::int16_t> out) {
        blocks.push_back(instant);
        for (std::size_t i = 0; i < out.size(); ++i)
          out[i] = static_cast<std::int16_t>(instant + i + 1);
        return instant + static_cast<std::int64_t>(out.size()) >= 240;
      })
      .Do([&](std::int64_t instant) { actions.push_back(instant); })
      .WaitUntil([](std::int64_t instant) { return instant >= 517; })
      .Do([&](std::int64_t instant) { actions.push_back(instant); })
      .Tones({500.0, 0.0}, 10);
  std::vector<std::int16_t> out(80);
  std::vector<std::int16_t> all;
  for (int i = 0; i < 10; ++i) {
    peer.Generate(out);
    all.insert(all.end(), out.begin(), out.end());
  }
  EXPECT_EQ(blocks, (std::vector<std::int64_t>{0, 80, 160}));
  EXPECT_EQ(actions, (std::vector<std::int64_t>{240, 517}));
  for (std::size_t t = 0; t < all.size(); ++t) {
    if (t < 240) {
      ASSERT_EQ(all[t], static_cast<std::int16_t>(t + 1)) << t;
    } else if (t < 517 || t >= 527) {
      ASSERT_EQ(all[t], 0) << t;
    }
  }
  EXPECT_NE(all[518], 0);  // the tone starts at 517 with sin(0) = 0
  EXPECT_EQ(peer.generated(), 800);
}

TEST(ScriptedPeer, AWavFileInEqualsTheWavFileOutOverACleanLine) {
  const auto dir =
      std::filesystem::temp_directory_path() /
      ("peer-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  std::vector<std::int16_t> speech(5000);
  for (std::size_t i = 0; i < speech.size(); ++i) {
    speech[i] = static_cast<std::int16_t>(i * 40503u ^ (i >> 3) * 2654435761u);
  }
  const std::string in = (dir / "in.wav").string();
  const std::string out = (dir / "out.wav").string();
  ASSERT_EQ(WriteWavFile(in, 8000, speech), "");

  ScriptedPeer talker;
  ASSERT_EQ(talker.PlayWavFile(in), "");
  ScriptedPeer listener;
  constexpr std::int64_t kDelay = 123;
  {
    WavTap tap(out, 8000);
    listener.RecordTo(&tap);
    listener.Hear(OverACleanLine(talker, speech.size() + kDelay, kDelay));
    tap.Close();
    EXPECT_TRUE(tap.ok()) << tap.error();
  }
  const WavResult heard = ReadWavFile(out);
  ASSERT_TRUE(heard.ok()) << heard.error;
  ASSERT_EQ(heard.audio.samples.size(), speech.size() + kDelay);
  EXPECT_TRUE(std::equal(speech.begin(), speech.end(), heard.audio.samples.begin() + kDelay));

  ASSERT_EQ(WriteWavFile((dir / "fast.wav").string(), 16000, speech), "");
  const std::string error = talker.PlayWavFile((dir / "fast.wav").string());
  EXPECT_NE(error.find("16000 Hz"), std::string::npos) << error;
  EXPECT_NE(talker.PlayWavFile((dir / "missing.wav").string()), "");
  EXPECT_TRUE(talker.finished()) << "a refused file adds no step";
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace plat::line
