#include "platform/machine/tests/loopback_serial.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <new>

#include "platform/ex/rtlstring.h"
#include "platform/ke/dpc.h"
#include "platform/nt/serial.h"

namespace plat::machine::testing {
namespace {

constexpr ULONG kMaxDword = 0xFFFFFFFF;

// Everything below is guarded by the machine's cancel spin lock.
struct Port {
  Port* peer = this;  // where writes go and whose DTR and RTS this port sees
  const char16_t* link = u"";
  LoopbackSerialLog* log = nullptr;
  bool cts_handshake = false;  // writes wait while CTS is low
  bool rts_handshake = false;  // RTS drops while the read buffer is nearly full
  bool rts_held = false;       // ... and it is
  std::deque<UCHAR> received;
  SERIAL_QUEUE_SIZE queue_size{};
  SERIAL_BAUD_RATE baud_rate{};
  SERIAL_LINE_CONTROL line_control{};
  SERIAL_HANDFLOW handflow{};
  SERIAL_CHARS chars{};
  SERIAL_TIMEOUTS timeouts{};
  bool dtr = false;
  bool rts = false;
  ULONG wait_mask = 0;
  ULONG events = 0;
  PIRP read = nullptr;  // the one read waiting for bytes
  PIRP wait = nullptr;  // the one wait-on-mask
  KTIMER read_timer{};
  KDPC read_timeout{};
};

Port& PortOf(PDEVICE_OBJECT device) { return *static_cast<Port*>(device->DeviceExtension); }

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, NT_SUCCESS(status) ? IO_SERIAL_INCREMENT : IO_NO_INCREMENT);
  return status;
}

bool RtsOn(const Port& port) { return port.rts_handshake ? !port.rts_held : port.rts; }

// What a port sees: the other end's RTS as CTS, its DTR as DSR and DCD.
ULONG ModemStatus(const Port& port) {
  return (RtsOn(*port.peer) ? SERIAL_CTS_STATE : 0) |
         (port.peer->dtr ? SERIAL_DSR_STATE | SERIAL_DCD_STATE : 0);
}

// With the cancel spin lock held: the RTS handshake after the read buffer
// changed (down above the XOFF limit of free space, up at the XON limit).
void FollowReadBuffer(Port& port) {
  if (!port.rts_handshake) return;
  const std::size_t used = port.received.size();
  if (used + static_cast<std::size_t>(port.handflow.XoffLimit) >= kLoopbackBufferSize) {
    port.rts_held = true;
  } else if (used <= static_cast<std::size_t>(port.handflow.XonLimit)) {
    port.rts_held = false;
  }
}

// Takes `irp` out of its slot for completion; false when its cancel routine
// already ran (the canceller completes it).
bool Take(PIRP& slot) {
  if (slot == nullptr || IoSetCancelRoutine(slot, nullptr) == nullptr) return false;
  return true;
}

void Signal(Port& port, KIRQL irql, ULONG events);

// With the cancel spin lock held: serves the waiting read with what arrived.
// Releases the lock.
void FinishRead(Port& port, KIRQL irql, bool timed_out) {
  PIRP irp = port.read;
  if (irp == nullptr || (port.received.empty() && !timed_out) || !Take(port.read)) {
    IoReleaseCancelSpinLock(irql);
    return;
  }
  port.read = nullptr;
  KeCancelTimer(&port.read_timer);
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  const auto count = static_cast<ULONG>(std::min<std::size_t>(length, port.received.size()));
  std::copy_n(port.received.begin(), count, static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer));
  port.received.erase(port.received.begin(), port.received.begin() + count);
  const ULONG seen_before = ModemStatus(*port.peer);
  FollowReadBuffer(port);
  const bool cts_changed = ((seen_before ^ ModemStatus(*port.peer)) & SERIAL_CTS_STATE) != 0;
  if (cts_changed) {
    Signal(*port.peer, irql, SERIAL_EV_CTS);
  } else {
    IoReleaseCancelSpinLock(irql);
  }
  Complete(irp, STATUS_SUCCESS, count);
}

