// The block counter wraps past 2^31 with defined behaviour, and a rate
// change scheduled across the wrap still lands at its block.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "afe/windows/afe_operations.h"
#include "afe/windows/tests/afe_rig.h"

namespace afe::testing {
namespace {

class BlockCounterWrap : public AfeRig {};

TEST_F(BlockCounterWrap, ARateChangeScheduledAcrossTheWrapLandsAtItsBlock) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    constexpr LONG kMax = std::numeric_limits<LONG>::max();
    constexpr LONG kMin = std::numeric_limits<LONG>::min();
    const LONG scheduled = Locked(afe, [](AfeContext& context) {
      PowerUp(context);
      context.BlockCounter = kMax - 1;
      ScheduleRateChange(context, 48u << 16 | 8000);
      return context.State->ScheduledBlock;
    });
    EXPECT_EQ(scheduled, kMin) << "latency 3: two blocks past the largest counter but one";
    std::vector<LONG> seen;
    while (afe.Context->SampleRate == 9600) {
      ASSERT_TRUE(AwaitBlock(events_));
      seen.push_back(afe.Context->BlockCounter);
      ASSERT_LT(seen.size(), 8u) << "the change never landed";
    }
    EXPECT_EQ(seen.back(), kMin) << "at its block, once the counter wrapped";
    EXPECT_EQ(afe.Context->SamplesPerBlock, 48);
  });
  machine().Shutdown();
}

}  // namespace
}  // namespace afe::testing
