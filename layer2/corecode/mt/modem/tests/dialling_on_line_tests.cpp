// Dialling on the real stack: vxafe, vxdsp and the test controller on a
// subscriber line of the exchange; the modem task's packets take the line,
// set the dial parameters and dial, and the exchange says which number it
// collected.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/standin/command_interpreter_standin.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/relays.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "platform/line/exchange/exchange.h"
#include "platform/line/line.h"

namespace vxctl::testing {
namespace {

namespace ex = plat::line::exchange;

constexpr char kDialledNumber[] = "5551234";

TEST(DiallingOnLine, TheExchangeCollectsTheDigitsWeDial) {
  plat::line::Line line;
  ex::ExchangeConfig config;
  config.routes = {{"555", 7, ex::RouteKind::kNoAnswer}};
  config.subscribers = {{.number = "2001000", .line = &line}};
  ex::Exchange::Built built = ex::Exchange::Build(config);
  ASSERT_TRUE(built.ok()) << built.error;

  RunOnVxdsp(
      [] {
        dsp_power_control(0xD0);
        ModemTask_DspResetForDial();
        // The line services take the line off hook through the relays.
        LS_init();
        CTY_load_default_record();  // the relay sequences come from the country record
        LineServicesState& services = MachineState<LineServicesState>();
        MK_dispatch(&services.kernel);
        ModemTask_SetHook(true);
        MK_dispatch(&services.kernel);
        MK_clock_advance(&services.kernel, 100);  // the country's seize time
        LS_poll();
        SleepMs(400);  // dial tone comes after 200 ms
        // DTMF at the levels the line services would choose.
        MachineState<CommandInterpreterStandin>().tone_levels[0] = {40, 60};
        ModemTask_SetTxLevel(0);
        ModemTask_SendDialParams(80, 80, 0, 0);  // 80 ms tone, 80 ms gap
        for (const char digit : std::string(kDialledNumber)) {
          ModemTask_DialDigit(digit);
          SleepMs(250);
        }
        SleepMs(1000);
      },
      &line);

  const std::vector<ex::ExchangeEvent> numbers = built.exchange->log().Of(0, ex::EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u) << built.exchange->log().Text();
  EXPECT_EQ(numbers[0].detail, kDialledNumber);
  for (const ex::ExchangeEvent& digit : built.exchange->log().Of(0, ex::EventKind::kDigit)) {
    EXPECT_NE(digit.detail.find("dtmf"), std::string::npos) << digit.detail;
  }
}

}  // namespace
}  // namespace vxctl::testing