// With the cancel spin lock held: records events and ends a wait that
// takes them. Releases the lock.
void Signal(Port& port, KIRQL irql, ULONG events) {
  port.events |= events & port.wait_mask;
  PIRP irp = port.wait;
  if (irp == nullptr || port.events == 0 || !Take(port.wait)) {
    IoReleaseCancelSpinLock(irql);
    return;
  }
  port.wait = nullptr;
  const ULONG occurred = port.events;
  port.events = 0;
  IoReleaseCancelSpinLock(irql);
  *static_cast<ULONG*>(irp->AssociatedIrp.SystemBuffer) = occurred;
  Complete(irp, STATUS_SUCCESS, sizeof(ULONG));
}

void CancelQueued(PDEVICE_OBJECT device, PIRP irp) {
  Port& port = PortOf(device);
  if (port.read == irp) {
    port.read = nullptr;
    KeCancelTimer(&port.read_timer);
  }
  if (port.wait == irp) port.wait = nullptr;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  Complete(irp, STATUS_CANCELLED);
}

void ReadTimedOut(PKDPC, PVOID context, PVOID, PVOID) {
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  FinishRead(PortOf(static_cast<PDEVICE_OBJECT>(context)), irql, true);
}

// Queues `irp` in `slot` with its cancel routine; false (completed) when it
// was cancelled already or the slot is taken.
NTSTATUS Queue(PIRP& slot, PIRP irp, KIRQL irql) {
  if (slot != nullptr) {
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_INVALID_PARAMETER);
  }
  if (irp->Cancel) {
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_CANCELLED);
  }
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, CancelQueued);
  slot = irp;
  IoReleaseCancelSpinLock(irql);
  return STATUS_PENDING;
}

NTSTATUS Read(PDEVICE_OBJECT device, PIRP irp) {
  Port& port = PortOf(device);
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  const SERIAL_TIMEOUTS& t = port.timeouts;
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  const bool at_once = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                       t.ReadTotalTimeoutConstant == 0;
  const bool first_byte = t.ReadIntervalTimeout == kMaxDword &&
                          t.ReadTotalTimeoutMultiplier == kMaxDword &&
                          t.ReadTotalTimeoutConstant != kMaxDword;
  if (length == 0 || at_once || port.received.size() >= length ||
      (first_byte && !port.received.empty())) {
    port.read = irp;
    IoSetCancelRoutine(irp, CancelQueued);
    FinishRead(port, irql, true);
    return STATUS_SUCCESS;
  }
  const ULONG total = first_byte
                          ? t.ReadTotalTimeoutConstant
                          : t.ReadTotalTimeoutMultiplier * length + t.ReadTotalTimeoutConstant;
  const NTSTATUS status = Queue(port.read, irp, irql);
  if (status == STATUS_PENDING && total != 0) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(total) * 10'000;
    KeSetTimer(&port.read_timer, due, &port.read_timeout);
  }
  return status;
}

void Log(Port& port, ULONG code, const UCHAR* input, ULONG length) {
  std::lock_guard lock(port.log->mutex);
  port.log->requests.push_back({code, std::vector<UCHAR>(input, input + length)});
}

// With the cancel spin lock held: `events` for `port` and `peer_events`
// for its peer (one port for a loopback plug). Releases the lock.
void SignalBoth(Port& port, KIRQL irql, ULONG events, ULONG peer_events) {
  if (port.peer == &port) return Signal(port, irql, events | peer_events);
  Signal(*port.peer, irql, peer_events);
  IoAcquireCancelSpinLock(&irql);
  Signal(port, irql, events);
}

