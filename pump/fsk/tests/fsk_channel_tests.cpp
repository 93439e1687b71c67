// Our transmitter's channels measured on its output (the frequencies and
// bit rates of V.21, V.23 and Bell 103), its silence without data, its
// level, and the six filter tables' DC gains and -3 dB points.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <complex>
#include <cstdlib>
#include <vector>

#include "pump/fsk/fsk_filter_tables.h"
#include "pump/fsk/fsk_start.h"
#include "pump/framer/framer.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

constexpr double kRate = 9600;

struct ChannelCase {
  const char* name;
  int start_type;
  int direction;
  double mark;   // Hz, a 1 bit
  double space;  // Hz, a 0 bit
  double bit_rate;
};

// The recommendations' frequencies: V.21 ch1 980/1180, ch2 1650/1850; V.23
// 1300/2100 and 390/450; Bell 103 originate 1270/1070, answer 2225/2025.
const ChannelCase kChannelCases[] = {
    {"V21 ch1", kFskV21Data, 1, 980, 1180, 300},
    {"V21 ch2", kFskV21Data, 0, 1650, 1850, 300},
    {"V23 forward", kFskV23SendForward, 1, 1300, 2100, 1200},
    {"V23 backward", kFskV23SendBackward, 1, 390, 450, 75},
    {"Bell103 originate", kFskBell103Originate, 1, 1270, 1070, 300},
    {"Bell103 answer", kFskBell103Answer, 0, 2225, 2025, 300},
};

// The line output of `blocks` blocks after the start, sending `byte` as
// raw octets (none: the framer idles on ones).
std::vector<std::int16_t> Output(const ChannelCase& c, int byte, int blocks, int level = -10,
                                 int framer_mode = kFramerRawOctets) {
  std::vector<std::int16_t> out;
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    context.call.direction = c.direction;
    context.transmit_level = static_cast<std::int16_t>(level);
    StartFsk(context, c.start_type);
    InitFramerTx(context, framer_mode);
    const std::size_t from = harness.Afe().LineOutput().size();
    const std::vector<std::uint8_t> chunk(32, static_cast<std::uint8_t>(byte));
    for (int k = 0; k < blocks; ++k) {
      if (byte >= 0) harness.Controller().FillTx(0, chunk);
      harness.RunBlocks(1);
    }
    const auto& line = harness.Afe().LineOutput();
    out.assign(line.begin() + static_cast<std::ptrdiff_t>(from), line.end());
  });
  return out;
}

// Frequency from the positive-going zero crossings after the first 30 ms.
double Frequency(const std::vector<std::int16_t>& s) {
  std::size_t first = 0;
  std::size_t last = 0;
  int crossings = 0;
  for (std::size_t n = 288; n < s.size(); ++n) {
    if (s[n - 1] < 0 && s[n] >= 0) {
      // The crossing instant between the two samples.
      if (crossings == 0) first = n;
      last = n;
      ++crossings;
    }
  }
  return (crossings - 1) * kRate / static_cast<double>(last - first);
}

// The mean length (samples) of the runs between the frequency's turns
// from one side of the centre to the other: each period between rising
// zero crossings (interpolated) is a frequency, taken as mark or space
// once it is more than a quarter of the shift away from the centre.
double MeanRun(const std::vector<std::int16_t>& s, double mark, double space) {
  const double centre = (mark + space) / 2;
  const double margin = std::abs(space - mark) / 4;
  std::vector<double> turns;
  double previous = -1;
  int side = 0;
  for (std::size_t n = 1000; n < s.size(); ++n) {
    if (!(s[n - 1] < 0 && s[n] >= 0)) continue;
    const double t = static_cast<double>(n - 1) + -s[n - 1] / static_cast<double>(s[n] - s[n - 1]);
    if (previous >= 0) {
      const double f = kRate / (t - previous);
      const int now = f < centre - margin ? -1 : f > centre + margin ? 1 : side;
      if (side != 0 && now != side) turns.push_back(t);
      side = now;
    }
    previous = t;
  }
  return turns.size() < 2 ? 0
                          : (turns.back() - turns.front()) / static_cast<double>(turns.size() - 1);
}

