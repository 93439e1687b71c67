#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/line/levels.h"
#include "platform/line/resampler_design.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"

namespace pump::testing {
namespace {

// Level in dBm0 of samples, from their power in double precision.
double LevelDbm0(std::span<const std::int16_t> samples) {
  double power = 0;
  for (const std::int16_t s : samples) power += double(s) * s;
  return 20 * std::log10(std::sqrt(power / double(samples.size())) / plat::line::RmsAt(0));
}

TEST(SpandspSource, AToneArrivesAtTheCodecRateAtItsLevel) {
  struct Case {
    int hz;
    int dbm0;
  };
  for (const Case c :
       {Case{300, -10}, Case{1000, -10}, Case{2100, -3}, Case{3300, -20}, Case{1000, -43}}) {
    SCOPED_TRACE(::testing::Message() << c.hz << " Hz at " << c.dbm0 << " dBm0");
    SpandspSource source(SpandspTone(c.hz, c.dbm0, 0, 0, 0));
    const std::vector<std::int16_t> heard = source.Take(2 * 9600);
    EXPECT_NEAR(LevelDbm0(std::span(heard).last(9600)), c.dbm0, 0.2);
  }
}

// The tone's first and last sample at 9600 Hz: where its envelope crosses
// half its amplitude.
TEST(SpandspSource, AToneKeepsItsTimingWithTheResamplersDelay) {
  SpandspSource source(SpandspTone(1000, -10, 0, 0, 200));
  const std::vector<std::int16_t> heard = source.Take(4800);
  const double half = plat::line::SinePeak(-10) / 2;
  int first = -1, last = -1;
  for (int i = 0; i < int(heard.size()); ++i) {
    if (std::abs(heard[i]) > half) {
      if (first < 0) first = i;
      last = i;
    }
  }
  // 38 line samples of 125 us are 45.6 samples at 9600 Hz; a 1000 Hz
  // half-amplitude crossing comes within a sixth of its 9.6-sample period.
  constexpr double kDelay = plat::line::kResamplerDelay * 9600.0 / 8000;
  EXPECT_NEAR(first, kDelay, 3);
  EXPECT_NEAR(last - first, 1920, 6);
  EXPECT_EQ(source.Take(960), std::vector<std::int16_t>(960, 0)) << "silence after it";
}

// Our samples at 9600 Hz through the sink: the level they had, and a
// spandsp receiver hears what they carry.
TEST(SpandspSink, Samples9600HzArriveAt8000HzAtTheirLevelAndSpandspHearsThem) {
  const auto answer_tone = [](double dbm0, int n) {
    std::vector<std::int16_t> tone(n);
    for (int i = 0; i < n; ++i) {
      tone[i] = static_cast<std::int16_t>(std::lround(
          plat::line::SinePeak(dbm0) * std::sin(2 * std::numbers::pi * 2100 * i / 9600.0)));
    }
    return tone;
  };
  std::vector<std::int16_t> line;
  modem_connect_tones_rx_state_t* rx =
      modem_connect_tones_rx_init(nullptr, MODEM_CONNECT_TONES_ANS, nullptr, nullptr);
  SpandspSink sink([&](std::span<const std::int16_t> samples) {
    line.insert(line.end(), samples.begin(), samples.end());
    modem_connect_tones_rx(rx, samples.data(), static_cast<int>(samples.size()));
  });
  const auto tone = answer_tone(-12, 3 * 9600);
  for (std::size_t at = 0; at < tone.size(); at += 96) sink.Put(std::span(tone).subspan(at, 96));
  EXPECT_NEAR(line.size(), 3 * 8000, 1);
  const auto loud = std::find_if(line.begin(), line.end(), [](std::int16_t s) {
    return std::abs(s) > plat::line::SinePeak(-12) / 2;
  });
  EXPECT_NEAR(loud - line.begin(), plat::line::kResamplerDelay, 2) << "the resampler's delay";
  EXPECT_NEAR(LevelDbm0(std::span(line).last(8000)), -12, 0.2);
  EXPECT_EQ(modem_connect_tones_rx_get(rx), MODEM_CONNECT_TONES_ANS);
  modem_connect_tones_rx_free(rx);
}

}  // namespace
}  // namespace pump::testing