NTSTATUS Write(PDEVICE_OBJECT device, PIRP irp) {
  Port& port = PortOf(device);
  Port& peer = *port.peer;
  const ULONG offered = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
  const auto* bytes = static_cast<const UCHAR*>(irp->AssociatedIrp.SystemBuffer);
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  const ULONG seen_before = ModemStatus(port);
  const bool held = port.cts_handshake && (seen_before & SERIAL_CTS_STATE) == 0;
  const auto length = held ? 0
                           : static_cast<ULONG>(std::min<std::size_t>(
                                 offered, kLoopbackBufferSize - peer.received.size()));
  peer.received.insert(peer.received.end(), bytes, bytes + length);
  FollowReadBuffer(peer);
  const bool cts_changed = ((seen_before ^ ModemStatus(port)) & SERIAL_CTS_STATE) != 0;
  if (length != 0) Log(port, kLoggedWrite, bytes, length);
  SignalBoth(port, irql, (length != 0 ? SERIAL_EV_TXEMPTY : 0) | (cts_changed ? SERIAL_EV_CTS : 0),
             length != 0 ? SERIAL_EV_RXCHAR : 0);
  IoAcquireCancelSpinLock(&irql);
  FinishRead(peer, irql, false);
  return Complete(irp, STATUS_SUCCESS, length);
}

