// The controller's ticks: catching up on missed ticks, the 100 ms, 1 s
// and 1 min work, the ring timer, and the DTR debounce.
#include <gtest/gtest.h>

#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/pending/acu_pending.h"
#include "controller/standin/acu_link_fax_voice_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

// A pass 35 ms late finds three 10 ms ticks counted and works off all three.
TEST(AcuTicks, LatePassCatchesUpEveryTick) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    acu.countdowns[kCountController] = 10;
    acu.countdowns[kCountPreDial] = 2;
    const std::uint32_t fax_ticks = MachineState<AcuLinkFaxVoiceStandin>().fax_ticks;
    Tick(3);
    acu_run();
    EXPECT_EQ(acu.countdowns[kCountController], 7);
    EXPECT_EQ(acu.countdowns[kCountPreDial], 0) << "a countdown stops at 0";
    EXPECT_EQ(MachineState<AcuLinkFaxVoiceStandin>().fax_ticks - fax_ticks, 3u);
    acu_run();
    EXPECT_EQ(acu.countdowns[kCountController], 7) << "a pass without a tick counts nothing";
  });
}

// Ten minutes of ticks, worked off by one pass: every tenth 10 ms tick is a
// 100 ms tick, every tenth of those a second, every sixtieth second a minute.
TEST(AcuTicks, HundredMillisecondSecondAndMinuteCounts) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    AcuLinkFaxVoiceStandin& standin = MachineState<AcuLinkFaxVoiceStandin>();
    const std::uint32_t count_100ms = acu.count_100ms;
    const std::uint32_t voice_ticks = standin.voice_ticks;
    const std::uint32_t guard_ticks = MachineState<AcuPendingSteps>()[AcuPendingStep::OnlineGuardTick];
    acu.seconds_countdown = 700;
    Tick(60'000);
    acu_run();
    EXPECT_EQ(acu.count_100ms - count_100ms, 6000u);
    EXPECT_EQ(standin.voice_ticks - voice_ticks, 6000u);
    EXPECT_EQ(MachineState<AcuPendingSteps>()[AcuPendingStep::OnlineGuardTick] - guard_ticks,
              30'000u)
        << "the online-command guard counts 20 ms units";
    EXPECT_EQ(acu.seconds_countdown, 100);
  });
}

// S1, the ring count, is cleared when the ring timer runs out.
TEST(AcuTicks, RingCountClearedWhenTheRingTimerRunsOut) {
  AcuPassRig::Run([](FakeDataPump&) {
    AcuControllerState& acu = acu_controller();
    acu_settings().s[1] = 3;
    acu.countdowns[kCountRingTimer] = 5;
    Tick(4);
    acu_run();
    EXPECT_EQ(acu_settings().s[1], 3);
    Tick(1);
    acu_run();
    EXPECT_EQ(acu_settings().s[1], 0);
  });
}

// DTR as the application drives it, S25 = 5 (50 ms): the DTR events the
// dispatch posted (their parameters: 1 on, 2 off).
std::vector<std::int64_t> DtrEvents() {
  std::vector<std::int64_t> events;
  for (const PendingCall& call : MachineState<PendingLog>().Calls()) {
    if (call.name == "acu_idle_dte_signal" && !call.args.empty() &&
        (call.args[0] == 1 || call.args[0] == 2)) {
      events.push_back(call.args[0]);
    }
  }
  return events;
}

struct DtrStep {
  bool on;
  std::uint32_t ticks;  // held for this many 10 ms ticks, one pass each
};

struct DtrCase {
  const char* name;
  std::vector<DtrStep> steps;
  std::vector<std::int64_t> events;
};

TEST(AcuTicks, DtrDebounce) {
  const DtrCase cases[] = {
      {"glitch off of 40 ms", {{false, 4}, {true, 20}}, {}},
      {"off for 60 ms", {{false, 6}, {true, 20}}, {2, 1}},
      {"off for 70 ms", {{false, 7}, {true, 20}}, {2, 1}},
      {"off, then a glitch on", {{false, 10}, {true, 4}, {false, 20}}, {2}},
      {"chattering", {{false, 2}, {true, 2}, {false, 2}, {true, 2}, {false, 3}, {true, 10}}, {}},
      {"off and on, each held", {{false, 30}, {true, 30}, {false, 30}}, {2, 1, 2}},
  };
  for (const DtrCase& c : cases) {
    SCOPED_TRACE(c.name);
    AcuPassRig::Run([&](FakeDataPump&) {
      acu_settings().s[25] = 5;
      uart_dtr_on();
      acu_running().store(0);
      acu_init();
      ClearPending();
      for (const DtrStep& step : c.steps) {
        if (step.on) {
          uart_dtr_on();
        } else {
          uart_dtr_off();
        }
        for (std::uint32_t i = 0; i < step.ticks; ++i) {
          Tick();
          acu_run();
        }
      }
      EXPECT_EQ(DtrEvents(), c.events);
    });
  }
}

// A busy wait services the ticks without a dispatch: DTR dropped and
// returned, each held past S25, inside it still gives both events.
TEST(AcuTicks, DtrEdgesInsideABusyWaitAreEachPosted) {
  AcuPassRig::Run([](FakeDataPump&) {
    acu_settings().s[25] = 5;
    uart_dtr_on();
    acu_running().store(0);
    acu_init();
    Tick();
    acu_run();
    ClearPending();
    uart_dtr_off();
    for (int i = 0; i < 10; ++i) {
      Tick();
      acu_timer_service();
    }
    uart_dtr_on();
    for (int i = 0; i < 10; ++i) {
      Tick();
      acu_timer_service();
    }
    acu_run();
    EXPECT_EQ(DtrEvents(), (std::vector<std::int64_t>{2, 1}));
  });
}

}  // namespace
}  // namespace vxctl::testing
