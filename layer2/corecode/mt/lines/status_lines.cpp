#include "layer2/corecode/mt/lines/status_lines.h"

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {

void ModemTask_SetCts(std::uint8_t on) {
  const bool up = ModemTask_GetCts() != 0;
  if (on != 0 && !up) {
    dte_cts_on();
    ModemTask_SetStatusBit(1, kStatusCtsOn);
  } else if (on == 0 && up) {
    dte_cts_off();
    ModemTask_SetStatusBit(0, kStatusCtsOn);
  }
}

void ModemTask_SetDsr(std::uint8_t on) {
  if (on == 1) {
    dte_dsr_on();
  } else {
    dte_dsr_off();
  }
}

void ModemTask_SetRi(std::uint8_t on) {
  if (on == 1) {
    uart_ri_on();
  } else {
    uart_ri_off();
  }
}

void ModemTask_SetDcd(std::uint8_t on) {
  if (on == 1) {
    uart_dcd_on();
  } else {
    uart_dcd_off();
  }
}

std::uint8_t ModemTask_GetCts() { return uart_line_get(kLineCts); }
std::uint8_t ModemTask_GetRts() { return uart_line_get(kLineRts); }
std::uint8_t ModemTask_GetDtr() { return uart_line_get(kLineDtr); }

}  // namespace vxctl
