#include <gtest/gtest.h>

#include <vector>

#include "pump/core/comram.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

constexpr std::uint8_t kReset = 0x60;
constexpr std::uint8_t kModeQuery = 0x72;

TEST(BlockTick, NothingRunsBeforeTheFirstSuccessfulReset) {
  PumpHarness harness;
  harness.Run([&] {
    harness.Afe().ClearLog();
    harness.RunBlocks(20);
    EXPECT_TRUE(harness.Afe().Log().empty()) << "no line monitor, no sample I/O";

    harness.Controller().Post(kReset, {0});
    harness.Afe().ClearLog();
    harness.RunBlocks(1);
    const auto& log = harness.Afe().Log();
    const auto has = [&](testing::AfeEntry entry) {
      return std::any_of(log.begin(), log.end(),
                         [entry](const testing::AfeCall& c) { return c.entry == entry; });
    };
    EXPECT_TRUE(has(testing::AfeEntry::kReadBlock));
    EXPECT_TRUE(has(testing::AfeEntry::kWriteBlock));
  });
}

// The dial machine as the test plays it: three ticks of dialling, then the
// sequence ends inside the fourth tick.
void EndDialling(DspContext& context) { context.dialling = 0; }
constexpr StateEntry<DspContext> kDialEntries[] = {{nullptr, 3, "dialling"},
                                                   {EndDialling, -1, "dialEnd"}};

TEST(BlockTick, APacketHeldWhileDiallingIsDispatchedOnTheTickTheSequenceEnds) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(kReset, {0});
    controller.TakePackets();
    // Off hook, as the controller dials: the line monitor leaves the modem alone.
    harness.Host().comram.reg[kRegLineLevelA] &= static_cast<std::uint8_t>(~kLineHookRelay);
    harness.RunBlocks(2);
    DspContext& context = harness.Context();
    context.dialling = 1;
    SetStateMachine(context.tx, StateOp::kGo, StateTable<DspContext>(kDialEntries));

    EXPECT_TRUE(controller.Exchange(kModeQuery).empty());
    EXPECT_EQ(harness.Host().comram.reg[kRegCpPacket], kModeQuery) << "still in register 64";
    harness.RunBlocks(3);
    EXPECT_TRUE(controller.TakePackets().empty());
    harness.RunBlocks(1);
    EXPECT_EQ(controller.TakePackets(), (std::vector<ReceivedPacket>{{kDpMode, 1, {0}}}));
    EXPECT_EQ(harness.Host().comram.reg[kRegCpPacket], 0);
  });
}

TEST(BlockTick, AResetIsTakenAtOnceWhileDialling) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(kReset, {0});
    harness.Context().dialling = 1;
    EXPECT_EQ(controller.Exchange(kReset, {0}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {kReset}}}));
    EXPECT_EQ(harness.Context().dialling, 0u);
  });
}

}  // namespace
}  // namespace pump
