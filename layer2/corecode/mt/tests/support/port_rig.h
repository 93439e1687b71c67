// Machines for the port's tests: a controller thread of a fresh machine
// whose port is open as far as the built parts open it, and what the port
// handed the DTE interface (the records of ctl_dte_recorder, the
// recording DTE side the port's tests link).
//
//   PortRig::Run([](PortBlock& port) {
//     EXPECT_EQ(uart_rx_char('A'), 0u);
//     EXPECT_EQ(uart_rx_count(), 1u);
//   });
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/port/port_block.h"
#include "platform/ke/kernel.h"

namespace vxctl::testing {

class PortRig {
 public:
  // Runs `body` on a PASSIVE_LEVEL system thread ("controller", priority
  // 16) of a fresh machine with `config`. Before it the port is opened as
  // an open will: lines and queues reset (uart_reset), the default
  // settings applied with every field, the controller running
  // (acu_running 1); the pending log is then cleared. Fails the test when
  // the body does not return within a virtual hour. The body runs on the
// machine's thread: a SCOPED_TRACE for it belongs inside it.
  static void Run(const std::function<void(PortBlock&)>& body,
                  const plat::ke::KernelConfig& config = {});
};

// The port's last error, through port_get_error.
std::int32_t PortLastError(PortBlock& port);

// The characters each recording DTE entry named `entry`
// took, oldest first ("dte_rx_char", "dte_cmd_rx_char", ...).
std::vector<std::uint8_t> Delivered(std::string_view entry = "dte_rx_char");
// How often the pending or recording entry `name` ran (among the calls the log keeps).
std::size_t PendingCount(std::string_view name);
// The names of the pending calls the log keeps, oldest first.
std::vector<std::string_view> PendingNames();
void ClearPending();

}  // namespace vxctl::testing
