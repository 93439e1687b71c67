// The event pool and the dispatch through the state tables.
#include <gtest/gtest.h>

#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"
#include "controller/acu/acu_run.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/acu_state_tables.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

std::vector<acu_event> TakeQueue() {
  std::vector<acu_event> taken;
  while (acu_event* event = acu_event_get()) {
    taken.push_back(*event);
    acu_event_free(event);
  }
  return taken;
}

TEST(AcuEvents, TwentyFirstEventBeforeADispatchIsDropped) {
  AcuPassRig::Run([](FakeDataPump&) {
    for (std::uint8_t i = 0; i < 21; ++i) acu_post_event(EvLineStatus, i);
    EXPECT_EQ(acu_event_alloc(), nullptr) << "the pool is empty";
    const std::vector<acu_event> taken = TakeQueue();
    ASSERT_EQ(taken.size(), 20u);
    for (std::uint8_t i = 0; i < 20; ++i) {
      EXPECT_EQ(taken[i].code, EvLineStatus);
      EXPECT_EQ(taken[i].parameter, i) << "in the order posted";
    }
    // Freed, the records serve again.
    for (std::uint8_t i = 0; i < 20; ++i) acu_post_event(EvReport, i);
    EXPECT_EQ(TakeQueue().size(), 20u);
  });
}

// Events are posted on the controller's task thread only: a post from any
// other thread raises the assertion hook and leaves the queue alone.
TEST(AcuEvents, PostFromAnotherThreadRaisesTheAssertionHook) {
  AcuPassRig::Run([](FakeDataPump&) {
    AssertLog& asserts = MachineState<AssertLog>();
    const std::uint64_t before = asserts.Total();
    RunThreads({{16, [] { acu_post_event(EvReport, 0); }}});
    EXPECT_EQ(asserts.Total() - before, 1u);
    ASSERT_FALSE(asserts.Entries().empty());
    EXPECT_EQ(asserts.Entries().back().module, "acu_events");
    EXPECT_EQ(acu_event_get(), nullptr);
    acu_post_event(EvReport, 0);
    EXPECT_EQ(asserts.Total() - before, 1u) << "the controller's own thread posts";
    EXPECT_EQ(TakeQueue().size(), 1u);
  });
}

struct Pair {
  std::uint8_t state;
  std::uint8_t variant;
};

// A pair without a row drops every event and stays where it is.
TEST(AcuEvents, PairsWithoutARowDropEvents) {
  const Pair pairs[] = {{AcuAnswer, 5}, {AcuAnswer, 6}, {AcuOnline, 5}, {AcuHangup, 6},
                        {AcuTest, 6},   {AcuIdle, VarLeased}, {AcuOriginate, 7}};
  AcuPassRig::Run([&](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    for (const Pair& pair : pairs) {
      SCOPED_TRACE(::testing::Message() << int(pair.state) << "/" << int(pair.variant));
      acu.state.store(pair.state);
      acu.variants[pair.state] = pair.variant;
      ClearPending();
      for (std::uint8_t code : {EvDial, EvEndCall, EvCommand, EvDtrReset}) acu_post_event(code, 0);
      acu_dispatch_events();
      EXPECT_EQ(acu.state.load(), pair.state);
      EXPECT_EQ(acu_event_get(), nullptr);
      EXPECT_TRUE(PendingNames().empty()) << "no action ran";
    }
  });
}

// No row acts on a line-status report: whatever the pair, the state stays.
TEST(AcuEvents, LineStatusChangesNoState) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    for (std::uint8_t variant = 0; variant < kAcuVariants; ++variant) {
      for (std::uint8_t state = AcuIdle; state <= AcuTest; ++state) {
        if (kAcuStateTables.rows[AcuTableIndex(variant, state)] == nullptr) continue;
        SCOPED_TRACE(::testing::Message() << int(state) << "/" << int(variant));
        acu.state.store(state);
        acu.variants[state] = variant;
        ClearPending();
        acu_post_event(EvLineStatus, 7);
        acu_dispatch_events();
        EXPECT_EQ(acu.state.load(), state);
        // Only the pass's own RTS event may have reached an action: a
        // DTE-signal handler.
        for (std::string_view name : PendingNames()) {
          EXPECT_TRUE(name.ends_with("_dte_signal") || name.ends_with("_dtr")) << name;
        }
      }
    }
  });
}

// In the command state of a V.8bis call, the end of the command line
// returns to the call: originating or answering by S14 bit 7.
TEST(AcuEvents, PhaseEndInV8bisCommandStateReturnsToTheCall) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    for (const bool originate : {true, false}) {
      SCOPED_TRACE(originate);
      std::uint8_t& s14 = acu_settings().s[kSOptions];
      s14 = static_cast<std::uint8_t>(originate ? s14 | kS14Originate : s14 & ~kS14Originate);
      acu.state.store(AcuCommand);
      acu.variants[AcuCommand] = VarV8bis;
      acu_post_event(EvPhaseEnd, 0);
      acu_dispatch_events();
      EXPECT_EQ(acu.state.load(), originate ? AcuOriginate : AcuAnswer);
    }
  });
}

// The idle hand-over: an 'A' enters the command state, which takes the
// idle variant; the line's end returns the command variant to idle.
TEST(AcuEvents, CommandStateTakesAndReturnsTheIdleVariant) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    acu.variants[AcuIdle] = VarHeld;
    acu_post_event(EvCommand, 0);
    acu_dispatch_events();
    EXPECT_EQ(acu.state.load(), AcuCommand);
    EXPECT_EQ(acu.variants[AcuCommand], VarHeld);
    EXPECT_EQ(acu.phase, WaitAt);
    acu.variants[AcuCommand] = VarPlain;
    acu_post_event(EvPhaseEnd, 0);
    acu_dispatch_events();
    EXPECT_EQ(acu.state.load(), AcuIdle);
    EXPECT_EQ(acu.variants[AcuIdle], VarPlain);
  });
}

}  // namespace
}  // namespace vxctl::testing
