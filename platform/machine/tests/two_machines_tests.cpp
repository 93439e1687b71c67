// Two machines on one line: each plays through its controller's DMA, and
// what A's DAC plays reaches B's ADC after exactly the line's delays, the
// same on every run and whichever machine the line asks first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/line/taps.h"
#include "platform/machine/machine.h"
#include "platform/machine/tests/test_drivers.h"

namespace plat::machine::testing {
namespace {

// Both codecs run at the power-on rate, 7200 Hz from instant 0 (nine codec
// samples per ten line samples). A sample takes the resampler delay into the
// line, the line's bulk delay, and the resampler delay out of it: with a
// bulk delay of 4 line samples that is 80 line samples, 72 codec samples.
constexpr std::int64_t kBulkDelay = 4;
constexpr std::int64_t kCodecDelay = (2 * line::kResamplerDelay + kBulkDelay) * 9 / 10;
static_assert((2 * line::kResamplerDelay + kBulkDelay) % 10 == 0);

struct Played {
  std::vector<std::int16_t> a_dac, b_adc;
  std::vector<std::string> trace;
};

// Boots A and B with the impulse driver, runs 100 ms and shuts both down;
// `b_first` makes B's codec catch up first at the end.
Played PlayImpulse(bool b_first) {
  line::LineConfig config;
  config.heard_at[0].delay_samples = kBulkDelay;
  config.heard_at[1].delay_samples = kBulkDelay;
  config.seed = 7;
  Simulation sim({.trace = true});
  line::Line line(config);
  Machine a(sim, {.name = "A",
                  .drivers = {{u"impulse", ImpulseDriverEntry}},
                  .line = &line,
                  .side = line::Side::kA});
  Machine b(sim, {.name = "B",
                  .drivers = {{u"impulse", ImpulseDriverEntry}},
                  .line = &line,
                  .side = line::Side::kB});
  EXPECT_EQ(a.Boot(), STATUS_SUCCESS);
  EXPECT_EQ(b.Boot(), STATUS_SUCCESS);
  line::MemoryTap a_dac, b_adc;
  line::CodecTaps a_taps(&a_dac, nullptr, nullptr), b_taps(nullptr, &b_adc, nullptr);
  a.controller().SetTap(&a_taps);
  b.controller().SetTap(&b_taps);
  sim.RunFor(100 * hal::kMillisecond);
  (b_first ? b : a).controller().AdvanceTo(sim.Now());
  (b_first ? a : b).controller().AdvanceTo(sim.Now());
  a.controller().SetTap(nullptr);
  b.controller().SetTap(nullptr);
  a.Shutdown();
  b.Shutdown();
  return {a_dac.samples(), b_adc.samples(), sim.Trace()};
}

std::size_t Loudest(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  std::size_t best = from;
  for (std::size_t i = from; i < to && i < samples.size(); ++i) {
    if (std::abs(int{samples[i]}) > std::abs(int{samples[best]})) best = i;
  }
  return best;
}

TEST(TwoMachines, AsImpulseReachesBAfterExactlyTheComputedDelay) {
  const Played run = PlayImpulse(false);
  ASSERT_GT(run.a_dac.size(), 700u);
  // A's DAC played the impulse once the engines ran: the first loud sample.
  std::size_t played = 0;
  while (played < run.a_dac.size() && run.a_dac[played] != kImpulse) ++played;
  ASSERT_LT(played, run.a_dac.size());
  ASSERT_GT(run.b_adc.size(), played + kCodecDelay + 100);
  // The impulse's response peaks exactly at the delay, and nothing of it
  // arrives before the filters' reach (38 line samples either side, each way).
  EXPECT_EQ(Loudest(run.b_adc, 0, played + kCodecDelay + 60), played + kCodecDelay);
  EXPECT_GT(run.b_adc[played + kCodecDelay], kImpulse / 2);
  for (std::size_t i = 0; i + 70 < played + kCodecDelay; ++i) {
    ASSERT_EQ(run.b_adc[i], 0) << "codec sample " << i << " heard before the impulse could arrive";
  }
}

TEST(TwoMachines, TwoRunsGiveTheSameTraceAndSamplesWhicheverEndCatchesUpFirst) {
  auto run = PlayImpulse;
  const Played first = run(false);
  const Played second = run(false);
  const Played swapped = run(true);
  ASSERT_FALSE(first.trace.empty());
  EXPECT_EQ(first.trace, second.trace);
  EXPECT_EQ(first.a_dac, second.a_dac);
  EXPECT_EQ(first.b_adc, second.b_adc);
  EXPECT_EQ(first.b_adc, swapped.b_adc);
  EXPECT_EQ(first.a_dac, swapped.a_dac);
}

}  // namespace
}  // namespace plat::machine::testing
