// The self tests' rig: the front-end rig with request 40 as the Diagnostic
// device sends it (under the interface's lock), power-state changes, and a
// look at the two self-test logs.
#pragma once

#include <ostream>
#include <vector>

#include "afe/windows/self_test.h"
#include "afe/windows/tests/afe_rig.h"

namespace afe {
std::ostream& operator<<(std::ostream& out, const SelfTestRecord& record);
}  // namespace afe

namespace afe::testing {

class SelfTestRig : public AfeRig {
 protected:
  // Request 40 with `flags` and `threshold`; the block it answers.
  static SelfTestBlock RunSelfTests(AfeInterface& afe, ULONG flags,
                                    ULONG threshold = kDefaultLoopbackThreshold);
  // Request 18.
  static void RequestPowerState(AfeInterface& afe, ULONG state);

  static std::vector<SelfTestRecord> Records(const SelfTestLog& log);
  static const SelfTestLog& PowerOnLog(AfeInterface& afe) { return afe.Context->State->PowerOnLog; }
  static const SelfTestLog& RequestLog(AfeInterface& afe) { return afe.Context->State->RequestLog; }
};

// The test numbers of `records`, in order.
std::vector<ULONG> TestsIn(const std::vector<SelfTestRecord>& records);

}  // namespace afe::testing
