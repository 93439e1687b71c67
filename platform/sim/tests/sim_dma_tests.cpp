// The DMA engines driven as the front-end driver drives them: a test ISR
// that follows the driver's interrupt service steps sees both period bits at
// every boundary, finds the engines at the start of the new period, and
// keeps both directions in step across wraps; word formats; master abort.
#include <gtest/gtest.h>

#include "platform/sim/tests/driver_steps.h"

namespace plat::sim::testing {
namespace {

struct DmaCase {
  std::uint8_t rate_code;
  std::uint64_t numerator, denominator;
  std::uint32_t samples;
};

class SimDma : public ::testing::TestWithParam<DmaCase> {};

TEST_P(SimDma, BothBitsAtEveryBoundaryAndTheEnginesAtTheNewPeriod) {
  const DmaCase c = GetParam();
  SimRig rig;
  rig.Write(reg::kRateCode, c.rate_code);
  rig.Stall(100 * hal::kMicrosecond);
  const Ring ring = AllocateRing(rig, c.samples);
  DriverIsr isr{&rig, &ring};
  rig.isr = std::ref(isr);
  StartDma(rig, ring);
  const Instant started = rig.now;
  const std::size_t first_tick = rig.tap.size();

  const int boundaries = 70;  // more than two trips round the ring
  const Instant period_ns = c.samples * c.denominator * hal::kSecond / c.numerator;
  rig.RunUntil(started + boundaries * period_ns + period_ns / 2);

  ASSERT_EQ(isr.records.size(), static_cast<std::size_t>(boundaries));
  for (int b = 0; b < boundaries; ++b) {
    const IsrRecord& r = isr.records[b];
    // Boundary b + 1 falls at the access of the period's last word.
    const Instant expected = rig.tap[first_tick + (b + 1) * c.samples - 1].at;
    EXPECT_EQ(r.at, expected) << "boundary " << b;
    // The wrap bits join at the first wrap; the driver never clears them.
    const std::uint8_t wrapped = b + 1 >= static_cast<int>(kPeriods) ? 0x09 : 0x00;
    EXPECT_EQ(r.status, 0x06 | wrapped) << "boundary " << b;
    EXPECT_EQ(r.tx_period, static_cast<std::uint32_t>((b + 1) % kPeriods)) << "boundary " << b;
    EXPECT_TRUE(r.handled);
  }
  EXPECT_EQ(rig.isr_unhandled, 0);
  EXPECT_FALSE(rig.level);
  EXPECT_EQ(rig.unannounced_assertions, 0);
  rig.Clear(reg::kRun, reg::kRunEngines);
  FreeRing(rig, ring);
}

INSTANTIATE_TEST_SUITE_P(RatesAndBlocks, SimDma,
                         ::testing::Values(DmaCase{5, 9600, 1, 96}, DmaCase{0, 7200, 1, 72},
                                           DmaCase{2, 57600, 7, 82}, DmaCase{6, 72000, 7, 103},
                                           DmaCase{8, 96000, 7, 138}, DmaCase{7, 16000, 1, 32}),
                         [](const ::testing::TestParamInfo<DmaCase>& info) {
                           return "code" + std::to_string(info.param.rate_code) + "_" +
                                  std::to_string(info.param.samples) + "samples";
                         });

TEST(SimDmaFormats, TransmitPlaysLowHalvesAndReceiveStoresSignExtendedSamples) {
  SimRig rig;
  const std::int16_t inputs[] = {0, 1, -1, 32767, -32768, 12345, -12345, 7};
  rig.line.input = [&inputs, n = 0](Instant) mutable { return inputs[n++ % 8]; };
  rig.Write(reg::kRateCode, 5);
  rig.Write(reg::kHook, reg::kOffHook);
  rig.Stall(100 * hal::kMicrosecond);
  const Ring ring = AllocateRing(rig, 96);
  for (std::uint32_t i = 0; i < 32 * 96; ++i) {
    SetWord(ring.transmit, i, 0xABCD'0000u | static_cast<std::uint16_t>(i * 977));
  }
  rig.line.ClearOutput();
  const std::size_t first = rig.tap.size();
  StartDma(rig, ring);
  rig.Write(reg::kInterruptEnable, 0);
  rig.Stall(20 * hal::kMillisecond);
  rig.Clear(reg::kRun, reg::kRunEngines);

  const std::size_t moved = rig.tap.size() - first;
  ASSERT_GE(moved, 150u);
  for (std::uint32_t i = 0; i < moved; ++i) {
    EXPECT_EQ(rig.tap[first + i].dac, static_cast<std::int16_t>(i * 977)) << i;
    const std::int16_t heard = inputs[(first + i) % 8];
    EXPECT_EQ(Word(ring.receive, i), static_cast<std::uint32_t>(std::int32_t{heard})) << i;
  }
  EXPECT_EQ(Word(ring.receive, static_cast<std::uint32_t>(moved)), 0u);
  FreeRing(rig, ring);
}

TEST(SimDmaFormats, RewindPulseMovesBothCurrentAddressesToTheirBases) {
  SimRig rig;
  rig.Write32(8, 0x1000);
  rig.Write32(20, 0x1234);
  rig.Write32(24, 0x2000);
  rig.Write32(36, 0x2468);
  rig.Write(reg::kDmaControl, reg::kDmaRewind);
  EXPECT_EQ(rig.Read32(20), 0x1000u);
  EXPECT_EQ(rig.Read32(36), 0x2000u);
  rig.Write32(20, 0x1234);
  rig.Write(reg::kDmaControl, reg::kDmaRewind);  // no rising edge: nothing moves
  EXPECT_EQ(rig.Read32(20), 0x1234u);
}

TEST(SimDmaFaults, MasterAbortStopsTheEnginesAndLatchesTheError) {
  SimRig rig;
  rig.controller.Knobs().master_abort_expected = true;
  const Ring ring = AllocateRing(rig, 96);
  DriverIsr isr{&rig, &ring};
  rig.isr = std::ref(isr);
  StartDma(rig, ring);
  // The receive ring ends beyond its buffer: the engine runs off its end.
  rig.Write32(12, ring.receive.bus_address + 0x8000);
  rig.Write32(16, ring.receive.bus_address + 0x7FF0);
  rig.Stall(hal::kSecond);
  EXPECT_EQ(rig.controller.MasterAborts(), 1u);
  EXPECT_EQ(rig.Read(reg::kDmaControl) & reg::kDmaErrorLatch, reg::kDmaErrorLatch);
  EXPECT_EQ(rig.Read(reg::kRun) & reg::kRunEngines, 0);
  const std::uint32_t stopped_at = rig.Read32(20);
  EXPECT_EQ(stopped_at, ring.receive.bus_address + 0x4500) << "the first word outside";
  rig.Stall(hal::kMillisecond);
  EXPECT_EQ(rig.Read32(20), stopped_at);
  FreeRing(rig, ring);
}

TEST(SimDmaFaults, ReceiveSkewMakesThePeriodsDiffer) {
  SimRig rig;
  rig.controller.Knobs().receive_skew = 10;
  rig.Write(reg::kRateCode, 5);
  rig.Stall(100 * hal::kMicrosecond);
  const Ring ring = AllocateRing(rig, 96);
  DriverIsr isr{&rig, &ring};
  rig.isr = std::ref(isr);
  StartDma(rig, ring);
  rig.Stall(100 * hal::kMillisecond);
  ASSERT_GE(isr.records.size(), 18u);
  for (std::size_t i = 0; i < isr.records.size(); ++i) {
    const IsrRecord& r = isr.records[i];
    // The transmit boundary comes alone and is not handled; the receive one
    // 10 samples later brings the periods together again.
    EXPECT_EQ(r.status, i % 2 == 0 ? reg::kTxPeriod : reg::kRxPeriod);
    EXPECT_EQ(r.handled, i % 2 == 1);
  }
  EXPECT_NEAR(static_cast<double>(isr.records[1].at - isr.records[0].at), 1e10 / 9600, 1.0);
  FreeRing(rig, ring);
}

TEST(SimDmaFaults, StalledEnginesStopInterruptsAndKeepTheirAddresses) {
  SimRig rig;
  const Ring ring = AllocateRing(rig, 96);
  DriverIsr isr{&rig, &ring};
  rig.isr = std::ref(isr);
  StartDma(rig, ring);
  rig.Stall(50 * hal::kMillisecond);
  const std::size_t before = isr.records.size();
  rig.controller.StallEngines(rig.now, true);
  const std::uint32_t tx = rig.Read32(36);
  rig.Stall(100 * hal::kMillisecond);
  EXPECT_EQ(isr.records.size(), before);
  EXPECT_EQ(rig.Read32(36), tx);
  rig.controller.StallEngines(rig.now, false);
  rig.Stall(100 * hal::kMillisecond);
  EXPECT_GT(isr.records.size(), before);
  FreeRing(rig, ring);
}

TEST(SimDmaFaults, SpuriousStatusAndStorm) {
  SimRig rig;
  rig.Write(reg::kInterruptEnable, 6);
  std::vector<Instant> calls;
  rig.isr = [&] {
    calls.push_back(rig.now);
    const std::uint8_t status = rig.Read(reg::kStatus);
    rig.Write(reg::kStatus, status);
    return status != 0;
  };
  rig.controller.InjectStatus(3 * hal::kMillisecond, reg::kRxPeriod);
  rig.controller.InjectStatus(5 * hal::kMillisecond, reg::kTxWrapped);  // not an interrupt bit
  rig.Stall(10 * hal::kMillisecond);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], 3 * hal::kMillisecond);

  rig.controller.SetInterruptStorm(rig.now, true);
  rig.Stall(hal::kMillisecond);
  EXPECT_TRUE(rig.level) << "the line stays asserted whatever the ISR clears";
  EXPECT_EQ(calls.size(), 1u + 1000u);
  rig.controller.SetInterruptStorm(rig.now, false);
  EXPECT_FALSE(rig.level);
}

}  // namespace
}  // namespace plat::sim::testing
