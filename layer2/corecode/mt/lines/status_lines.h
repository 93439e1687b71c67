// The modem-status lines the application sees (CTS, DSR, RI, DCD) as the
// modem task raises and lowers them, the application's lines it reads
// (CTS back, RTS, DTR), and the modem task's status word. The lines go
// through the DTE interface and the port, so status_lines.cpp is built
// with the DTE interface (ctl_dte), which calls ModemTask_SetCts.
#pragma once

#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {

// Bits of the modem task's status word (ModemTaskState::status_word).
inline constexpr std::uint32_t kStatusOffHook = 0x4;
inline constexpr std::uint32_t kStatusCtsOn = 0x80000;

// Sets (on non-zero) or clears (0) `mask` in the status word.
inline void ModemTask_SetStatusBit(std::uint8_t on, std::uint32_t mask) {
  std::atomic<std::uint32_t>& word = MachineState<ModemTaskState>().status_word;
  if (on != 0) {
    word.fetch_or(mask);
  } else {
    word.fetch_and(~mask);
  }
}

// Raises CTS when it is down (non-zero `on`) or lowers it when it is up,
// keeping kStatusCtsOn in step; a line already as asked is left alone.
void ModemTask_SetCts(std::uint8_t on);
// 1 raises the line, any other value lowers it.
void ModemTask_SetDsr(std::uint8_t on);
void ModemTask_SetRi(std::uint8_t on);
void ModemTask_SetDcd(std::uint8_t on);
// The lines as the port holds them: 1 up, 0 down.
std::uint8_t ModemTask_GetCts();
std::uint8_t ModemTask_GetRts();
std::uint8_t ModemTask_GetDtr();

}  // namespace vxctl
