// A serial port with a loopback plug, as a test driver for serial clients:
// "\Device\LoopSerial0" with the link COM1. What is written comes back to be
// read, through a 4 KiB buffer: a write takes only what fits (nothing while
// it is full). DTR drives DSR and DCD, RTS drives CTS. It serves the serial
// requests the communication calls send: time-outs, DTR and RTS, modem
// status, wait mask and wait-on-mask, purge and the communication status;
// reads follow the read time-outs (at once, up to the first byte, or up to
// the whole length, each within its total time-out). The set-up requests
// (queue sizes, speed, line control, handflow, characters) are kept and
// given back, and the handshake of SET_HANDFLOW kept (as on the null modem
// below). Every device control and every write is logged, in order.
#pragma once

#include <mutex>
#include <vector>

#include "platform/io/io.h"
#include "platform/ke/kernel.h"

namespace plat::machine::testing {

inline constexpr ULONG kLoopbackBufferSize = 4096;

// A logged request: a device control with its input, or a write
// (code kLoggedWrite) with the bytes it took.
inline constexpr ULONG kLoggedWrite = 0;
struct LoggedRequest {
  ULONG code;
  std::vector<UCHAR> input;
};

// The machine's log; host threads read it while the machine runs.
struct LoopbackSerialLog {
  std::mutex mutex;
  std::vector<LoggedRequest> requests;

  std::vector<LoggedRequest> Copy() {
    std::lock_guard lock(mutex);
    return requests;
  }
};

// The log of `machine`'s loopback port (made when the driver loads).
LoopbackSerialLog& LoopbackLogOf(ke::Kernel& machine);

NTSTATUS LoopbackSerialEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

// Two such ports joined by a null-modem cable: "\Device\NullSerial0" (COM1)
// and "\Device\NullSerial1" (COM2). What one writes the other reads; each
// sees the other's RTS as CTS and its DTR as DSR and DCD. The handshake
// SET_HANDFLOW asks for is kept: with the CTS handshake a port writes
// nothing while CTS is low; with the RTS handshake a port drops RTS while
// less than the XOFF limit of its buffer is free and raises it again at the
// XON limit of bytes. The log is shared by both ports.
NTSTATUS NullModemSerialEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace plat::machine::testing