NTSTATUS Control(PDEVICE_OBJECT device, PIRP irp) {
  Port& port = PortOf(device);
  const auto& p = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  auto needs = [&](ULONG in, ULONG out) {
    return p.InputBufferLength >= in && p.OutputBufferLength >= out;
  };
  // Copies a kept setting in or out.
  auto set = [&](auto& kept) {
    if (!needs(sizeof kept, 0)) return Complete(irp, STATUS_BUFFER_TOO_SMALL);
    std::memcpy(&kept, buffer, sizeof kept);
    return Complete(irp, STATUS_SUCCESS);
  };
  auto get = [&](const auto& kept) {
    if (!needs(0, sizeof kept)) return Complete(irp, STATUS_BUFFER_TOO_SMALL);
    std::memcpy(buffer, &kept, sizeof kept);
    return Complete(irp, STATUS_SUCCESS, sizeof kept);
  };
  Log(port, p.IoControlCode, static_cast<const UCHAR*>(buffer), p.InputBufferLength);
  KIRQL irql;
  switch (p.IoControlCode) {
    case IOCTL_SERIAL_SET_QUEUE_SIZE:
      return set(port.queue_size);
    case IOCTL_SERIAL_SET_BAUD_RATE:
      return set(port.baud_rate);
    case IOCTL_SERIAL_GET_BAUD_RATE:
      return get(port.baud_rate);
    case IOCTL_SERIAL_SET_LINE_CONTROL:
      return set(port.line_control);
    case IOCTL_SERIAL_GET_LINE_CONTROL:
      return get(port.line_control);
    case IOCTL_SERIAL_SET_HANDFLOW: {
      if (!needs(sizeof port.handflow, 0)) break;
      IoAcquireCancelSpinLock(&irql);
      const ULONG before = ModemStatus(*port.peer);
      std::memcpy(&port.handflow, buffer, sizeof port.handflow);
      port.cts_handshake = (port.handflow.ControlHandShake & SERIAL_CTS_HANDSHAKE) != 0;
      port.rts_handshake = (port.handflow.FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_HANDSHAKE;
      if ((port.handflow.FlowReplace & SERIAL_RTS_MASK) == SERIAL_RTS_CONTROL) port.rts = true;
      FollowReadBuffer(port);
      const ULONG changed = before ^ ModemStatus(*port.peer);
      Signal(*port.peer, irql, changed & SERIAL_CTS_STATE ? SERIAL_EV_CTS : 0);
      return Complete(irp, STATUS_SUCCESS);
    }
    case IOCTL_SERIAL_GET_HANDFLOW:
      return get(port.handflow);
    case IOCTL_SERIAL_SET_CHARS:
      return set(port.chars);
    case IOCTL_SERIAL_GET_CHARS:
      return get(port.chars);
    case IOCTL_SERIAL_GET_DTRRTS: {
      const ULONG driven = (port.dtr ? SERIAL_DTR_STATE : 0) | (RtsOn(port) ? SERIAL_RTS_STATE : 0);
      return get(driven);
    }
    case IOCTL_SERIAL_SET_TIMEOUTS:
      return set(port.timeouts);
    case IOCTL_SERIAL_GET_TIMEOUTS:
      return get(port.timeouts);
    case IOCTL_SERIAL_SET_DTR:
    case IOCTL_SERIAL_CLR_DTR:
    case IOCTL_SERIAL_SET_RTS:
    case IOCTL_SERIAL_CLR_RTS: {
      IoAcquireCancelSpinLock(&irql);
      const ULONG before = ModemStatus(*port.peer);
      if (p.IoControlCode == IOCTL_SERIAL_SET_DTR || p.IoControlCode == IOCTL_SERIAL_CLR_DTR) {
        port.dtr = p.IoControlCode == IOCTL_SERIAL_SET_DTR;
      } else {
        port.rts = p.IoControlCode == IOCTL_SERIAL_SET_RTS;
      }
      const ULONG changed = before ^ ModemStatus(*port.peer);
      Signal(*port.peer, irql,
             (changed & SERIAL_CTS_STATE ? SERIAL_EV_CTS : 0) |
                 (changed & SERIAL_DSR_STATE ? SERIAL_EV_DSR | SERIAL_EV_RLSD : 0));
      return Complete(irp, STATUS_SUCCESS);
    }
    case IOCTL_SERIAL_SET_XOFF:
    case IOCTL_SERIAL_SET_XON:
    case IOCTL_SERIAL_SET_BREAK_ON:
    case IOCTL_SERIAL_SET_BREAK_OFF:
      return Complete(irp, STATUS_SUCCESS);
    case IOCTL_SERIAL_GET_MODEMSTATUS:
      if (!needs(0, sizeof(ULONG))) break;
      *static_cast<ULONG*>(buffer) = ModemStatus(port);
      return Complete(irp, STATUS_SUCCESS, sizeof(ULONG));
    case IOCTL_SERIAL_SET_WAIT_MASK: {
      if (!needs(sizeof(ULONG), 0)) break;
      IoAcquireCancelSpinLock(&irql);
      port.wait_mask = *static_cast<const ULONG*>(buffer) & 0x7FF;
      port.events = 0;
      // A new mask ends the wait in progress with no events.
      PIRP ended = Take(port.wait) ? port.wait : nullptr;
      if (ended != nullptr) port.wait = nullptr;
      IoReleaseCancelSpinLock(irql);
      if (ended != nullptr) {
        *static_cast<ULONG*>(ended->AssociatedIrp.SystemBuffer) = 0;
        Complete(ended, STATUS_SUCCESS, sizeof(ULONG));
      }
      return Complete(irp, STATUS_SUCCESS);
    }
    case IOCTL_SERIAL_GET_WAIT_MASK:
      if (!needs(0, sizeof(ULONG))) break;
      *static_cast<ULONG*>(buffer) = port.wait_mask;
      return Complete(irp, STATUS_SUCCESS, sizeof(ULONG));
    case IOCTL_SERIAL_WAIT_ON_MASK: {
      if (!needs(0, sizeof(ULONG))) break;
      IoAcquireCancelSpinLock(&irql);
      if (port.wait_mask == 0) {
        IoReleaseCancelSpinLock(irql);
        return Complete(irp, STATUS_INVALID_PARAMETER);
      }
      const NTSTATUS status = Queue(port.wait, irp, irql);
      if (status == STATUS_PENDING) {
        IoAcquireCancelSpinLock(&irql);
        Signal(port, irql, 0);
      }
      return status;
    }
    case IOCTL_SERIAL_PURGE: {
      if (!needs(sizeof(ULONG), 0)) break;
      const ULONG mask = *static_cast<const ULONG*>(buffer);
      if (mask == 0 || (mask & ~0xFu) != 0) return Complete(irp, STATUS_INVALID_PARAMETER);
      IoAcquireCancelSpinLock(&irql);
      if (mask & SERIAL_PURGE_RXCLEAR) {
        port.received.clear();
        FollowReadBuffer(port);
      }
      PIRP aborted = (mask & SERIAL_PURGE_RXABORT) && Take(port.read) ? port.read : nullptr;
      if (aborted != nullptr) {
        port.read = nullptr;
        KeCancelTimer(&port.read_timer);
      }
      IoReleaseCancelSpinLock(irql);
      if (aborted != nullptr) Complete(aborted, STATUS_CANCELLED);
      return Complete(irp, STATUS_SUCCESS);
    }
    case IOCTL_SERIAL_GET_COMMSTATUS: {
      if (!needs(0, sizeof(SERIAL_STATUS))) break;
      SERIAL_STATUS status{};
      IoAcquireCancelSpinLock(&irql);
      status.AmountInInQueue = static_cast<ULONG>(port.received.size());
      IoReleaseCancelSpinLock(irql);
      std::memcpy(buffer, &status, sizeof status);
      return Complete(irp, STATUS_SUCCESS, sizeof status);
    }
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
  return Complete(irp, STATUS_BUFFER_TOO_SMALL);
}

NTSTATUS Cleanup(PDEVICE_OBJECT device, PIRP irp) {
  Port& port = PortOf(device);
  for (PIRP* slot : {&port.read, &port.wait}) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    PIRP queued = Take(*slot) ? *slot : nullptr;
    if (queued != nullptr) *slot = nullptr;
    if (slot == &port.read) KeCancelTimer(&port.read_timer);
    IoReleaseCancelSpinLock(irql);
    if (queued != nullptr) Complete(queued, STATUS_CANCELLED);
  }
  return Complete(irp, STATUS_SUCCESS);
}

void Unload(PDRIVER_OBJECT driver) {
  while (PDEVICE_OBJECT device = driver->DeviceObject) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, PortOf(device).link);
    IoDeleteSymbolicLink(&link);
    PortOf(device).~Port();
    IoDeleteDevice(device);
  }
}

