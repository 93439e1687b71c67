// The calls the serial requests make into the port: each checks that its
// slot of the PortFunctionTable is filled, calls it, and answers
// STATUS_SUCCESS, or STATUS_UNSUCCESSFUL for a missing port or slot or a
// false result (the port's last error says why).
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/port/port_block.h"
#include "platform/nt/ntstatus.h"

namespace vxctl {

// Slot 23 with no identifier, argument 0 and an error cell preset to 1; a
// null port answered fails. Success raises the port-opened flag.
NTSTATUS port_call_open(PortBlock* port);
NTSTATUS port_call_close(PortBlock* port);
NTSTATUS port_call_get_properties(PortBlock* port, CommProperties* properties);
NTSTATUS port_call_set_state(PortBlock* port, const SerialDcb* dcb, std::uint32_t mask);
NTSTATUS port_call_get_state(PortBlock* port, SerialDcb* dcb);
// Slot 2 with no buffers; the write queue at most 4096 bytes.
NTSTATUS port_call_setup(PortBlock* port, std::uint32_t read_size, std::uint32_t write_size);
NTSTATUS port_call_transmit_char(PortBlock* port, std::uint8_t c);
NTSTATUS port_call_clear_error(PortBlock* port, QueueStatus* status, std::uint32_t* errors);
NTSTATUS port_call_get_modem_status(PortBlock* port, std::uint32_t* status);
NTSTATUS port_call_escape(PortBlock* port, std::uint32_t function);

// No slot: the five time-outs copied out of the port (kTimeoutsGet) or
// into it (kTimeoutsSet).
inline constexpr std::uint32_t kTimeoutsGet = 0;
inline constexpr std::uint32_t kTimeoutsSet = 1;
NTSTATUS port_call_timeouts(PortBlock* port, std::uint32_t operation, SERIAL_TIMEOUTS* timeouts);

}  // namespace vxctl
