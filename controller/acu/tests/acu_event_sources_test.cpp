// The event sources: the data pump's connection state and call-progress
// codes as the modem task reads them from register 54 and 56, turned into
// events.
#include <gtest/gtest.h>

#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_events.h"
#include "controller/acu/acu_run.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/modem_task.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "pump/core/comram.h"

namespace vxctl::testing {
namespace {

struct Posted {
  std::uint16_t code;
  std::uint16_t parameter;
  bool operator==(const Posted&) const = default;
};

// The events one run of the sources posts.
std::vector<Posted> SourcesPost() {
  acu_event_sources();
  std::vector<Posted> posted;
  while (acu_event* event = acu_event_get()) {
    posted.push_back({event->code, event->parameter});
    acu_event_free(event);
  }
  return posted;
}

TEST(AcuEventSources, ConnectionStates) {
  struct Case {
    std::uint8_t code;
    std::vector<Posted> posted;
  };
  const Case cases[] = {
      {kCodeRetraining, {{EvRetrain, 0}}},
      {kCodeRenegotiating, {{EvRetrain, 0}}},
      {kCodeReportedLoopback, {{EvLoopback, 1}}},
      {kCodeConnected, {}},
      {kCodeIdle, {}},
  };
  AcuPassRig::Run([&](FakeDataPump&) {
    for (const Case& c : cases) {
      SCOPED_TRACE(int(c.code));
      MachineState<ModemTaskState>().connection_state.store(c.code);
      EXPECT_EQ(SourcesPost(), c.posted);
      EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "a state is reported once";
    }
  });
}

// Codes 8, 9 and 10 post their event only with their registry switch, and
// once while the code is remembered.
TEST(AcuEventSources, LineCheckCodesByTheirSwitches) {
  struct Case {
    std::uint8_t code;
    std::atomic<std::uint8_t> RegFeatureFlags::*flag;
    std::uint8_t event;
  };
  const Case cases[] = {
      {8, &RegFeatureFlags::line_in_use_detect, EvLineInUse},
      {9, &RegFeatureFlags::line_unavailable_detect, EvLineUnavailable},
      {10, &RegFeatureFlags::dlp_fault_notify, EvDigitalLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.code));
    AcuPassRig::Run([&](FakeDataPump& pump) {
      RegFeatureFlags& features = reg_settings().features;
      pump.SetRegister(pump::kRegEventType, c.code);
      (features.*c.flag).store(0);
      EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "switch off";
      (features.*c.flag).store(1);
      EXPECT_EQ(SourcesPost(), (std::vector<Posted>{{c.event, 0}}));
      EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "once per code";
    });
  }
}

TEST(AcuEventSources, CallProgressCodesAsLineStatusOutsideVoice) {
  AcuPassRig::Run([](FakeDataPump& pump) {
    for (const std::uint8_t code : {13, 14}) {
      SCOPED_TRACE(int(code));
      pump.SetRegister(pump::kRegEventType, code);
      acu_fclass().store(0);
      EXPECT_EQ(SourcesPost(), (std::vector<Posted>{{EvLineStatus, code}}));
      acu_fclass().store(8);
      EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "voice";
      acu_fclass().store(0);
    }
    // Busy (2) and ringback (7) come from the line services' tone detectors
    // while the data pump has no code of its own.
    pump.SetRegister(pump::kRegEventType, 0);
    for (const std::uint8_t code : {2, 7}) {
      SCOPED_TRACE(int(code));
      MachineState<LineServicesStandin>().cpt_results.push_back(code);
      EXPECT_EQ(SourcesPost(), (std::vector<Posted>{{EvLineStatus, code}}));
      acu_fclass().store(8);
      MachineState<LineServicesStandin>().cpt_results.push_back(code);
      EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "voice";
      acu_fclass().store(0);
    }
    pump.SetRegister(pump::kRegEventType, 11);
    EXPECT_EQ(SourcesPost(), std::vector<Posted>{}) << "other codes post nothing";
  });
}

}  // namespace
}  // namespace vxctl::testing
