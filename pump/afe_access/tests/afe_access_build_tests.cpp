#include <gtest/gtest.h>

#include <cstring>

#include "platform/ke/simulation.h"
#include "pump/afe_access/afe_access.h"
#include "pump/tests/support/test_afe_harness.h"

namespace pump::testing {
namespace {

// The build asks the front end for line monitoring, then for its record,
// under the interface lock, and nothing else.
TEST(AfeAccessBuild, RequestsLineMonitoringThenTheRecord) {
  TestAfeHarness harness;
  harness.Run([&] {
    ASSERT_NE(BuildAfeAccess(&harness.Interface()), nullptr);
    const std::vector<AfeCall>& log = harness.Afe().Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].entry, AfeEntry::kRequest);
    EXPECT_EQ(log[0].code, afe::kAfeLineMonitor);
    EXPECT_EQ(log[0].argument, 1u);
    EXPECT_EQ(log[0].size, 4u);
    EXPECT_EQ(log[1].entry, AfeEntry::kRequest);
    EXPECT_EQ(log[1].code, afe::kAfeGetInfo);
    EXPECT_EQ(log[1].size, 556u);
    for (const AfeCall& call : log) {
      EXPECT_TRUE(call.lock_held);
      EXPECT_EQ(call.irql, DISPATCH_LEVEL);
      EXPECT_EQ(call.result, afe::kAfeOk);
    }
    EXPECT_EQ(harness.Afe().line_monitor(), 1u);
  });
}

// The state keeps the front end's whole record, with what it was built from.
TEST(AfeAccessBuild, KeepsACopyOfTheRecord) {
  TestAfeHarness harness;
  harness.Run([&] {
    harness.Afe().SetControllerKind(9);
    harness.Afe().Register(64) = 0x0C;
    AfeAccess* access = BuildAfeAccess(&harness.Interface());
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->info.SoundMuteBlocks, 78u);
    EXPECT_EQ(access->info.ControllerKind, 9u);
    EXPECT_EQ(access->info.LineHighThreshold, 61);
    EXPECT_EQ(access->info.LatencyLessOne, 2);
    EXPECT_EQ(access->info.VendorId, TestAfe::kVendorId);

    afe::AfeInfo direct{};
    ULONG size = sizeof direct;
    harness.Interface().AfeRequest(harness.Interface().Context, afe::kAfeGetInfo, &direct, &size);
    EXPECT_EQ(std::memcmp(&direct, &access->info, sizeof direct), 0);
  });
}

TEST(AfeAccessBuild, StartsAt9600InBlocksOf96) {
  TestAfeHarness harness;
  harness.Run([&] {
    AfeAccess* access = BuildAfeAccess(&harness.Interface());
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->afe, &harness.Interface());
    EXPECT_EQ(access->sample_rate, 9600);
    EXPECT_EQ(access->samples_per_block, 96);
    EXPECT_EQ(access->converter.step, 39321) << "9600/8000 in Q15, rounded down";
    EXPECT_EQ(access->converter.phase, 0);
    EXPECT_EQ(access->converter.start_index, 0);
    EXPECT_EQ(access->last_status, 0);
    EXPECT_EQ(access->line_on, 0);
    EXPECT_EQ(access->sound_start_count, 0);
    EXPECT_EQ(access->hook, 0u);
    EXPECT_EQ(access->sound_level, 0u);
  });
}

TEST(AfeAccessBuild, NullInterfaceGivesNull) {
  plat::Simulation simulation;
  plat::ke::Kernel& machine = simulation.AddMachine("modem");
  simulation.RunUserThread(machine, "pump", [] { EXPECT_EQ(BuildAfeAccess(nullptr), nullptr); });
}

// Each machine has its own state; building again on a machine reuses it.
TEST(AfeAccessBuild, OneStatePerMachine) {
  plat::Simulation simulation;
  plat::ke::Kernel& a = simulation.AddMachine("A");
  plat::ke::Kernel& b = simulation.AddMachine("B");
  afe::AfeEventBlock events{};
  afe::AfeInterface* interfaces[2] = {};
  AfeAccess* states[3] = {};
  std::unique_ptr<TestAfe> fronts[2];
  const auto build = [&](plat::ke::Kernel& machine, int front, int state) {
    simulation.RunUserThread(machine, "pump", [&] {
      if (fronts[front] == nullptr) fronts[front] = std::make_unique<TestAfe>(&events);
      interfaces[front] = &fronts[front]->Interface();
      states[state] = BuildAfeAccess(interfaces[front]);
    });
  };
  build(a, 0, 0);
  build(b, 1, 1);
  build(a, 0, 2);
  ASSERT_NE(states[0], nullptr);
  ASSERT_NE(states[1], nullptr);
  EXPECT_NE(states[0], states[1]);
  EXPECT_EQ(states[0], states[2]);
  EXPECT_EQ(states[0]->afe, interfaces[0]);
  EXPECT_EQ(states[1]->afe, interfaces[1]);
  fronts[0].reset();
  fronts[1].reset();
}

}  // namespace
}  // namespace pump::testing
