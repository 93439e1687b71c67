#include "controller/acu/tests/support/acu_rig.h"

#include <gtest/gtest.h>

#include <vector>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {

void AcuRig::WithTerminal(const std::function<void(plat::testing::DteClient&)>& body,
                          const std::function<void()>& before_open) {
  BootCtl();
  if (before_open) RunOn(before_open);
  ASSERT_TRUE(sim.RunUserThread(kernel(), "dte", [&] {
    plat::testing::DteClient dte(u"COM1");
    ASSERT_TRUE(dte.ok());
    body(dte);
  }, sim.Now() + 60 * plat::hal::kSecond));
}

std::string ReadFor(plat::testing::DteClient& dte, std::uint64_t within_ns) {
  const std::size_t before = dte.transcript().size();
  // A text that never arrives: everything that does is read into the
  // transcript until the time is up.
  dte.Expect(std::string(1, '\0') + "\xff\xfe", within_ns);
  return dte.transcript().substr(before);
}

void AcuPassRig::Run(const std::function<void(FakeDataPump&)>& body) {
  PortRig::Run([&](PortBlock&) {
    FakeDataPump pump(RigCallback);
    pump.Bind();
    acu_running().store(0);
    acu_init();
    ClearPending();
    body(pump);
    pump.Unbind();
  });
}

void Tick(std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) ctl_tick_10ms();
}

void TypeIntoPort(const std::string& text) {
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  ASSERT_EQ(uart_tx_put(bytes), bytes.size());
}

}  // namespace vxctl::testing
