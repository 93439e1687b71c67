// Sample-rate changes: the rate codes and clamps, the change at its
// scheduled block, and a codec that never becomes ready.
#include <gtest/gtest.h>

#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/tests/afe_rig.h"
#include "platform/ke/kernel.h"

namespace afe::testing {
namespace {

constexpr ULONG Value(ULONG samples, ULONG hz) { return samples << 16 | hz; }

class AfeRate : public AfeRig {};

TEST_F(AfeRate, CodesAndClamps) {
  struct Case {
    ULONG samples, hz;
    USHORT stored_samples, stored_hz;
    UCHAR code;
  };
  const Case cases[] = {
      {96, 10287, 96, 10286, 6},   {96, 11025, 96, 9600, 5},       {20, 8000, 32, 8000, 1},
      {200, 16000, 138, 16000, 7}, {96, 7200, 96, 7200, 0},        {96, 8229, 96, 8229, 2},
      {96, 8400, 96, 8400, 3},     {96, 9000, 96, 9000, 4},        {96, 13714, 96, 13714, 8},
      {0, 0, 32, 9600, 5},         {0xFFFF, 10286, 138, 10286, 6},
  };
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.samples << " at " << c.hz);
      Locked(afe, [&](AfeContext& context) {
        WriteRegister(*context.State, regs::kRateCode, 0xFF);
        context.SampleRate = 0;  // so that every row programs the codec
        EXPECT_TRUE(SetSampleRate(context, Value(c.samples, c.hz)));
        EXPECT_EQ(context.SamplesPerBlock, c.stored_samples);
        EXPECT_EQ(context.SampleRate, c.stored_hz);
        EXPECT_EQ(ReadRegister(*context.State, regs::kRateCode), c.code);
      });
    }
  });
}

// Request 4 lands when the block counter reaches latency + counter - 1.
// With the deferred call late by one and a half periods, it runs after
// every second interrupt and sees only every second counter: a change
// scheduled for a counter it never sees still lands, at the first it sees
// past it, and the blocks then follow the new period.
TEST_F(AfeRate, AChangeLandsEvenWhenTwoInterruptsPrecedeOneDeferredCall) {
  struct Case {
    std::uint64_t dpc_latency_ns;
    UCHAR latency_request;  // latency = value + 1
  };
  for (const Case c : {Case{0, 3}, Case{15'000'000, 2}, Case{15'000'000, 3}}) {
    SCOPED_TRACE(::testing::Message() << "deferred call late by " << c.dpc_latency_ns
                                      << " ns, latency " << c.latency_request + 1);
    BootAfe();
    kernel().faults().dpc_latency_ns = c.dpc_latency_ns;
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      Locked(afe, [&](AfeContext& context) {
        PowerUp(context);
        SetLatency(context, c.latency_request);
      });
      ASSERT_TRUE(AwaitBlock(events_));
      const LONG scheduled = Locked(afe, [](AfeContext& context) {
        ScheduleRateChange(context, Value(48, 8000));
        return context.State->ScheduledBlock;
      });
      std::vector<LONG> seen;
      while (afe.Context->SampleRate == 9600) {
        ASSERT_TRUE(AwaitBlock(events_));
        seen.push_back(afe.Context->BlockCounter);
        ASSERT_LT(seen.size(), 20u) << "the change never landed";
      }
      ASSERT_GE(seen.back(), scheduled);
      if (seen.size() > 1) {
        EXPECT_LT(seen[seen.size() - 2], scheduled) << "not before its block";
      }
      EXPECT_EQ(afe.Context->SamplesPerBlock, 48);
      EXPECT_EQ(afe.Context->State->RateChangePending, 0);
      ASSERT_TRUE(AwaitBlock(events_));
      const std::uint64_t from = plat::ke::CurrentKernel().Now();
      ASSERT_TRUE(AwaitBlock(events_));
      if (c.dpc_latency_ns == 0) {
        EXPECT_NEAR(static_cast<double>(plat::ke::CurrentKernel().Now() - from), 6e6, 2e3)
            << "48 samples at 8000 Hz";
      }
    });
    machine().Shutdown();
  }
}

// A change of block length stops the DMA first; a codec that never becomes
// ready leaves it stopped. A change of rate alone does not touch the DMA.
TEST_F(AfeRate, ACodecNeverReadyLeavesTheDmaStopped) {
  struct Case {
    ULONG value;
    bool dma_runs_after;
  };
  for (const Case c : {Case{Value(48, 8000), false}, Case{Value(96, 8000), true}}) {
    SCOPED_TRACE(c.value >> 16);
    BootAfe();
    OnKernelThread([&] {
      AfeInterface& afe = *StartOrFail();
      Locked(afe, [](AfeContext& context) { PowerUp(context); });
      ASSERT_TRUE(AwaitBlock(events_));
      machine().controller().Knobs().never_ready = true;
      Locked(afe, [&](AfeContext& context) {
        EXPECT_FALSE(SetSampleRate(context, c.value));
        EXPECT_EQ(context.DmaRunning != 0, c.dma_runs_after);
        EXPECT_EQ((ReadRegister(*context.State, regs::kRun) & regs::kRunEngines) != 0,
                  c.dma_runs_after);
      });
      if (!c.dma_runs_after) {
        AwaitBlock(events_);  // one block may have been signalled already
        EXPECT_FALSE(AwaitBlock(events_)) << "no blocks flow";
      }
    });
    machine().Shutdown();
  }
}

}  // namespace
}  // namespace afe::testing
