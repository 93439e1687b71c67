// The two self-test logs: the power-on log keeps the first 10 records and
// takes no more; the request log keeps the newest 30, oldest first. On the
// front end, a power-up empties the power-on log and fills it with its own
// run, and requested runs add to the request log.
#include <gtest/gtest.h>

#include <vector>

#include "afe/windows/tests/self_test_rig.h"

namespace afe::testing {
namespace {

SelfTestRecord Numbered(ULONG n) { return {SelfTestKind::kPassed, n, 1 + n % 9, 0}; }

std::vector<ULONG> Numbers(const SelfTestLog& log) {
  std::vector<ULONG> numbers;
  for (ULONG i = 0; i < log.size(); ++i) numbers.push_back(log[i].Detail);
  return numbers;
}

std::vector<ULONG> Range(ULONG first, ULONG last) {
  std::vector<ULONG> numbers;
  for (ULONG n = first; n <= last; ++n) numbers.push_back(n);
  return numbers;
}

TEST(SelfTestLog, ThePowerOnLogStopsAtTen) {
  SelfTestLog log(kPowerOnLogRecords, SelfTestLog::WhenFull::kStops);
  for (ULONG n = 1; n <= 9; ++n) log.Append(Numbered(n));
  EXPECT_EQ(Numbers(log), Range(1, 9));
  for (ULONG n = 10; n <= 25; ++n) log.Append(Numbered(n));
  EXPECT_EQ(Numbers(log), Range(1, 10));
  log.Reset();
  log.Append(Numbered(40));
  EXPECT_EQ(Numbers(log), Range(40, 40));
}

TEST(SelfTestLog, TheRequestLogKeepsTheNewestThirty) {
  SelfTestLog log(kRequestLogRecords, SelfTestLog::WhenFull::kDropsOldest);
  for (ULONG n = 1; n <= 30; ++n) log.Append(Numbered(n));
  EXPECT_EQ(Numbers(log), Range(1, 30));
  log.Append(Numbered(31));
  EXPECT_EQ(Numbers(log), Range(2, 31));
  for (ULONG n = 32; n <= 95; ++n) log.Append(Numbered(n));
  EXPECT_EQ(Numbers(log), Range(66, 95));
  EXPECT_EQ(log[29], Numbered(95));
}

class SelfTestLogs : public SelfTestRig {};

// Five requested runs of seven tests each: the request log holds the last
// 30 records, the oldest five dropped; the power-on log keeps the records
// of the last power-up, which the runs' own power-ups did not touch.
TEST_F(SelfTestLogs, RequestedRunsFillTheRequestLog) {
  BootAfe();
  OnKernelThread([&] {
    AfeInterface& afe = *StartOrFail();
    RequestPowerState(afe, 0);
    const auto power_on = Records(PowerOnLog(afe));
    ASSERT_EQ(power_on.size(), 7u);
    // The last run's loop has gain 0.5: its failed test 9 ends the log.
    for (int run = 0; run < 5; ++run) {
      machine().controller().Knobs().loopback.gain = run == 4 ? 0.5 : 1.0;
      RunSelfTests(afe, kPowerOnSelfTests);
    }
    const auto records = Records(RequestLog(afe));
    ASSERT_EQ(records.size(), kRequestLogRecords);
    std::vector<ULONG> expected_tests;
    for (int run = 0; run < 5; ++run) {
      for (const ULONG test : {1, 2, 3, 4, 6, 7, 9}) expected_tests.push_back(test);
    }
    expected_tests.erase(expected_tests.begin(), expected_tests.begin() + 5);
    EXPECT_EQ(TestsIn(records), expected_tests);
    EXPECT_EQ(records.back(), (SelfTestRecord{SelfTestKind::kFailed, 100, 9, -9}));
    EXPECT_EQ(records[records.size() - 8], (SelfTestRecord{SelfTestKind::kPassed, 0, 9, 0}));
    EXPECT_EQ(Records(PowerOnLog(afe)), power_on);
  });
}

}  // namespace
}  // namespace afe::testing
