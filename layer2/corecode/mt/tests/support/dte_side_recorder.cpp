// A recording DTE interface for the port's own tests: the entries the port
// calls (services/dte_side.h), each recording itself in the machine's
// pending log, where PortRig's Delivered and PendingNames read it. A
// character is taken and the rings have the room of empty ones; the
// routing flags are plain bytes, all 0 (online data). Programs and the
// DTE interface's tests link the real one (ctl_dte) instead.
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "layer2/corecode/mt/services/dte_side.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {
namespace {

struct DteSideFlags {
  std::atomic<std::uint8_t> command{0};
  std::atomic<std::uint8_t> fax{0};
  std::atomic<std::uint8_t> voice{0};
  std::atomic<std::uint8_t> stopped{0};
};

DteSideFlags& Flags() { return MachineState<DteSideFlags>(); }

bool Taken(std::string_view name, std::uint8_t c) {
  MachineState<PendingLog>().Record(name, {c});
  return false;
}

}  // namespace

std::atomic<std::uint8_t>& dte_command_flag() { return Flags().command; }
std::atomic<std::uint8_t>& faxdte_mode() { return Flags().fax; }
std::atomic<std::uint8_t>& dte_voice_flag() { return Flags().voice; }
std::atomic<std::uint8_t>& dte_stopped() { return Flags().stopped; }

bool dte_cmd_rx_char(std::uint8_t c) { return Taken("dte_cmd_rx_char", c); }
bool faxdte_rx_char(std::uint8_t c) { return Taken("faxdte_rx_char", c); }
bool dte_rx_raw(std::uint8_t c) { return Taken("dte_rx_raw", c); }
bool dte_rx_char(std::uint8_t c) { return Taken("dte_rx_char", c); }

std::uint32_t dte_cmd_from_free() {
  MachineState<PendingLog>().Record("dte_cmd_from_free");
  return 2048;
}

std::uint32_t dte_from_free() {
  MachineState<PendingLog>().Record("dte_from_free");
  return 1024;
}

void dte_cmd_rts_changed() { MachineState<PendingLog>().Record("dte_cmd_rts_changed"); }
void dte_online_rts_changed() { MachineState<PendingLog>().Record("dte_online_rts_changed"); }
void dte_flow_on_check() { MachineState<PendingLog>().Record("dte_flow_on_check"); }
void dte_break_line_changed() { MachineState<PendingLog>().Record("dte_break_line_changed"); }

// The wake of the wait-on-mask worker, recorded the same way (the real
// one is the port's own and links only when this one is absent).
void ntdrv_wait_wake() { MachineState<PendingLog>().Record("ntdrv_wait_wake"); }

}  // namespace vxctl
