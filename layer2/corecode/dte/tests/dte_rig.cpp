#include "layer2/corecode/dte/tests/dte_rig.h"

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/faxdte.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/tests/support/dsp_link_rig.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {

void RunDte(const std::function<void(DteInterfaceState&)>& body) {
  PortRig::Run([&](PortBlock&) {
    dte_reset_command_mode();
    ClearPending();
    body(dte_state());
  });
}

std::uint32_t AppWrite(const Bytes& bytes) {
  uart_tx_put(bytes);
  qor_rx_int();
  return uart_tx_count();
}

Bytes AppRead() {
  Bytes bytes(uart_rx_count());
  bytes.resize(uart_rx_get(bytes));
  return bytes;
}

void StartOnline(std::uint8_t from_kind, std::uint8_t to_kind, std::uint16_t guard) {
  dte_online_start(0, 0, 0, from_kind, kXon, kXoff, to_kind, kXon, kXoff, 0, '+', guard, 0);
  dte_clear_command_flag();
}

void StartFax(std::uint8_t from_kind, std::uint8_t to_kind) {
  faxdte_start(from_kind, to_kind);
  dte_command_end();
}

Bytes TakeFrom() {
  Bytes bytes;
  while (dte_from_count() != 0) bytes.push_back(dte_from_char());
  return bytes;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

void Ticks(std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) {
    SleepMs(10);
    ctl_tick_10ms();
  }
}

}  // namespace vxctl::testing
