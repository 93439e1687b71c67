// The block rings against the codec's digital loopback: a fake data pump
// answers every received block with seeded random samples, and what it
// sent comes back bit-identical at the lag the ring rules give.
#include <gtest/gtest.h>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/tests/afe_rig.h"
#include "afe/windows/tests/fake_pump.h"
#include "platform/ke/kernel.h"

namespace afe::testing {
namespace {

class AfeRing : public AfeRig {
 protected:
  // Starts and powers up at `samples` per block and `hz`, then turns the
  // codec's digital loopback on (a rate change turns it off).
  AfeInterface& PowerUpLooped(USHORT samples, USHORT hz) {
    AfeInterface& afe = *StartOrFail();
    afe.Context->SamplesPerBlock = samples;
    afe.Context->SampleRate = hz;
    Locked(afe, [](AfeContext& context) {
      PowerUp(context);
      SetRegisterBits(*context.State, regs::kDigitalPaths, regs::kDigitalLoopback);
    });
    return afe;
  }
};

// The data pump's answer to input block k plays as output block k + 3, so
// with a loopback of d samples it comes back 3 blocks and d samples later.
TEST_F(AfeRing, LoopbackReturnsTheBlocksAtThreeBlocksPlusTheLoopDelay) {
  struct Case {
    USHORT samples;
    USHORT hz;
    unsigned delay;
  };
  for (const Case c : {Case{96, 9600, 2}, Case{96, 9600, 0}, Case{48, 8000, 37},
                       Case{138, 16000, 2}, Case{32, 7200, 200}}) {
    SCOPED_TRACE(::testing::Message() << c.samples << " at " << c.hz << ", loop " << c.delay);
    plat::MachineConfig config;
    config.controller.loopback.delay = c.delay;
    BootAfe(config);
    OnKernelThread([&] {
      AfeInterface& afe = PowerUpLooped(c.samples, c.hz);
      FakePump pump(afe, events_, 1234 + c.delay);
      pump.Run(40);
      const long expected = 3L * c.samples + c.delay;
      EXPECT_EQ(
          FindLag(pump.Sent(), pump.Received(), expected + c.samples, 0, expected + 4L * c.samples),
          expected);
      EXPECT_FALSE(profile_flags_ & kProfileBlocksQueued) << "a pump that keeps pace";
    });
    machine().Shutdown();
  }
}

// Request 38 moves the lag: a lower latency is taken back by the interrupt
// (the transmit position steps back), a higher one padded by the data pump.
TEST_F(AfeRing, LatencyTable) {
  constexpr USHORT kSamples = 96;
  constexpr unsigned kDelay = 2;
  for (const int latency : {2, 3, 4, 5, 6}) {
    SCOPED_TRACE(latency);
    plat::MachineConfig config;
    config.controller.loopback.delay = kDelay;
    BootAfe(config);
    OnKernelThread([&] {
      AfeInterface& afe = PowerUpLooped(kSamples, 9600);
      FakePump pump(afe, events_, 99);
      pump.Run(60, [&](int block) {
        if (block == 20) pump.SetLatency(latency);
      });
      EXPECT_EQ(afe.Context->Latency, latency);
      EXPECT_EQ(afe.Context->LatencyAdjustment, 0);
      const long expected = latency * kSamples + kDelay;
      EXPECT_EQ(FindLag(pump.Sent(), pump.Received(), 40 * kSamples, 0, 10 * kSamples), expected);
    });
    machine().Shutdown();
  }
}

// A data pump that stalls for more than 16 blocks: the interrupt keeps the
// balance within the ring (16 blocks at a time), and once the pump is back
// its answers come back unbroken at the old lag.
TEST_F(AfeRing, APumpFallingMoreThanSixteenBlocksBehind) {
  constexpr USHORT kSamples = 96;
  plat::MachineConfig config;
  config.controller.loopback.delay = 0;
  BootAfe(config);
  OnKernelThread([&] {
    AfeInterface& afe = PowerUpLooped(kSamples, 9600);
    AfeContext& context = *afe.Context;
    FakePump pump(afe, events_, 7);
    pump.Run(80, [&](int block) {
      if (block != 20) return;
      for (int stalled = 0; stalled < 20; ++stalled) {
        ASSERT_TRUE(AwaitBlock(events_));
        EXPECT_LE(context.Latency + context.BlockBalance, kRingSlots) << "after " << stalled;
      }
      EXPECT_TRUE(profile_flags_ & kProfileBlocksQueued);
    });
    // The receive ring lapped once (16 input blocks lost) and the transmit
    // side skipped 16 periods: answers meet their inputs at 3 blocks again.
    EXPECT_EQ(FindLag(pump.Sent(), pump.Received(), 60 * kSamples, 0, 40 * kSamples), 3 * kSamples);
  });
}

}  // namespace
}  // namespace afe::testing
