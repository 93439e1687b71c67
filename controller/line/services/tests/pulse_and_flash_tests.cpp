// Pulse dialling and the hook flash on the real stack: vxafe, vxdsp and
// the controller's line services on a subscriber line of the exchange.
// The relay service's own timers pace the digits; the exchange says what
// it collected and the line's hook log when the loop broke.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/line/services/line_services_ops.h"
#include "controller/line/services/tests/line_services_testing.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/modem/dial_packets.h"
#include "layer2/corecode/mt/tests/support/vxdsp_machine.h"
#include "platform/hal/instant.h"
#include "platform/line/exchange/exchange.h"
#include "platform/line/line.h"

namespace vxctl::testing {
namespace {

namespace ex = plat::line::exchange;
using plat::hal::kMillisecond;

// Runs the line services' time in 10 ms steps until the relay service
// lets the dialler go on (class 1 code 1), at most `limit_ms`.
void RunUntilDialContinues(std::uint32_t limit_ms) {
  for (std::uint32_t t = 0; t < limit_ms; t += 10) {
    for (const PendingMessage& m : PendingMessages()) {
      if (m.msg_class == kMsgLineEvents && m.code == kLineDialContinue) {
        MK_dispatch(LineKernel());
        return;
      }
    }
    SleepMs(10);
    MK_clock_advance(LineKernel(), 10);
    LS_poll();
  }
  ADD_FAILURE() << "the dialler was never let go on";
}

void RelayRequest(std::uint8_t code, std::uint8_t payload = 0) {
  const std::uint8_t bytes[1] = {payload};
  MK_msg_send(LineKernel(), false, kMsgDaa, code, bytes);
  MK_dispatch(LineKernel());
}

TEST(PulseAndFlash, TheExchangeCollectsPulsesAndSeesTheFlash) {
  plat::line::Line line;
  ex::ExchangeConfig config;
  config.routes = {{"50", 3, ex::RouteKind::kNoAnswer}};
  config.subscribers = {{.number = "2001000", .line = &line}};
  ex::Exchange::Built built = ex::Exchange::Build(config);
  ASSERT_TRUE(built.ok()) << built.error;

  RunOnVxdsp(
      [] {
        dsp_power_control(0xD0);
        ModemTask_DspResetForDial();
        LS_init();
        CTY_load_default_record();
        MK_dispatch(LineKernel());
        DAA_set_hook(1);
        MK_dispatch(LineKernel());
        for (int i = 0; i < 40; ++i) {  // seize time, then dial tone
          SleepMs(10);
          MK_clock_advance(LineKernel(), 10);
          LS_poll();
        }
        RelayRequest(kDaaPulseStart);
        RunUntilDialContinues(1000);
        for (const char digit : std::string("501")) {
          RelayRequest(kDaaPulseDigit, static_cast<std::uint8_t>(digit));
          RunUntilDialContinues(3000);
        }
        RelayRequest(kDaaPulseEnd);
        for (int i = 0; i < 100; ++i) {
          SleepMs(10);
          MK_clock_advance(LineKernel(), 10);
          LS_poll();
        }
        RelayRequest(kDaaHookFlash);
        RunUntilDialContinues(1000);
        SleepMs(1000);
      },
      &line);

  const std::vector<ex::ExchangeEvent> numbers = built.exchange->log().Of(0, ex::EventKind::kNumber);
  ASSERT_EQ(numbers.size(), 1u) << built.exchange->log().Text();
  EXPECT_EQ(numbers[0].detail, "501");
  EXPECT_EQ(built.exchange->log().Of(0, ex::EventKind::kFlash).size(), 1u)
      << built.exchange->log().Text();

  // The breaks (off hook to on hook) of the hook log, grouped by digit:
  // a gap longer than a make starts the next digit.
  const auto& changes = line.HookLog(plat::line::Side::kA);
  std::vector<std::uint64_t> breaks;
  for (std::size_t i = 1; i < changes.size(); ++i) {
    if (!changes[i].value && changes[i - 1].value) breaks.push_back(changes[i].at);
  }
  std::vector<std::vector<std::uint64_t>> digits;
  for (const std::uint64_t at : breaks) {
    if (digits.empty() || at - digits.back().back() > 200 * kMillisecond) digits.push_back({});
    digits.back().push_back(at);
  }
  ASSERT_GE(digits.size(), 3u);
  EXPECT_EQ(digits[0].size(), 5u);
  EXPECT_EQ(digits[1].size(), 10u);
  EXPECT_EQ(digits[2].size(), 1u);
  // A digit's slot, from its first break to the next digit's: 5 x (60 +
  // 40) + 750 = 1250 ms for '5', 10 x 100 + 750 = 1750 ms for '0'.
  const auto slot_ms = [&](std::size_t d) {
    return static_cast<double>(digits[d + 1].front() - digits[d].front()) / kMillisecond;
  };
  EXPECT_NEAR(slot_ms(0), 1250, 30);
  EXPECT_NEAR(slot_ms(1), 1750, 30);
}

}  // namespace
}  // namespace vxctl::testing
