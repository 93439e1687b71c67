// The escape sequence: the count and the capture that follows it, and the
// guard times around it on the machine's clock.
#include <gtest/gtest.h>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/tests/dte_rig.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl::testing {
namespace {

constexpr std::uint16_t kGuard = 5;  // 100 ms
constexpr std::uint32_t kGuardTicks = kGuard * 2;

Bytes Captured() {
  Bytes bytes;
  while (dte_esc_count() != 0) bytes.push_back(dte_esc_char());
  return bytes;
}

TEST(DteEscape, FourEscapesCountFourAndCaptureFromTheThird) {
  RunDte([](DteInterfaceState& dte) {
    StartOnline(0, 0, kGuard);
    AppWrite(Text("++"));
    EXPECT_EQ(acu_esc_capture_state().load(), 0);
    AppWrite(Text("+"));
    EXPECT_EQ(acu_esc_capture_state().load(), 1);
    EXPECT_EQ(dte_esc_count(), 0u);
    AppWrite(Text("+"));
    EXPECT_EQ(dte.escape.count.load(), 4);
    AppWrite({'A', 0xD4});  // captured as 7-bit characters
    EXPECT_EQ(dte.escape.count.load(), 0);
    EXPECT_EQ(Captured(), (Bytes{'+', 'A', 'T'}));
    EXPECT_EQ(TakeFrom(), (Bytes{'+', '+', '+', '+', 'A', 0xD4})) << "escapes are data too";
  });
}

TEST(DteEscape, ReportedOnlyBetweenTwoGuards) {
  struct Step {
    std::uint32_t quiet_ticks;  // before the characters
    const char* text;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::uint32_t reports;
  };
  const Case cases[] = {
      {"quiet, +++, quiet", {{kGuardTicks, "+++"}, {kGuardTicks, ""}}, 1},
      {"reported once however long the quiet", {{kGuardTicks, "+++"}, {20 * kGuardTicks, ""}}, 1},
      {"+++ inside data", {{kGuardTicks, "ab+++"}, {kGuardTicks, ""}}, 0},
      {"no leading quiet", {{kGuardTicks - 2, "x"}, {2, "+++"}, {kGuardTicks, ""}}, 0},
      {"no trailing quiet", {{kGuardTicks, "+++"}, {kGuardTicks - 2, "x"}, {kGuardTicks, ""}}, 0},
      {"a fourth + cancels", {{kGuardTicks, "++++"}, {kGuardTicks, ""}}, 0},
      {"slow escapes within the guard", {{kGuardTicks, "+"}, {3, "+"}, {3, "+"}, {kGuardTicks, ""}},
       1},
  };
  for (const Case& c : cases) {
    RunDte([&](DteInterfaceState&) {
      SCOPED_TRACE(c.name);
      StartOnline(0, 0, kGuard);
      for (const Step& step : c.steps) {
        Ticks(step.quiet_ticks);
        AppWrite(Text(step.text));
      }
      EXPECT_EQ(MachineState<CommandInterpreterStandin>().escapes_detected.load(), c.reports);
    });
  }
}

TEST(DteEscape, V80InsertsEmBb) {
  RunDte([](DteInterfaceState&) {
    dte_v80_start(0, 0);
    dte_set_online_params(0, 0, 0, 0, kXon, kXoff, 0, kXon, kXoff, 0, '+', kGuard, 0);
    Ticks(kGuardTicks);
    AppWrite(Text("+++"));
    Ticks(kGuardTicks);
    EXPECT_EQ(MachineState<CommandInterpreterStandin>().escapes_detected.load(), 0u);
    EXPECT_EQ(TakeFrom(), (Bytes{'+', '+', '+', kEm, 0xBB}));
  });
}

}  // namespace
}  // namespace vxctl::testing
