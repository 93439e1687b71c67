#include "controller/acu/tests/response_testing.h"

#include <vector>

#include "controller/acu/acu_settings.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {

void RunResponses(const std::function<void()>& body) {
  PortRig::Run([&](PortBlock&) {
    dte_reset_command_mode();
    ClearPending();
    body();
  });
}

void SetFraming(std::uint8_t s3, std::uint8_t s4, bool verbose, bool quiet) {
  AcuSettings& settings = acu_settings();
  settings.s[kSLineEnd] = s3;
  settings.s[kSLineFeed] = s4;
  std::uint8_t& options = settings.s[kSOptions];
  options = static_cast<std::uint8_t>(options & ~(kS14Verbose | kS14Quiet));
  if (verbose) options |= kS14Verbose;
  if (quiet) options |= kS14Quiet;
}

std::string AppRead() {
  std::string text;
  for (;;) {
    dte_cmd_to_push();
    std::vector<std::uint8_t> bytes(uart_rx_count());
    if (bytes.empty()) return text;
    bytes.resize(uart_rx_get(bytes));
    text.append(bytes.begin(), bytes.end());
  }
}

}  // namespace vxctl::testing
