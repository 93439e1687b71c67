// The HAL calls on real simulated machines: a driver's start sequence on a
// system thread, its ISR and DPC at the codec's exact instants, the stop
// releasing everything; several machines side by side; reproducibility.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/hal/tests/front_end.h"
#include "platform/ke/tests/ke_test_util.h"

namespace plat::hal {
namespace {

namespace reg = sim::reg;
using testing::FrontEnd;
using testing::MachineRig;
using testing::Tick9600;
using testing::WaitMode;

constexpr std::size_t kBlocks = 40;  // more than the 32 periods of the ring

// The codec tick at which the engines take their first word: the first after
// the run bit was set.
std::uint64_t FirstEngineTick(const FrontEnd& fe) {
  const Instant origin = fe.rate_set_at + testing::kRateSettle;
  std::uint64_t k = 0;
  while (Tick9600(origin, k) <= fe.run_at) ++k;
  return k;
}

// Period n ends with the engines' (96 n)-th word: both status bits rise at that tick.
std::vector<Instant> PeriodEnds(const FrontEnd& fe, std::size_t count) {
  const Instant origin = fe.rate_set_at + testing::kRateSettle;
  const std::uint64_t first = FirstEngineTick(fe);
  std::vector<Instant> ends;
  for (std::uint64_t n = 1; n <= count; ++n) {
    ends.push_back(Tick9600(origin, first + testing::kSamplesPerBlock * n - 1));
  }
  return ends;
}

TEST(HalMachine, DriverStartFindsClaimsAndMapsTheController) {
  MachineRig rig;
  FrontEnd fe;
  rig.OnSystemThread([&] {
    ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
    testing::StopFrontEnd(fe);
  });
  EXPECT_EQ(fe.probed_address, testing::kConfigEnable | 9u << 11);
  EXPECT_EQ(fe.bus, 0u);
  EXPECT_EQ(fe.slot, 9u);
  EXPECT_EQ(fe.port_length, 64u);
  EXPECT_FALSE(fe.port_in_memory);
  EXPECT_EQ(fe.window_length, 4096u);
  EXPECT_EQ(fe.window.QuadPart % 4096, 0);
  EXPECT_EQ(fe.vector, 0x3Bu);
  EXPECT_EQ(fe.irql, 16);
  EXPECT_EQ(fe.affinity, 1u);
  EXPECT_FALSE(fe.latched);
  EXPECT_TRUE(fe.shared);
  EXPECT_EQ(fe.map_registers, 0x4500u / 4096 + 1);
  // The machine's DMA window hands out the lowest free pages first.
  EXPECT_EQ(fe.transmit.logical.QuadPart, 0x0100'0000);
  EXPECT_EQ(fe.receive.logical.QuadPart, 0x0100'5000);
  EXPECT_EQ(rig.kernel.pool().LiveByTag(ex::PoolTag("Hal ")).blocks, 0u);
  rig.kernel.Shutdown();
}

// The ISR runs at the tick that ends each period, whether the driver's
// thread blocks or stalls meanwhile; the DAC plays the transmit ring from
// the first engine tick on.
TEST(HalMachine, PeriodInterruptsAtTheCodecInstants) {
  for (WaitMode mode : {WaitMode::kEvent, WaitMode::kStall}) {
    SCOPED_TRACE(mode == WaitMode::kEvent ? "blocking wait" : "stalling poll");
    MachineRig rig;
    FrontEnd fe;
    rig.OnSystemThread([&] {
      ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
      testing::WaitForBlocks(fe, kBlocks, mode);
      testing::StopFrontEnd(fe);
    });
    const std::vector<Instant> ends = PeriodEnds(fe, kBlocks);
    EXPECT_EQ(fe.isr_at, ends);
    EXPECT_EQ(fe.unhandled, 0);
    // A stalling thread keeps its CPU: its DPCs wait, so only the blocking case sees them.
    if (mode == WaitMode::kEvent) {
      EXPECT_EQ(fe.dpc_at, ends);
    }

    const Instant origin = fe.rate_set_at + testing::kRateSettle;
    const std::uint64_t first = FirstEngineTick(fe);
    const auto& output = rig.LineOutput();
    std::size_t at = 0;
    while (at < output.size() && output[at].at != Tick9600(origin, first)) ++at;
    ASSERT_GE(output.size(), at + kBlocks * testing::kSamplesPerBlock);
    for (std::size_t j = 0; j < kBlocks * testing::kSamplesPerBlock; ++j) {
      ASSERT_EQ(output[at + j].at, Tick9600(origin, first + j)) << j;
      ASSERT_EQ(output[at + j].sample, static_cast<std::int16_t>(j % testing::kRingWords + 1)) << j;
    }
    // Stopped engines leave nothing on the timeline, and nothing behind.
    EXPECT_TRUE(rig.sim.timeline().Empty());
    rig.kernel.Shutdown();
  }
}

// A register write that asserts the line lets the ISR run before the
// driver's next statement, even at PASSIVE_LEVEL without a switch point.
TEST(HalMachine, AnAccessThatAssertsTheLineIsInterruptedAtOnce) {
  MachineRig rig;
  FrontEnd fe;
  std::vector<std::string> order;
  rig.OnSystemThread([&] {
    ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
    KeSynchronizeExecution(fe.interrupt, testing::StopDmaSynchronized, &fe);
    rig.installed.controller().InjectStatus(rig.kernel.Now(), reg::kTxPeriod | reg::kRxPeriod);
    const std::size_t before = fe.isr_at.size();
    fe.Write(reg::kInterruptEnable, reg::kPeriodBits);
    order.push_back("ISR ran " + std::to_string(fe.isr_at.size() - before) + " time(s)");
    fe.Write(reg::kInterruptEnable, 0);
    testing::StopFrontEnd(fe);
  });
  EXPECT_EQ(order, std::vector<std::string>{"ISR ran 1 time(s)"});
  rig.kernel.Shutdown();
}

// Two machines on one timeline: each has its own bus, DMA window, mappings
// and interrupt line; each ISR sees its own controller's instants.
TEST(HalMachine, MachinesKeepTheirOwnHardware) {
  Simulation simulation;
  ke::Kernel& a = simulation.AddMachine("A");
  ke::Kernel& b = simulation.AddMachine("B");
  sim::StubLine line_a, line_b;
  sim::InstallController(a, {.line = &line_a});
  sim::InstallController(b, {.line = &line_b});
  FrontEnd fe_a, fe_b;
  std::size_t done = 0;
  auto driver = [&done](FrontEnd& fe, std::uint64_t delay) {
    return [&fe, &done, delay] {
      ke::testing::SleepNs(delay);
      ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
      testing::WaitForBlocks(fe, 5, WaitMode::kEvent);
      testing::StopFrontEnd(fe);
      ++done;
    };
  };
  std::function<void()> driver_a = driver(fe_a, 0), driver_b = driver(fe_b, 1'234'567);
  testing::StartSystemThread(a, driver_a);
  testing::StartSystemThread(b, driver_b);
  ASSERT_TRUE(simulation.RunUntil([&] { return done == 2; }));
  EXPECT_EQ(fe_a.isr_at, PeriodEnds(fe_a, 5));
  EXPECT_EQ(fe_b.isr_at, PeriodEnds(fe_b, 5));
  EXPECT_NE(fe_a.isr_at, fe_b.isr_at);
  EXPECT_EQ(fe_a.transmit.logical.QuadPart, fe_b.transmit.logical.QuadPart);
  EXPECT_EQ(fe_a.window.QuadPart, fe_b.window.QuadPart);
  EXPECT_NE(fe_a.registers, fe_b.registers);
  a.Shutdown();
  b.Shutdown();
}

// The same start, run twice: the same trace, instants and line samples.
TEST(HalMachine, RunsAreReproducible) {
  struct Outcome {
    std::vector<std::string> trace;
    std::vector<Instant> isr_at;
    std::vector<sim::StubLine::OutputSample> output;
  };
  auto run = [] {
    MachineRig rig({.trace = true});
    FrontEnd fe;
    rig.OnSystemThread([&] {
      ASSERT_EQ(testing::StartFrontEnd(fe), STATUS_SUCCESS);
      testing::WaitForBlocks(fe, 3, WaitMode::kEvent);
      testing::StopFrontEnd(fe);
    });
    return Outcome{rig.sim.Trace(), fe.isr_at, rig.LineOutput()};
  };
  const Outcome first = run();
  const Outcome second = run();
  EXPECT_EQ(first.trace, second.trace);
  EXPECT_EQ(first.isr_at, second.isr_at);
  EXPECT_EQ(first.output, second.output);
  EXPECT_FALSE(first.trace.empty());
}

}  // namespace
}  // namespace plat::hal
