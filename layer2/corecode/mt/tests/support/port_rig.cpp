#include "layer2/corecode/mt/tests/support/port_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"

namespace vxctl::testing {

void PortRig::Run(const std::function<void(PortBlock&)>& body,
                  const plat::ke::KernelConfig& config) {
  RunOnController(
      [&] {
        PortBlock& port = port_block();
        uart_reset();
        ASSERT_TRUE(port_set_comm_state(&port, &kDefaultSerialDcb, kFieldAll));
        acu_running().store(1);
        ClearPending();
        body(port);
      },
      config);
}

std::int32_t PortLastError(PortBlock& port) {
  std::int32_t error = 12345;
  EXPECT_TRUE(port_get_error(&port, &error));
  return error;
}

std::vector<std::uint8_t> Delivered(std::string_view entry) {
  std::vector<std::uint8_t> characters;
  for (const PendingCall& call : MachineState<PendingLog>().Calls()) {
    if (call.name == entry) characters.push_back(static_cast<std::uint8_t>(call.args.at(0)));
  }
  return characters;
}

std::size_t PendingCount(std::string_view name) {
  const std::vector<std::string_view> names = PendingNames();
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

std::vector<std::string_view> PendingNames() { return MachineState<PendingLog>().Names(); }

void ClearPending() { MachineState<PendingLog>().Clear(); }

}  // namespace vxctl::testing
