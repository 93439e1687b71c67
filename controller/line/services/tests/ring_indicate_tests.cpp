// Ring indication through the modem's port: rings posted to the line
// services as the ring cadence posts them (class 1 code 3), the settings
// set directly, and what the application reads; auto-answer seen as the
// controller's answer action.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/tests/support/acu_rig.h"
#include "controller/line/services/line_services_ops.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "controller/standin/command_interpreter_standin.h"
#include "controller/standin/line_services_standin.h"
#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl::testing {
namespace {

class RingIndicate : public AcuRig {};

constexpr std::uint64_t kRingGap = 500 * plat::hal::kMillisecond;

void PostRing() {
  const std::uint8_t payload[3] = {kRingCounted, 0, 0};
  ASSERT_EQ(MK_msg_send(LineKernel(), false, kMsgLineEvents, kLineRing, payload), kMkOk);
}

// Whether the controller ran its answer action since the last look.
bool Answered() {
  PendingLog& log = MachineState<PendingLog>();
  const std::vector<std::string_view> names = log.Names();
  log.Clear();
  return std::find(names.begin(), names.end(), "acu_answer_action") != names.end();
}

struct RingCase {
  std::string name;
  std::uint8_t s0;
  bool caller_id;
  std::uint8_t s27_mode;
  bool d2_dtr_off;   // &D2 with DTR dropped
  int answer_ring;   // 0: none of four rings answers
};

// S0 x caller-ID reporting x the S27 modes x &D2 with DTR off. Four
// rings each; every ring reads "RING".
TEST_F(RingIndicate, AutoAnswerTable) {
  const std::vector<RingCase> cases = {
      {"S0=0", 0, false, 0, false, 0},
      {"S0=0 caller ID", 0, true, 0, false, 0},
      {"S0=1", 1, false, 0, false, 1},
      {"S0=1 caller ID: second ring", 1, true, 0, false, 2},
      {"S0=2", 2, false, 0, false, 2},
      {"S0=2 caller ID", 2, true, 0, false, 2},
      {"S0=1 &D2 DTR off", 1, false, 0, true, 0},
      {"S0=2 S27 mode 1", 2, false, 1, false, 2},
      {"S0=1 S27 mode 1 &D2 DTR off", 1, false, 1, true, 0},
      {"S0=1 S27 mode 2 DTR on", 1, false, 2, false, 1},
      {"S0=1 S27 mode 3 DTR off", 1, false, 3, true, 0},
      {"S0=2 S27 mode 3 caller ID", 2, true, 3, false, 2},
  };
  WithTerminal([&](plat::testing::DteClient& dte) {
    for (const RingCase& c : cases) {
      SCOPED_TRACE(c.name);
      AcuSettings& settings = acu_settings();
      settings.s[0] = c.s0;
      settings.s[1] = 0;
      settings.s[kSModes] = static_cast<std::uint8_t>((settings.s[kSModes] & ~kS27SyncMask) | c.s27_mode);
      settings.s[kSDteOptions] = static_cast<std::uint8_t>((settings.s[kSDteOptions] & ~0x18) |
                                                           (c.d2_dtr_off ? 2u << 3 : 0u));
      MachineState<CommandInterpreterStandin>().caller_id_enabled.store(c.caller_id ? 1 : 0);
      ASSERT_TRUE(dte.SetDtr(!c.d2_dtr_off));
      ReadFor(dte, kQuiet);
      Answered();
      int answered_at = 0;
      for (int ring = 1; ring <= 4 && answered_at == 0; ++ring) {
        PostRing();
        EXPECT_EQ(ReadFor(dte, kRingGap), "\r\nRING\r\n") << "ring " << ring;
        if (Answered()) answered_at = ring;
      }
      EXPECT_EQ(answered_at, c.answer_ring);
      if (c.answer_ring == 0) {
        EXPECT_EQ(settings.s[1], 4) << "S1 counts every ring";
      }
      acu_controller().state.store(AcuIdle);
      ASSERT_TRUE(dte.SetDtr(true));
    }
  });
}

// S1 counts with S0 = 0, and the ring-count timer clears it 8 s after the
// last ring.
TEST_F(RingIndicate, RingCountClearedEightSecondsAfterTheLastRing) {
  WithTerminal([](plat::testing::DteClient& dte) {
    acu_settings().s[0] = 0;
    PostRing();
    ReadFor(dte, kRingGap);
    PostRing();
    EXPECT_EQ(ReadFor(dte, 7800 * plat::hal::kMillisecond), "\r\nRING\r\n");
    EXPECT_EQ(acu_settings().s[1], 2);
    ReadFor(dte, 400 * plat::hal::kMillisecond);
    EXPECT_EQ(acu_settings().s[1], 0);
  });
}

// In the direct-response mode the ring is sent at once, whatever the
// result-code settings: with Q1 only it reaches the application.
TEST_F(RingIndicate, DirectResponseModeSendsRingAtOnce) {
  WithTerminal([](plat::testing::DteClient& dte) {
    acu_settings().s[kSOptions] |= kS14Quiet;
    PostRing();
    EXPECT_EQ(ReadFor(dte, kRingGap), "") << "Q1 keeps the RING result code";
    MachineState<LineServicesStandin>().direct_response.store(1);
    PostRing();
    EXPECT_EQ(ReadFor(dte, kRingGap), "\r\nRING\r\n");
  });
}

// Caller ID is started before the first ring with reporting on and
// configuration bit 0, and stopped at the second ring.
TEST_F(RingIndicate, CallerIdStartsAtTheFirstRingAndStopsAtTheSecond) {
  WithTerminal([](plat::testing::DteClient& dte) {
    acu_settings().s[0] = 0;
    MachineState<LineServicesState>().live_record.bytes[11] |= 1;
    MachineState<CommandInterpreterStandin>().caller_id_enabled.store(1);
    std::atomic<std::uint8_t>& substate = acu_caller_id_substate();
    PostRing();
    ReadFor(dte, kRingGap);
    EXPECT_EQ(substate.load(), 1);
    PostRing();
    ReadFor(dte, kRingGap);
    EXPECT_EQ(substate.load(), 5);
  });
}

}  // namespace
}  // namespace vxctl::testing
