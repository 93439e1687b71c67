// The same inputs and seeds give the same interrupts, samples, line output,
// buffers and bus addresses, whatever the host's heap looks like.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "platform/sim/tests/driver_steps.h"

namespace plat::sim::testing {
namespace {

struct Trace {
  std::vector<std::pair<Instant, bool>> levels;
  std::vector<TapSample> taps;
  std::vector<StubLine::OutputSample> output;
  std::vector<std::uint8_t> receive_buffer;
  std::vector<std::uint32_t> bus_addresses;
  std::vector<IsrRecord> interrupts;
};

Trace RunScenario(std::size_t heap_noise) {
  // Unrelated allocations first, so host addresses differ between runs.
  std::vector<std::unique_ptr<char[]>> clutter;
  for (std::size_t i = 0; i < heap_noise; ++i) clutter.emplace_back(new char[4096 + i * 64]);

  SimRig rig;
  std::mt19937 line_random(99);
  rig.line.input = [&line_random](Instant) {
    return static_cast<std::int16_t>(line_random() % 20001) - 10000;
  };
  rig.controller.Knobs().loopback.noise_amplitude = 50;
  rig.controller.Knobs().loopback.noise_seed = 5;
  AfeInitSteps(rig);
  const Ring ring = AllocateRing(rig, 96);
  DriverIsr isr{&rig, &ring};
  rig.isr = [&isr] { return isr(); };
  std::mt19937 tx_random(3);
  for (std::uint32_t i = 0; i < 32 * 96; ++i) SetWord(ring.transmit, i, tx_random());
  StartDma(rig, ring);
  rig.Write(reg::kHook, reg::kOffHook);
  rig.Stall(150 * hal::kMillisecond);
  rig.Write(reg::kCodecPaths, rig.Read(reg::kCodecPaths) | reg::kAnalogLoopback);
  rig.Stall(120 * hal::kMillisecond);
  rig.Write(reg::kRateCode, 2);  // 57600/7 Hz while running
  rig.Stall(200 * hal::kMillisecond);
  rig.Clear(reg::kRun, reg::kRunEngines);

  Trace trace{rig.level_log,
              rig.tap,
              rig.line.output(),
              {ring.receive.host, ring.receive.host + ring.receive.length},
              {ring.transmit.bus_address, ring.receive.bus_address},
              isr.records};
  FreeRing(rig, ring);
  return trace;
}

TEST(SimDeterminism, TwoRunsGiveIdenticalTracesAndBuffers) {
  const Trace a = RunScenario(3);
  const Trace b = RunScenario(40);
  EXPECT_GT(a.interrupts.size(), 40u);
  EXPECT_EQ(a.levels, b.levels);
  EXPECT_TRUE(a.taps == b.taps);
  EXPECT_TRUE(a.output == b.output);
  EXPECT_EQ(a.receive_buffer, b.receive_buffer);
  EXPECT_EQ(a.bus_addresses, b.bus_addresses);
  ASSERT_EQ(a.interrupts.size(), b.interrupts.size());
  for (std::size_t i = 0; i < a.interrupts.size(); ++i) {
    EXPECT_EQ(a.interrupts[i].at, b.interrupts[i].at);
    EXPECT_EQ(a.interrupts[i].status, b.interrupts[i].status);
  }
}

}  // namespace
}  // namespace plat::sim::testing
