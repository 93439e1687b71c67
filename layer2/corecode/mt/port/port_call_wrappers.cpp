#include "layer2/corecode/mt/port/port_call_wrappers.h"

#include <algorithm>

namespace vxctl {
namespace {

// Calls `slot` of the port's table with the port and `args`.
template <class Slot, class... Args>
NTSTATUS Call(PortBlock* port, Slot PortFunctionTable::*slot, Args... args) {
  if (port == nullptr || port->table == nullptr || port->table->*slot == nullptr) {
    return STATUS_UNSUCCESSFUL;
  }
  return (port->table->*slot)(port, args...) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

}  // namespace

NTSTATUS port_call_open(PortBlock* port) {
  if (port == nullptr || port->table == nullptr || port->table->open == nullptr) {
    return STATUS_UNSUCCESSFUL;
  }
  std::int32_t error = 1;
  if (port->table->open(nullptr, 0, &error) == nullptr) return STATUS_UNSUCCESSFUL;
  port_state().port_opened.store(1);
  return STATUS_SUCCESS;
}

NTSTATUS port_call_close(PortBlock* port) { return Call(port, &PortFunctionTable::close); }

NTSTATUS port_call_get_properties(PortBlock* port, CommProperties* properties) {
  return Call(port, &PortFunctionTable::get_properties, properties);
}

NTSTATUS port_call_set_state(PortBlock* port, const SerialDcb* dcb, std::uint32_t mask) {
  return Call(port, &PortFunctionTable::set_comm_state, dcb, mask);
}

NTSTATUS port_call_get_state(PortBlock* port, SerialDcb* dcb) {
  return Call(port, &PortFunctionTable::get_comm_state, dcb);
}

NTSTATUS port_call_setup(PortBlock* port, std::uint32_t read_size, std::uint32_t write_size) {
  return Call(port, &PortFunctionTable::setup, static_cast<std::uint8_t*>(nullptr), read_size,
              static_cast<std::uint8_t*>(nullptr), std::min(write_size, kStaticQueueSize));
}

NTSTATUS port_call_transmit_char(PortBlock* port, std::uint8_t c) {
  return Call(port, &PortFunctionTable::transmit_char, c);
}

NTSTATUS port_call_clear_error(PortBlock* port, QueueStatus* status, std::uint32_t* errors) {
  return Call(port, &PortFunctionTable::clear_error, status, errors);
}

NTSTATUS port_call_get_modem_status(PortBlock* port, std::uint32_t* status) {
  return Call(port, &PortFunctionTable::get_modem_status, status);
}

NTSTATUS port_call_escape(PortBlock* port, std::uint32_t function) {
  return Call(port, &PortFunctionTable::escape, function, std::uint32_t{0},
              static_cast<std::uint32_t*>(nullptr));
}

NTSTATUS port_call_timeouts(PortBlock* port, std::uint32_t operation, SERIAL_TIMEOUTS* timeouts) {
  if (port == nullptr || timeouts == nullptr) return STATUS_UNSUCCESSFUL;
  switch (operation) {
    case kTimeoutsGet:
      *timeouts = port->timeouts;
      return STATUS_SUCCESS;
    case kTimeoutsSet:
      port->timeouts = *timeouts;
      return STATUS_SUCCESS;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

}  // namespace vxctl