TEST(FskChannels, MarkAndSpaceFrequenciesAndBitRates) {
  for (const ChannelCase& c : kChannelCases) {
    SCOPED_TRACE(c.name);
    const int blocks = c.bit_rate < 100 ? 200 : 100;
    EXPECT_NEAR(Frequency(Output(c, -1, blocks)), c.mark, 1.0);
    EXPECT_NEAR(Frequency(Output(c, 0x00, blocks)), c.space, 1.0);
    // 0x0F raw: four ones, four zeros: runs of four bits.
    const double samples_per_bit = kRate / c.bit_rate;
    const double run = MeanRun(Output(c, 0x0F, 2 * blocks), c.mark, c.space);
    EXPECT_NEAR(run / 4, samples_per_bit, samples_per_bit * 0.03);
  }
}

TEST(FskChannels, ExactZerosWhileTheFramerHasNoBit) {
  // Transmit mode 5 stops when empty: without data not one sample is sent.
  const std::vector<std::int16_t> out =
      Output(kChannelCases[0], -1, 20, -10, kFramerAsyncMarks);
  ASSERT_EQ(out.size(), 20u * 96);
  for (const std::int16_t s : out) ASSERT_EQ(s, 0);
}

TEST(FskChannels, OutputGainFollowsTheTransmitLevel) {
  auto rms_db = [](const std::vector<std::int16_t>& s) {
    double p = 0;
    for (std::size_t n = 960; n < s.size(); ++n) p += static_cast<double>(s[n]) * s[n];
    return 10 * std::log10(p / static_cast<double>(s.size() - 960));
  };
  const double at10 = rms_db(Output(kChannelCases[0], -1, 30, -10));
  // Settings above -2 dB send at -10 dB.
  EXPECT_NEAR(rms_db(Output(kChannelCases[0], -1, 30, 0)), at10, 0.01);
  EXPECT_NEAR(rms_db(Output(kChannelCases[0], -1, 30, -1)), at10, 0.01);
  for (int level = -2; level >= -16; --level) {
    EXPECT_NEAR(rms_db(Output(kChannelCases[0], -1, 30, level)) - at10, level + 10, 0.1)
        << "setting " << level;
  }
}

// Response relative to DC at a fraction of the table's rate.
double Relative(const std::array<std::int16_t, kFskTaps>& taps, double f) {
  std::complex<double> h;
  double dc = 0;
  for (int n = 0; n < kFskTaps; ++n) {
    h += double{1} * taps[n] * std::polar(1.0, -2 * std::numbers::pi * f * n);
    dc += taps[n];
  }
  return std::abs(h) / dc;
}

TEST(FskFilters, EachTableMeetsItsDcGainAndMinus3DbPoint) {
  struct Table {
    const char* name;
    const std::array<std::int16_t, kFskTaps>* taps;
    double dc_gain;
    double f3;  // Hz
    double rate;
  };
  const Table tables[] = {
      {"300 bit/s receive", &fsk::kRx300, 1.33, 155, 4800},
      {"1200 bit/s", &fsk::kShape1200, 0.49, 585, 9600},
      {"300 bit/s shaping", &fsk::kShape300, 0.57, 150, 9600},
      {"75 bit/s shaping", &fsk::kShape75, 0.53, 70, 9600},
      {"75 bit/s receive (at 600 Hz)", &fsk::kRx75, 1.40, 42.5, 600},
      {"75 bit/s prefilter", &fsk::kPre75, 4.0, 115, 9600},
  };
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    double sum = 0;
    for (int n = 0; n < kFskTaps; ++n) {
      sum += (*t.taps)[n];
      EXPECT_EQ((*t.taps)[n], (*t.taps)[kFskTaps - 1 - n]) << "tap " << n;  // linear phase
    }
    EXPECT_NEAR(sum / 32768, t.dc_gain, 0.002);
    EXPECT_NEAR(20 * std::log10(Relative(*t.taps, t.f3 / t.rate)), -3.0103, 0.05);
    // Monotonic through the pass band: no point below the -3 dB frequency
    // is already 3 dB down.
    EXPECT_GT(Relative(*t.taps, 0.9 * t.f3 / t.rate), 1 / std::sqrt(2.0));
  }
}

}  // namespace
}  // namespace pump
