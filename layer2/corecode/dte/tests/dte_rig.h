// The DTE interface's tests run over the real port: PortRig opens the
// machine's port on a controller thread, and these helpers play the
// application on its other side.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "layer2/corecode/dte/dte_state.h"
#include "layer2/corecode/mt/port/port_block.h"

namespace vxctl::testing {

using Bytes = std::vector<std::uint8_t>;

// Runs `body` on the controller thread of a fresh machine with the port
// open and the controller running; the DTE interface starts as at open
// (command mode, every ring empty).
void RunDte(const std::function<void(DteInterfaceState&)>& body);

// The application writes `bytes` and the port drains its write queue into
// the DTE interface; what stays in the write queue is returned.
std::uint32_t AppWrite(const Bytes& bytes);
// The application reads everything from the read queue.
Bytes AppRead();
// Online data mode with the given flow kinds and the default characters,
// escape "+" with `guard` (20 ms units).
void StartOnline(std::uint8_t from_kind, std::uint8_t to_kind, std::uint16_t guard = 50);
// Fax DTE mode as the fax services enter it: faxdte_start, then the end
// of command mode (dte_command_end) for the page data.
void StartFax(std::uint8_t from_kind, std::uint8_t to_kind);
// Every online character the DTE interface holds from the application.
Bytes TakeFrom();
Bytes Text(const std::string& text);
// Runs ctl_tick_10ms `n` times, each after 10 ms of the machine's time.
void Ticks(std::uint32_t n);

}  // namespace vxctl::testing
