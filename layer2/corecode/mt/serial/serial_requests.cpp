// The standard serial device-control requests: one table of codes with the
// sizes of their input and output and the routine that serves them. A
// buffer shorter than the request's structure is refused before anything
// happens; a failing port function gives STATUS_INVALID_PARAMETER.
#include <algorithm>
#include <array>
#include <cstring>

#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/serial/handflow.h"
#include "layer2/corecode/mt/serial/serial_dispatch.h"

namespace vxctl {
namespace {

// The events a wait mask may select.
constexpr ULONG kWaitMaskEvents = 0x7FF;

struct Request {
  PIRP irp;
  SerialDeviceExtension& extension;
  PortBlock* port;
  UCHAR* buffer;  // the system buffer: input, then output
  ULONG input_length;
  ULONG_PTR& information;
};

using Serve = NTSTATUS (*)(Request&);

struct Entry {
  ULONG code;
  ULONG input;   // bytes the input must hold at least
  ULONG output;  // bytes the output must hold at least
  Serve serve;
};

NTSTATUS PortResult(NTSTATUS status) {
  return NT_SUCCESS(status) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

template <class T>
T In(const Request& r) {
  T value;
  std::memcpy(&value, r.buffer, sizeof value);
  return value;
}

template <class T>
NTSTATUS Out(Request& r, const T& value) {
  std::memcpy(r.buffer, &value, sizeof value);
  r.information = sizeof value;
  return STATUS_SUCCESS;
}

// Reads the settings, lets `change` edit them and applies `mask`.
template <class Change>
NTSTATUS ChangeState(Request& r, std::uint32_t mask, Change change) {
  SerialDcb dcb{};
  if (!NT_SUCCESS(port_call_get_state(r.port, &dcb))) return STATUS_INVALID_PARAMETER;
  change(dcb);
  return PortResult(port_call_set_state(r.port, &dcb, mask));
}

template <std::uint32_t kFunction>
NTSTATUS Escape(Request& r) {
  return PortResult(port_call_escape(r.port, kFunction));
}

NTSTATUS Nothing(Request&) { return STATUS_SUCCESS; }

NTSTATUS SetBaud(Request& r) {
  const auto baud = In<SERIAL_BAUD_RATE>(r).BaudRate;
  return ChangeState(r, kFieldBaud, [&](SerialDcb& d) { d.baud = baud; });
}

NTSTATUS GetBaud(Request& r) {
  SerialDcb dcb{};
  if (!NT_SUCCESS(port_call_get_state(r.port, &dcb))) return STATUS_INVALID_PARAMETER;
  return Out(r, SERIAL_BAUD_RATE{dcb.baud});
}

NTSTATUS SetQueueSize(Request& r) {
  const auto sizes = In<SERIAL_QUEUE_SIZE>(r);
  return PortResult(port_call_setup(r.port, sizes.InSize, sizes.OutSize));
}

NTSTATUS SetLineControl(Request& r) {
  const auto line = In<SERIAL_LINE_CONTROL>(r);
  return ChangeState(r, kFieldByteSize | kFieldParity | kFieldStopBits, [&](SerialDcb& d) {
    d.stop_bits = line.StopBits;
    d.parity = line.Parity;
    d.byte_size = line.WordLength;
  });
}

NTSTATUS GetLineControl(Request& r) {
  SerialDcb dcb{};
  if (!NT_SUCCESS(port_call_get_state(r.port, &dcb))) return STATUS_INVALID_PARAMETER;
  return Out(r, SERIAL_LINE_CONTROL{dcb.stop_bits, dcb.parity, dcb.byte_size});
}

NTSTATUS ImmediateChar(Request& r) {
  if (r.input_length != 1) return STATUS_BUFFER_TOO_SMALL;
  return PortResult(port_call_transmit_char(r.port, r.buffer[0]));
}

NTSTATUS SetTimeouts(Request& r) {
  auto timeouts = In<SERIAL_TIMEOUTS>(r);
  return PortResult(port_call_timeouts(r.port, kTimeoutsSet, &timeouts));
}

NTSTATUS GetTimeouts(Request& r) {
  SERIAL_TIMEOUTS timeouts{};
  if (!NT_SUCCESS(port_call_timeouts(r.port, kTimeoutsGet, &timeouts))) {
    return STATUS_INVALID_PARAMETER;
  }
  return Out(r, timeouts);
}

NTSTATUS GetWaitMask(Request& r) { return Out(r, ULONG{r.extension.wait_mask}); }

NTSTATUS SetWaitMask(Request& r) {
  return ntdrv_set_wait_mask(r.extension, In<ULONG>(r) & kWaitMaskEvents);
}

NTSTATUS WaitOnMask(Request& r) { return ntdrv_wait_on_mask(r.extension, r.irp); }

NTSTATUS Purge(Request& r) {
  const ULONG mask = In<ULONG>(r);
  if (mask == 0 || (mask & ~0x0Fu) != 0) return STATUS_INVALID_PARAMETER;
  if ((mask & SERIAL_PURGE_TXABORT) != 0) ntdrv_purge_writes(r.extension);
  if ((mask & SERIAL_PURGE_RXABORT) != 0) ntdrv_purge_reads(r.extension);
  if ((mask & SERIAL_PURGE_RXCLEAR) != 0) {
    uart_purge(kPurgeRead);
    port_rx_resume();
    r.port->notification_flags.fetch_and(~kNotifiedRead);
  }
  if ((mask & SERIAL_PURGE_TXCLEAR) != 0) {
    const bool held = uart_tx_count() != 0;
    uart_purge(kPurgeWrite);
    if (held && r.port->notifications.write.armed.load() != 0) port_notify(kNotifyWrite);
  }
  return STATUS_SUCCESS;
}

NTSTATUS GetChars(Request& r) {
  SerialDcb dcb{};
  if (!NT_SUCCESS(port_call_get_state(r.port, &dcb))) return STATUS_INVALID_PARAMETER;
  return Out(r, SERIAL_CHARS{dcb.eof_char, dcb.error_char, port_state().break_char.load(),
                             dcb.event_char1, dcb.xon_char, dcb.xoff_char});
}

NTSTATUS SetChars(Request& r) {
  const auto chars = In<SERIAL_CHARS>(r);
  port_state().break_char.store(chars.BreakChar);
  return ChangeState(r, kFieldXonChar | kFieldXoffChar | kFieldErrorChar | kFieldEofChar |
                            kFieldEventChar1,
                     [&](SerialDcb& d) {
                       d.eof_char = chars.EofChar;
                       d.error_char = chars.ErrorChar;
                       d.event_char1 = chars.EventChar;
                       d.event_char2 = 0;
                       d.xon_char = chars.XonChar;
                       d.xoff_char = chars.XoffChar;
                     });
}

NTSTATUS GetHandflow(Request& r) {
  SerialDcb dcb{};
  if (!NT_SUCCESS(port_call_get_state(r.port, &dcb))) return STATUS_INVALID_PARAMETER;
  const PortState& state = port_state();
  return Out(r, handflow_from_dcb(dcb, state.control_handshake.load(), state.flow_replace.load()));
}

NTSTATUS SetHandflow(Request& r) {
  const auto handflow = In<SERIAL_HANDFLOW>(r);
  port_state().control_handshake.store(handflow.ControlHandShake);
  port_state().flow_replace.store(handflow.FlowReplace);
  return ChangeState(r, kFieldFlags | kFieldXonLimit | kFieldXoffLimit,
                     [&](SerialDcb& d) { handflow_into_dcb(handflow, d); });
}

NTSTATUS GetModemStatus(Request& r) {
  std::uint32_t status = 0;
  if (!NT_SUCCESS(port_call_get_modem_status(r.port, &status))) return STATUS_INVALID_PARAMETER;
  return Out(r, ULONG{status});
}

NTSTATUS GetCommStatus(Request& r) {
  QueueStatus queues{};
  std::uint32_t errors = 0;
  if (!NT_SUCCESS(port_call_clear_error(r.port, &queues, &errors))) {
    return STATUS_INVALID_PARAMETER;
  }
  SERIAL_STATUS status{};
  status.Errors = errors;
  status.HoldReasons = queues.flags & 0x1F;
  status.EofReceived = (queues.flags & kQueueEofSeen) != 0;
  status.WaitForImmediate = (queues.flags & kQueueImmediateWaits) != 0;
  status.AmountInInQueue = queues.rx_count;
  status.AmountInOutQueue = queues.tx_count;
  return Out(r, status);
}

NTSTATUS GetProperties(Request& r) {
  CommProperties properties{};
  if (!NT_SUCCESS(port_call_get_properties(r.port, &properties))) return STATUS_INVALID_PARAMETER;
  static_assert(sizeof(CommProperties) == sizeof(SERIAL_COMMPROP));
  return Out(r, properties);
}

NTSTATUS GetDtrRts(Request& r) {
  ULONG lines = 0;
  if (uart_line_get(kLineDtr) != 0) lines |= SERIAL_DTR_STATE;
  if (uart_line_get(kLineRts) != 0) lines |= SERIAL_RTS_STATE;
  return Out(r, lines);
}

// Re-applies the settings with no field selected.
NTSTATUS LsrMstInsert(Request& r) {
  return ChangeState(r, 0, [](SerialDcb&) {});
}

NTSTATUS ConfigSize(Request& r) { return Out(r, ULONG{0}); }

NTSTATUS GetStats(Request& r) {
  ULONG* statistics = r.extension.statistics;
  statistics[kCounterReceived] = r.port->counters[kCounterReceived].load();
  statistics[kCounterTransmitted] = r.port->counters[kCounterTransmitted].load();
  SERIALPERF_STATS stats;
  std::memcpy(&stats, statistics, sizeof stats);
  return Out(r, stats);
}

NTSTATUS ClearStats(Request& r) {
  for (auto& counter : r.port->counters) counter.store(0);
  return STATUS_SUCCESS;
}

constexpr std::array<Entry, 34> kRequests{{
    {IOCTL_SERIAL_SET_BAUD_RATE, 4, 0, SetBaud},
    {IOCTL_SERIAL_SET_QUEUE_SIZE, 8, 0, SetQueueSize},
    {IOCTL_SERIAL_SET_LINE_CONTROL, 3, 0, SetLineControl},
    {IOCTL_SERIAL_SET_BREAK_ON, 0, 0, Escape<kEscapeBreakOn>},
    {IOCTL_SERIAL_SET_BREAK_OFF, 0, 0, Escape<kEscapeBreakOff>},
    {IOCTL_SERIAL_IMMEDIATE_CHAR, 1, 0, ImmediateChar},
    {IOCTL_SERIAL_SET_TIMEOUTS, 20, 0, SetTimeouts},
    {IOCTL_SERIAL_GET_TIMEOUTS, 0, 20, GetTimeouts},
    {IOCTL_SERIAL_SET_DTR, 0, 0, Escape<kEscapeSetDtr>},
    {IOCTL_SERIAL_CLR_DTR, 0, 0, Escape<kEscapeClrDtr>},
    {IOCTL_SERIAL_RESET_DEVICE, 0, 0, Nothing},
    {IOCTL_SERIAL_SET_RTS, 0, 0, Escape<kEscapeSetRts>},
    {IOCTL_SERIAL_CLR_RTS, 0, 0, Escape<kEscapeClrRts>},
    {IOCTL_SERIAL_SET_XOFF, 0, 0, Escape<kEscapeSetXoff>},
    {IOCTL_SERIAL_SET_XON, 0, 0, Escape<kEscapeSetXon>},
    {IOCTL_SERIAL_GET_WAIT_MASK, 0, 4, GetWaitMask},
    {IOCTL_SERIAL_SET_WAIT_MASK, 4, 0, SetWaitMask},
    {IOCTL_SERIAL_WAIT_ON_MASK, 0, 4, WaitOnMask},
    {IOCTL_SERIAL_PURGE, 4, 0, Purge},
    {IOCTL_SERIAL_GET_BAUD_RATE, 0, 4, GetBaud},
    {IOCTL_SERIAL_GET_LINE_CONTROL, 0, 3, GetLineControl},
    {IOCTL_SERIAL_GET_CHARS, 0, 6, GetChars},
    {IOCTL_SERIAL_SET_CHARS, 6, 0, SetChars},
    {IOCTL_SERIAL_GET_HANDFLOW, 0, 16, GetHandflow},
    {IOCTL_SERIAL_SET_HANDFLOW, 16, 0, SetHandflow},
    {IOCTL_SERIAL_GET_MODEMSTATUS, 0, 4, GetModemStatus},
    {IOCTL_SERIAL_GET_COMMSTATUS, 0, 18, GetCommStatus},
    {IOCTL_SERIAL_XOFF_COUNTER, 0, 0, Nothing},
    {IOCTL_SERIAL_GET_PROPERTIES, 0, 62, GetProperties},
    {IOCTL_SERIAL_GET_DTRRTS, 0, 4, GetDtrRts},
    {IOCTL_SERIAL_LSRMST_INSERT, 1, 0, LsrMstInsert},
    {IOCTL_SERIAL_CONFIG_SIZE, 0, 4, ConfigSize},
    {IOCTL_SERIAL_GET_STATS, 0, 24, GetStats},
    {IOCTL_SERIAL_CLEAR_STATS, 0, 0, ClearStats},
}};

const Entry* Find(ULONG code) {
  const auto it = std::find_if(kRequests.begin(), kRequests.end(),
                               [&](const Entry& e) { return e.code == code; });
  return it == kRequests.end() ? nullptr : &*it;
}

}  // namespace

NTSTATUS ntdrv_serial_request(SerialDeviceExtension& extension, PIRP irp) {
  irp->IoStatus.Information = 0;
  if (!NT_SUCCESS(ntdrv_admit(extension, irp))) return STATUS_UNSUCCESSFUL;
  // The probe device has no port behind it.
  if (extension.kind != kSerialPortDevice) return ntdrv_complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const auto& control = stack->Parameters.DeviceIoControl;
  const Entry* entry = Find(control.IoControlCode);
  if (entry == nullptr) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(extension.lower, irp);
  }
  if (control.InputBufferLength < entry->input || control.OutputBufferLength < entry->output) {
    return ntdrv_complete(irp, STATUS_BUFFER_TOO_SMALL);
  }
  Request request{irp, extension, extension.port_block,
                  static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer), control.InputBufferLength,
                  irp->IoStatus.Information};
  const NTSTATUS status = entry->serve(request);
  if (status == STATUS_PENDING) return status;
  return ntdrv_complete(irp, status);
}

}  // namespace vxctl
