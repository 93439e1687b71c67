// The wait for carrier: S7 seconds after the off-hook step the call ends
// with the step's result, except in the "@" wait; a voice call ends with
// result 21; a black-listed country files the failure.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/line/services/line_services_ops.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "controller/standin/fax_voice_standin.h"

namespace vxctl::testing {
namespace {

using Event = std::pair<std::uint16_t, std::uint16_t>;

std::vector<Event> TakeEvents() {
  std::vector<Event> events;
  while (acu_event* e = acu_event_get()) {
    events.emplace_back(e->code, e->parameter);
    acu_event_free(e);
  }
  return events;
}

void Elapse(std::uint32_t ms) {
  MK_clock_advance(LineKernel(), ms);
  LS_poll();
}

constexpr std::uint8_t kNoCarrier = 3;

struct TimerCase {
  std::string name;
  std::uint8_t wait_kind;
  bool voice;
  std::vector<Event> events;
};

TEST(ConnectTimer, EndsTheCallAfterS7Seconds) {
  const std::vector<TimerCase> cases = {
      {"data call", 0, false, {{EvEndCall, kNoCarrier}}},
      {"the \"@\" wait", 2, false, {}},
      {"voice call", 0, true, {{EvEndCall, 21}, {EvReport, 8}}},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    for (const TimerCase& c : cases) {
      SCOPED_TRACE(c.name);
      acu_settings().s[7] = 30;
      acu_controller().dial_wait_kind = c.wait_kind;
      MachineState<FaxVoiceStandin>().voice_call.store(c.voice ? 1 : 0);
      DropPending();
      TakeEvents();
      LS_start_connect_timer(kNoCarrier);
      Elapse(20'000);
      LS_start_connect_timer(kNoCarrier);  // already running: not restarted
      Elapse(9'999);
      EXPECT_TRUE(TakeEvents().empty());
      Elapse(1);
      EXPECT_EQ(TakeEvents(), c.events);
      EXPECT_EQ(LineContext().connect_timer, 0);
    }
    MachineState<FaxVoiceStandin>().voice_call.store(0);
  });
}

TEST(ConnectTimer, StoppedTimerEndsNothing) {
  AcuPassRig::Run([](FakeDataPump&) {
    acu_settings().s[7] = 5;
    acu_controller().dial_wait_kind = 0;
    TakeEvents();
    LS_start_connect_timer(kNoCarrier);
    Elapse(4'000);
    LS_stop_connect_timer();
    Elapse(10'000);
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(LineContext().connect_timer, 0);
  });
}

// The failure goes to the black list only from call progress (dial
// sub-state 7) with blacklisting enabled (record byte 6) and failure-mask
// bit 3 (record byte 1020).
TEST(ConnectTimer, BlackListFailureNeedsTheRecordsConsent) {
  struct Case {
    std::string name;
    std::uint8_t enabled;
    std::uint8_t mask;
    std::uint8_t substate;
    bool filed;
  };
  const std::vector<Case> cases = {
      {"enabled, bit 3", 1, 0x08, 7, true},
      {"enabled, other bits", 1, 0xF7, 7, false},
      {"disabled, bit 3", 0, 0x08, 7, false},
      {"not in call progress", 1, 0x08, 4, false},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      CountryRecord& record = MachineState<LineServicesState>().live_record;
      record.bytes[6] = c.enabled;
      record.bytes[1020] = c.mask;
      acu_settings().s[7] = 1;
      acu_controller().dial_substate = c.substate;
      acu_controller().dial_wait_kind = 0;
      DropPending();
      TakeEvents();
      LS_start_connect_timer(kNoCarrier);
      MK_clock_advance(LineKernel(), 1000);
      MK_post_elapsed(LineKernel());
      MK_dispatch(LineKernel());
      std::vector<PendingMessage> filed;
      if (c.filed) filed.push_back({7, 5, false, {}});
      EXPECT_EQ(PendingMessages(), filed);
      EXPECT_EQ(TakeEvents(), (std::vector<Event>{{EvEndCall, kNoCarrier}}));
    }
  });
}

}  // namespace
}  // namespace vxctl::testing
