#include "afe/windows/tests/self_test_rig.h"

namespace afe {

std::ostream& operator<<(std::ostream& out, const SelfTestRecord& record) {
  return out << "{kind " << static_cast<ULONG>(record.Kind) << ", detail 0x" << std::hex
             << record.Detail << std::dec << ", test " << record.Test << ", result "
             << record.Result << "}";
}

}  // namespace afe

namespace afe::testing {

SelfTestBlock SelfTestRig::RunSelfTests(AfeInterface& afe, ULONG flags, ULONG threshold) {
  SelfTestBlock block{threshold, flags, 0x7777, 0x8888};
  ULONG size = sizeof block;
  EXPECT_EQ(
      Locked(afe, [&](AfeContext& c) { return afe.AfeRequest(&c, kAfeSelfTest, &block, &size); }),
      kAfeOk);
  EXPECT_EQ(block.Threshold, threshold);
  EXPECT_EQ(block.Flags, flags);
  return block;
}

void SelfTestRig::RequestPowerState(AfeInterface& afe, ULONG state) {
  ULONG size = sizeof state;
  EXPECT_EQ(
      Locked(afe, [&](AfeContext& c) { return afe.AfeRequest(&c, kAfePowerState, &state, &size); }),
      kAfeOk);
}

std::vector<SelfTestRecord> SelfTestRig::Records(const SelfTestLog& log) {
  std::vector<SelfTestRecord> records;
  for (ULONG i = 0; i < log.size(); ++i) records.push_back(log[i]);
  return records;
}

std::vector<ULONG> TestsIn(const std::vector<SelfTestRecord>& records) {
  std::vector<ULONG> tests;
  for (const SelfTestRecord& r : records) tests.push_back(r.Test);
  return tests;
}

}  // namespace afe::testing