// Makes the port `name` with the link `link`; null on failure (nothing left).
Port* MakePort(PDRIVER_OBJECT driver, const char16_t* name, const char16_t* link) {
  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, name);
  PDEVICE_OBJECT device = nullptr;
  if (!NT_SUCCESS(IoCreateDevice(driver, sizeof(Port), &device_name, FILE_DEVICE_SERIAL_PORT, 0,
                                 TRUE, &device))) {
    return nullptr;
  }
  Port* port = new (device->DeviceExtension) Port;
  port->link = link;
  port->log = &ke::CurrentKernel().slots().Get<LoopbackSerialLog>();
  KeInitializeTimer(&port->read_timer);
  KeInitializeDpc(&port->read_timeout, ReadTimedOut, device);
  device->Flags |= DO_BUFFERED_IO;
  UNICODE_STRING dos_link;
  RtlInitUnicodeString(&dos_link, link);
  if (!NT_SUCCESS(IoCreateSymbolicLink(&dos_link, &device_name))) {
    port->~Port();
    IoDeleteDevice(device);
    return nullptr;
  }
  return port;
}

void SetDispatch(PDRIVER_OBJECT driver) {
  driver->MajorFunction[IRP_MJ_CREATE] = driver->MajorFunction[IRP_MJ_CLOSE] =
      [](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS); };
  driver->MajorFunction[IRP_MJ_CLEANUP] = Cleanup;
  driver->MajorFunction[IRP_MJ_READ] = Read;
  driver->MajorFunction[IRP_MJ_WRITE] = Write;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Control;
  driver->DriverUnload = Unload;
}

}  // namespace

LoopbackSerialLog& LoopbackLogOf(ke::Kernel& machine) {
  return machine.slots().Get<LoopbackSerialLog>();
}

NTSTATUS LoopbackSerialEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  if (MakePort(driver, u"\\Device\\LoopSerial0", u"\\DosDevices\\COM1") == nullptr) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  SetDispatch(driver);
  return STATUS_SUCCESS;
}

NTSTATUS NullModemSerialEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  Port* first = MakePort(driver, u"\\Device\\NullSerial0", u"\\DosDevices\\COM1");
  Port* second =
      first ? MakePort(driver, u"\\Device\\NullSerial1", u"\\DosDevices\\COM2") : nullptr;
  if (second == nullptr) {
    Unload(driver);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  first->peer = second;
  second->peer = first;
  SetDispatch(driver);
  return STATUS_SUCCESS;
}

}  // namespace plat::machine::testing
