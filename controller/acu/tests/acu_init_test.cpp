// The controller's start-up as the port's open runs it.
#include <gtest/gtest.h>

#include <vector>

#include "controller/acu/acu_command_tables.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_settings.h"
#include "controller/acu/at_parser_machine.h"
#include "controller/acu/tests/support/acu_rig.h"

namespace vxctl::testing {
namespace {

class AcuInit : public AcuRig {};


// Each open runs acu_init once, however many passes follow.
TEST_F(AcuInit, OpeningThePortRunsItOnce) {
  BootCtl();
  for (std::uint32_t open = 1; open <= 2; ++open) {
    SCOPED_TRACE(open);
    ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
      plat::testing::DteClient dte(u"COM1");
      ASSERT_TRUE(dte.ok());
      ASSERT_TRUE(dte.Send("AT\r"));
      ASSERT_TRUE(dte.Expect("OK\r\n", kAnswerWithin));
      ReadFor(dte, kQuiet);
      EXPECT_EQ(acu_controller().inits, open);
      EXPECT_GT(acu_controller().passes, 20u);
    }, sim.Now() + 60 * plat::hal::kSecond));
  }
}

// After the reset the parser searches the four fax tables first, then
// V.250, V.92, voice common, V.80/V.8 and the two basic tables.
TEST_F(AcuInit, StackOrderAfterReset) {
  WithTerminal([](plat::testing::DteClient&) {
    const std::vector<const at_command_entry*> expected = {
        fax_class20_table, fax_class2_table, fax_class1_table,       fax_common_table,
        v250_table,        v92_table,        acu_voice_common_table, v80_table,
        acu_basic_table2,  acu_basic_table1};
    const auto tables = acu_parser().Tables();
    EXPECT_EQ(std::vector<const at_command_entry*>(tables.begin(), tables.end()), expected);
  });
}

// A leased line is not offered: with S27 bit 2 set before the port opens
// the start-up posts no call and completes, and the modem answers AT.
TEST_F(AcuInit, LeasedLineBitStillAnswersAt) {
  WithTerminal(
      [](plat::testing::DteClient& dte) {
        ASSERT_TRUE(dte.Send("AT\r"));
        EXPECT_EQ(ReadFor(dte, kQuiet), "AT\r\r\nOK\r\n");
        ASSERT_TRUE(dte.Send("AT\r"));
        EXPECT_EQ(ReadFor(dte, kQuiet), "AT\r\r\nOK\r\n");
        EXPECT_EQ(acu_controller().inits, 1u) << "the start-up mark was set";
        EXPECT_EQ(acu_controller().state.load(), AcuIdle);
      },
      [] { acu_settings().s[kSModes] |= kS27Leased; });
}

}  // namespace
}  // namespace vxctl::testing
