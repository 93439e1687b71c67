// A retrain in data between our caller and our answerer: the answerer's
// receiver takes an S1 in data (set in its record, as the pattern detector
// latches it), which starts its retrain: its S1 reaches the caller, whose
// S1 watch posts status 3 once and runs the retrain table; both come back
// to data and the caller hears the answerer's bytes whole. (The answerer,
// whose S1 was no far end's, trains on the caller's data before the
// caller's S1 comes and does not hear the caller's bytes afterwards: not
// held here.)
#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "platform/hal/instant.h"
#include "pump/core/comram.h"
#include "pump/fsk/tests/fsk_rig.h"
#include "pump/tests/support/line_call_rig.h"
#include "pump/v22/v22_tx_states.h"

namespace pump::testing {
namespace {

using fsk_testing::BitErrors;
using fsk_testing::RandomBytes;

constexpr std::uint64_t kRetrainMs = plat::hal::kMillisecond;

class V22RetrainBetweenOurs : public LineCallRig {
 protected:
  std::uint8_t Code(std::size_t m) { return Status(m) & kStatusCodeMask; }
  bool InData(std::size_t m) {
    return (Status(m) & ~kStatusTxEmpty) == (kStatusConnected | kStatusCarrier);
  }
  bool RetrainTableRuns(std::size_t m) {
    bool runs = false;
    OnKernelThread(*kernels_[m], [&] {
      runs = TestControllerOf(*kernels_[m]).Context()->v22.tx_machine.table.data() ==
             V22RetrainTable().data();
    });
    return runs;
  }
};

TEST_F(V22RetrainBetweenOurs, S1InDataRetrainsBothEndsOnceAndDataResumes) {
  MakeLine(30, 13);
  AddSecondMachine();
  StartCalls({{7, 1}, {7, 0}});
  for (int t = 0; t < 160 && !(InData(0) && InData(1)); ++t) sim.RunFor(50 * kRetrainMs);
  ASSERT_TRUE(InData(0) && InData(1));
  sim.RunFor(200 * kRetrainMs);
  OnKernelThread(*kernels_[1], [&] { TestControllerOf(*kernels_[1]).Context()->v22.rx.s1_latched = 1; });
  int retrain_reports = 0;
  bool caller_retrain_table = false;
  std::uint8_t previous = Code(0);
  for (int t = 0; t < 300 && !(t > 20 && InData(0) && InData(1)); ++t) {
    sim.RunFor(10 * kRetrainMs);
    const std::uint8_t code = Code(0);
    if (code == kStatusRetraining && previous != kStatusRetraining) ++retrain_reports;
    previous = code;
    caller_retrain_table |= RetrainTableRuns(0);
  }
  EXPECT_EQ(retrain_reports, 1);
  EXPECT_TRUE(caller_retrain_table);
  ASSERT_TRUE(InData(0) && InData(1)) << int{Status(0)} << " " << int{Status(1)};
  const std::vector<std::uint8_t> sent = RandomBytes(40, 4);
  const std::size_t before = Received(0).size();
  Send(1, sent);
  sim.RunFor(400 * kRetrainMs);
  const std::vector<std::uint8_t> got = Received(0);
  ASSERT_GE(got.size(), before + sent.size());
  EXPECT_EQ(got.size(), before + sent.size()) << "stray bytes";
  EXPECT_EQ(BitErrors(sent, std::span(got).subspan(got.size() - sent.size())), 0u);
}

}  // namespace
}  // namespace pump::testing
