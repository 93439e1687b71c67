// A machine on a subscriber line: a driver dials through the controller, by
// hook pulses and by DTMF through its DMA, and the exchange collects the
// number; called, the machine's on-hook ADC hears the ring at the
// exchange's cadence.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/line/exchange/tests/dial_driver.h"
#include "platform/line/exchange/tests/exchange_rig.h"
#include "platform/machine/machine.h"

namespace plat::line::exchange::testing {
namespace {

// The ADC's samples with their instants.
class AdcRecorder final : public sim::CodecTap {
 public:
  void Sample(sim::Instant at, std::int16_t, std::int16_t adc, std::int16_t) override {
    instants.push_back(at);
    samples.push_back(adc);
  }
  std::vector<sim::Instant> instants;
  std::vector<std::int16_t> samples;
};

struct Heard {
  std::uint64_t first;  // the first instant of sound
  std::uint64_t last;   // the last
};

// Stretches of sound in the ADC from `from` on, at least 100 ms of silence apart.
std::vector<Heard> Bursts(const AdcRecorder& adc, std::uint64_t from) {
  std::vector<Heard> bursts;
  for (std::size_t i = 0; i < adc.samples.size(); ++i) {
    if (adc.samples[i] == 0 || adc.instants[i] < from) continue;
    if (bursts.empty() || adc.instants[i] - bursts.back().last > NsOfMs(100)) {
      bursts.push_back({adc.instants[i], adc.instants[i]});
    }
    bursts.back().last = adc.instants[i];
  }
  return bursts;
}

TEST(ExchangeMachine, DialsByPulsesAndByDtmfAndHearsTheRingOnHook) {
  for (const DialMethod method : {DialMethod::kPulses, DialMethod::kDtmf}) {
    SCOPED_TRACE(method == DialMethod::kPulses ? "pulses" : "DTMF");
    Simulation sim;
    // Subscriber 5551001's line is the machine's: its side A takes the
    // machine's port instead of a script.
    Rig rig(3, {}, 1);
    Exchange& exchange = rig.Build();
    Machine machine(sim, {.name = "A",
                          .drivers = {{u"dial", DialDriverEntry}},
                          .line = &rig.bare_line(0),
                          .side = Side::kA});
    machine.kernel().slots().Get<DialChoice>() = {method, "5551002"};
    ASSERT_EQ(machine.Boot(), STATUS_SUCCESS) << machine.kernel().LogText();
    AdcRecorder adc;
    machine.controller().SetTap(&adc);
    // Subscriber 3 calls the machine once it has hung up.
    rig.phone(2).Wait(12'000).OffHook().Wait(500).Dtmf("5551001");
    sim.RunFor(26 * hal::kSecond);
    machine.controller().AdvanceTo(sim.Now());
    machine.controller().SetTap(nullptr);
    machine.Shutdown();

    const EventLog& log = exchange.log();
    ASSERT_EQ(exchange.SubscriberWith("5551001"), std::optional<std::size_t>(0));
    const auto numbers = log.Of(0, EventKind::kNumber);
    ASSERT_EQ(numbers.size(), 1u) << log.Text();
    EXPECT_EQ(numbers[0].detail, "5551002");
    const auto digits = log.Of(0, EventKind::kDigit);
    ASSERT_EQ(digits.size(), 7u);
    for (const ExchangeEvent& d : digits) {
      EXPECT_NE(d.detail.find(method == DialMethod::kPulses ? "pulse" : "dtmf"), std::string::npos);
    }
    EXPECT_FALSE(log.Of(1, EventKind::kRing).empty());
    // The machine rings from subscriber 3's number on: the ADC hears the 20 Hz
    // ring in bursts where the line rings, 2 s on, 4 s off.
    const auto rings = log.Of(0, EventKind::kRing);
    ASSERT_GE(rings.size(), 4u) << log.Text();
    // Off hook while dialling, the ADC heard the line; on hook, only the ring.
    const auto bursts = Bursts(adc, rings[0].at - NsOfMs(1000));
    ASSERT_EQ(bursts.size(), rings.size() / 2 + rings.size() % 2);
    for (std::size_t k = 0; k < bursts.size(); ++k) {
      SCOPED_TRACE("ring " + std::to_string(k));
      const std::uint64_t on = rings[2 * k].at;
      EXPECT_EQ(on - rings[0].at, NsOfMs(6000) * k);
      // The first ADC sample at or after the ring's instant; the last before it ends.
      EXPECT_LT(bursts[k].first - on, NsOfMs(1));
      if (2 * k + 1 < rings.size()) {
        EXPECT_EQ(rings[2 * k + 1].at - on, NsOfMs(2000));
        EXPECT_LT(rings[2 * k + 1].at - bursts[k].last, NsOfMs(1));
      }
    }
    // 20 Hz at the codec's ring level in the first burst.
    std::size_t from = 0;
    while (adc.instants[from] < bursts[0].first) ++from;
    const std::size_t count = 7200;  // one second
    double re = 0.0, im = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      const double phase = 2.0 * std::numbers::pi * 20.0 * static_cast<double>(adc.instants[from + i]) / 1e9;
      re += adc.samples[from + i] * std::cos(phase);
      im += adc.samples[from + i] * std::sin(phase);
    }
    EXPECT_NEAR(2.0 * std::hypot(re, im) / count, 30000.0, 300.0);
  }
}

}  // namespace
}  // namespace plat::line::exchange::testing
