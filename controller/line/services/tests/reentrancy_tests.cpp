// The line services under the kernel's re-entrancy: with the pool nearly
// used up, a restart's six requests, a ring and a tone request make the
// poster's message taking dispatch what is pending, so handlers run inside
// posters. Every message posted runs exactly once and none is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <utility>

#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/line/services/line_posting.h"
#include "controller/line/services/line_services_ops.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"

namespace vxctl::testing {
namespace {

using Tally = std::map<std::pair<int, int>, int>;

Tally& Seen() { return MachineState<Tally>(); }

// Counts each message, then hands it to the handler LS_init registered.
template <MsgHandler Real>
void CountThen(KernelMessage* m, void* context) {
  ++Seen()[{m->msg_class, m->code}];
  Real(m, context);
}

TEST(LineServicesReentrancy, RestartRingAndToneWithThePoolNearlyFull) {
  AcuPassRig::Run([](FakeDataPump&) {
    MsgKernel* kernel = LineKernel();
    LineServicesContext& context = LineContext();
    DropPending();
    MK_register(kernel, kMsgLineEvents, CountThen<LS_class1_handler>, &context);
    MK_register(kernel, kMsgDaa, CountThen<DAA_handler>, &context);
    Seen().clear();
    MachineState<LineServicesStandin>().log.clear();
    acu_settings().s[0] = 0;
    acu_settings().s[1] = 0;
    dsp_reg_write(242, 0);

    // Four of five messages pending.
    Tally posted;
    for (std::uint8_t code = 10; code < 14; ++code) {
      ASSERT_EQ(MK_msg_send(kernel, false, kMsgCallProgress, code), kMkOk);
      ++posted[{kMsgCallProgress, code}];
    }
    LS_restart();
    for (const auto& m : {std::pair{6, 1}, {3, 9}, {3, 1}, {4, 1}, {5, 1}, {8, 1}}) ++posted[m];
    const std::uint8_t ring[3] = {kRingCounted, 0, 0};
    ASSERT_EQ(MK_msg_send(kernel, false, kMsgLineEvents, kLineRing, ring), kMkOk);
    ++posted[{kMsgLineEvents, kLineRing}];
    ASSERT_EQ(TONE_play_dtmf('5', 100, 100), 1);
    ++posted[{kMsgTone, kTonePlay}];
    for (int i = 0; i < 3 && !kernel->pending.empty(); ++i) MK_dispatch(kernel);

    EXPECT_TRUE(kernel->pending.empty());
    // The classes still stood in for record what reached them.
    Tally seen = Seen();
    for (const LineServiceEvent& e : MachineState<LineServicesStandin>().log) {
      if (e.msg_class != 0) ++seen[{e.msg_class, e.code}];
    }
    EXPECT_EQ(seen, posted);
    EXPECT_EQ(acu_settings().s[1], 1) << "the ring was indicated once";
    EXPECT_EQ(dsp_reg_read(242), 0x24) << "the restart went on hook";
    EXPECT_EQ(context.line_state, 1);
  });
}

}  // namespace
}  // namespace vxctl::testing
