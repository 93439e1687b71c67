// After the driver's controller initialisation, the register conditions of
// self tests 2, 3, 6 and 7 hold on a healthy controller; each fault knob
// breaks its own row with the result the self test reports.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "platform/sim/tests/driver_steps.h"

namespace plat::sim::testing {
namespace {

struct Check {
  std::uint32_t r;
  std::uint8_t mask;
  bool must_be_set;  // else every masked bit must be clear
  int result;
};

// Self tests 2, 3, 6 and 7 as register checks, in the order they run; the
// first failing check gives the test's result.
struct SelfTestRow {
  int test;
  std::vector<Check> checks;
};

const SelfTestRow kRows[] = {
    {2, {{0, 0x01, false, -2}, {6, 0x80, false, -5}}},
    {3,
     {{0, 0x02, false, -15},
      {0, 0x40, false, -16},
      {0, 0x80, false, -17},
      {1, 0x01, false, -18},
      {1, 0x02, false, -19},
      {1, 0x18, false, -20},
      {2, 0xF9, false, -21},
      {3, 0xFF, false, -21},
      {4, 0xF0, false, -22},
      {5, 0x01, false, -23}}},
    {6, {{60, 0x40, true, -1}, {61, 0x3C, true, -4}}},
    {7,
     {{60, 0x40, true, -1},
      {49, 0x80, false, -15},
      {49, 0x02, false, -14},
      {50, 0x08, false, -14},
      {50, 0x02, true, -17},
      {50, 0x01, true, -18},
      {54, 0x10, false, -19},
      {54, 0x08, false, -20},
      {63, 0x80, false, -12},
      {63, 0x08, false, -11}}},
};

int RunRow(SimRig& rig, const SelfTestRow& row) {
  for (const Check& check : row.checks) {
    const std::uint8_t bits = rig.Read(check.r) & check.mask;
    const bool passes = check.must_be_set ? bits != 0 : bits == 0;
    if (!passes) return check.result;
  }
  return 0;
}

std::map<int, int> RunAll(SimRig& rig) {
  std::map<int, int> results;
  for (const SelfTestRow& row : kRows) results[row.test] = RunRow(rig, row);
  return results;
}

TEST(SimSelfTestConditions, HealthyControllerPassesAfterInitialisation) {
  SimRig rig;
  AfeInitSteps(rig);
  for (auto [test, result] : RunAll(rig)) EXPECT_EQ(result, 0) << "self test " << test;
}

TEST(SimSelfTestConditions, HoldAfterALoopbackTransferAndRestore) {
  SimRig rig;
  AfeInitSteps(rig);
  const std::uint8_t saved0 = rig.Read(0);
  const Ring ring = AllocateRing(rig, 96);
  ASSERT_TRUE(LoopbackTransfer(rig, ring, std::vector<std::int16_t>(192, 1000)));
  rig.Write(0, saved0);
  rig.Clear(reg::kDigitalPaths, reg::kDigitalLoopback);
  FreeRing(rig, ring);
  AfeInitSteps(rig);
  for (auto [test, result] : RunAll(rig)) EXPECT_EQ(result, 0) << "self test " << test;
}

struct KnobRow {
  const char* name;
  std::function<void(SimRig&)> apply;  // before initialisation
  int test;
  int result;
};

void Force(SimRig& rig, std::uint32_t r, std::uint8_t ones, std::uint8_t zeros = 0) {
  rig.controller.Knobs().ForceByte(r, ones, zeros);
}

TEST(SimSelfTestConditions, EachKnobBreaksItsRow) {
  const KnobRow rows[] = {
      {"DMA error latch forced", [](SimRig& r) { Force(r, 0, 0x01); }, 2, -2},
      {"busy stuck", [](SimRig& r) { r.controller.Knobs().busy_stuck = true; }, 2, -5},
      {"register 0 bit 6", [](SimRig& r) { Force(r, 0, 0x40); }, 3, -16},
      {"register 1 bit 3", [](SimRig& r) { Force(r, 1, 0x08); }, 3, -20},
      {"register 2 bit 0", [](SimRig& r) { Force(r, 2, 0x01); }, 3, -21},
      {"register 3", [](SimRig& r) { Force(r, 3, 0x80); }, 3, -21},
      {"register 4 high nibble", [](SimRig& r) { Force(r, 4, 0x10); }, 3, -22},
      {"register 5 bit 0", [](SimRig& r) { Force(r, 5, 0x01); }, 3, -23},
      {"never ready", [](SimRig& r) { r.controller.Knobs().never_ready = true; }, 6, -1},
      {"register 61 bits 2-5", [](SimRig& r) { Force(r, 61, 0, 0x3C); }, 6, -4},
      {"register 49 bit 7", [](SimRig& r) { Force(r, 49, 0x80); }, 7, -15},
      {"register 50 bit 0", [](SimRig& r) { Force(r, 50, 0, 0x01); }, 7, -18},
      {"register 54 bit 3", [](SimRig& r) { Force(r, 54, 0x08); }, 7, -20},
      {"register 63 bit 3", [](SimRig& r) { Force(r, 63, 0x08); }, 7, -11},
  };
  for (const KnobRow& row : rows) {
    SimRig rig;
    row.apply(rig);
    AfeInitSteps(rig);
    for (auto [test, result] : RunAll(rig)) {
      if (test == row.test) {
        EXPECT_EQ(result, row.result) << row.name;
      } else if (test < row.test) {
        EXPECT_EQ(result, 0) << row.name << " breaks self test " << test << " too";
      }
    }
  }
}

TEST(SimSelfTestConditions, ARealMasterAbortFailsTest2) {
  SimRig rig;
  rig.controller.Knobs().master_abort_expected = true;
  rig.Write32(24, 0x100);
  rig.Write32(28, 0x200);
  rig.Set(reg::kDmaControl, reg::kDmaRewind);
  rig.Clear(reg::kDmaControl, reg::kDmaRewind);
  rig.Set(reg::kRun, reg::kRunEngines);
  rig.Stall(hal::kMillisecond);
  AfeInitSteps(rig);
  EXPECT_EQ(RunRow(rig, kRows[0]), -2);
}

}  // namespace
}  // namespace plat::sim::testing
