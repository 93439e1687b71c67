// Applying and reporting the port's settings: the device control block
// with its field mask, the handshake its flags ask for, the line rate, and
// the communication configuration.
#include <algorithm>
#include <array>

#include "layer2/corecode/mt/port/dcb_conversions.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/port_result.h"
#include "layer2/corecode/mt/port/uart.h"

namespace vxctl {
namespace {

struct CharField {
  std::uint32_t mask;
  std::uint8_t SerialDcb::*field;
};

constexpr CharField kCharFields[] = {
    {kFieldXonChar, &SerialDcb::xon_char},     {kFieldXoffChar, &SerialDcb::xoff_char},
    {kFieldErrorChar, &SerialDcb::error_char}, {kFieldEofChar, &SerialDcb::eof_char},
    {kFieldEventChar1, &SerialDcb::event_char1}, {kFieldEventChar2, &SerialDcb::event_char2},
};

// Rates the line runs at as requested.
constexpr std::array<std::uint32_t, 22> kLineRates = {
    300,   600,   1200,  2400,  4800,  7200,  9600,  12000, 14400, 16800,  19200,
    21600, 24000, 26400, 28800, 31200, 33600, 36000, 38400, 57600, 115200, 230400};

struct BaudMapping {
  std::uint32_t requested;
  std::uint32_t rate;
};

constexpr BaudMapping kMappedRates[] = {
    {110, 300},       {56000, 57600},   {128000, 115200}, {0xFF10, 300},   {0xFF11, 300},
    {0xFF12, 600},    {0xFF13, 1200},   {0xFF14, 2400},   {0xFF15, 4800},  {0xFF16, 9600},
    {0xFF17, 14400},  {0xFF18, 19200},  {0xFF1B, 38400},  {0xFF1F, 57600}, {0xFF23, 115200},
    {0xFF27, 230400},
};

constexpr std::uint32_t kFallbackRate = 38400;

void SetTimeoutLines(PortBlock& port) {
  const SerialDcb& dcb = port.dcb;
  auto lines = [&](auto chosen) {
    return static_cast<std::uint8_t>((chosen(dcb.dcd_timeout) ? kMsrDcd : 0) |
                                     (chosen(dcb.dsr_timeout) ? kMsrDsr : 0) |
                                     (chosen(dcb.cts_timeout) ? kMsrCts : 0));
  };
  port.timeout_lines.store(lines([](std::uint32_t ms) { return ms != 0; }));
  port.infinite_timeout_lines.store(lines([](std::uint32_t ms) { return ms == 0xFFFFFFFF; }));
}

// After new settings the flow state starts again: a controller the port
// had stopped (by an XOFF or the handshake lines) is released first, an
// XON it is still owed stays owed, a break from the application keeps its
// hold, and the hold by CTS and DSR is evaluated afresh.
void RestartFlow(PortBlock& port) {
  port.flow_threshold.store(port.read_queue.size - port.dcb.xoff_limit);
  if ((port.flow.load() & (kFlowStoppedByLines | kFlowXoffSent | kFlowXonToSend)) != 0) {
    port_rx_resume();
  }
  const std::uint8_t kept = kFlowXonToSend | (port.lines.break_in.load() != 0 ? kFlowBreakIn : 0);
  port.flow.fetch_and(kept);
  port_msr_refresh();
  port_msr_update(kMsrLeave, 0);
}

}  // namespace

std::uint32_t port_baud_map(std::uint32_t baud) {
  if (std::find(kLineRates.begin(), kLineRates.end(), baud) != kLineRates.end()) return baud;
  for (const BaudMapping& mapping : kMappedRates) {
    if (mapping.requested == baud) return mapping.rate;
  }
  return kFallbackRate;
}

void port_apply_handshake(PortBlock& port) {
  const std::uint32_t flags = port.dcb.flags;
  std::uint8_t input = 0;
  if ((flags & kDcbRtsDisable) == 0) {
    uart_rts_on();
    if ((flags & kDcbRtsHandshake) != 0) input |= kInputRts;
  } else {
    uart_rts_off();
  }
  // DTR stays on even with DTR disable; only the escape lowers it.
  uart_dtr_on();
  if ((flags & kDcbDtrHandshake) != 0 && (flags & kDcbDtrDisable) == 0) input |= kInputDtr;
  port.input_handshake.store(input);
  port.output_handshake.store(((flags & kDcbCtsOutput) != 0 ? kOutputCts : 0) |
                              ((flags & kDcbDsrOutput) != 0 ? kOutputDsr : 0));
  port_msr_update(kMsrLeave, 0);
}

bool port_set_comm_state(PortBlock* port, const SerialDcb* dcb, std::uint32_t mask) {
  if (port == nullptr || dcb == nullptr) return PortFail(port, kPortMissing);
  SerialDcb& settings = port->dcb;
  if ((mask & kFieldStopBits) != 0) {
    if (dcb->stop_bits > 2) return PortFail(port, kPortBadParameter);
    settings.stop_bits = dcb->stop_bits;
    uart_set_stop_bits(dcb->stop_bits);
  }
  if ((mask & kFieldParity) != 0) {
    if (dcb->parity > 4) return PortFail(port, kPortBadParameter);
    settings.parity = dcb->parity;
    uart_set_parity(dcb->parity);
  }
  if ((mask & kFieldByteSize) != 0) {
    if (dcb->byte_size < 5 || dcb->byte_size > 8) return PortFail(port, kPortBadByteSize);
    settings.byte_size = dcb->byte_size;
    uart_set_data_bits(dcb->byte_size);
  }
  if ((mask & kFieldBaud) != 0) {
    settings.baud = dcb->baud;
    uart_set_baud(port_baud_map(dcb->baud));
  }
  if ((mask & kFieldXonLimit) != 0) settings.xon_limit = dcb->xon_limit;
  if ((mask & kFieldXoffLimit) != 0) settings.xoff_limit = dcb->xoff_limit;
  settings.reserved = dcb->reserved;
  for (const CharField& field : kCharFields) {
    if ((mask & field.mask) != 0) settings.*field.field = dcb->*field.field;
  }
  if ((mask & kFieldTransmitDelay) != 0) settings.transmit_delay = dcb->transmit_delay;
  if ((mask & kFieldDcdTimeout) != 0) settings.dcd_timeout = dcb->dcd_timeout;
  if ((mask & kFieldCtsTimeout) != 0) settings.cts_timeout = dcb->cts_timeout;
  if ((mask & kFieldDsrTimeout) != 0) settings.dsr_timeout = dcb->dsr_timeout;
  if ((mask & kFieldTimeouts) != 0) SetTimeoutLines(*port);
  if ((mask & kFieldFlags) != 0) {
    settings.flags = dcb->flags;
    port_apply_handshake(*port);
  }
  RestartFlow(*port);
  port->state_flags.fetch_or(kStateApplied);
  return PortSucceed(port);
}

bool port_get_comm_state(PortBlock* port, SerialDcb* dcb) {
  if (port == nullptr || dcb == nullptr) return PortFail(port, kPortMissing);
  *dcb = port->dcb;
  return PortSucceed(port);
}

bool port_get_comm_config(PortBlock* port, CommConfig* config, std::uint32_t* size) {
  if (port == nullptr) return PortFail(port, kPortMissing);
  if (config == nullptr || size == nullptr) return false;
  const std::uint32_t given = *size;
  *size = sizeof(CommConfig);
  if (given < sizeof(CommConfig)) return PortFail(port, kPortMissing);
  *config = CommConfig{
      .size = sizeof(CommConfig),
      .version = 0x100,
      .reserved = 0,
      .dcb = dcb_to_comm(port->dcb),
      .provider_subtype = 1,
      .provider_offset = 0,
      .provider_size = 0,
  };
  return PortSucceed(port);
}

bool port_set_comm_config(PortBlock* port, const CommConfig* config, std::uint32_t size) {
  if (port == nullptr || config == nullptr || size < sizeof(CommConfig)) {
    return PortFail(port, kPortMissing);
  }
  SerialDcb dcb{};
  dcb_from_comm(config->dcb, dcb);
  return port_set_comm_state(port, &dcb, kFieldAll);
}

}  // namespace vxctl
