// port_read, port_write and the wait for the handshake lines before a
// write.
#include "layer2/corecode/mt/port/port_transfers.h"

#include <algorithm>
#include <array>
#include <span>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

constexpr std::uint32_t kForever = 0xFFFFFFFF;
constexpr std::uint32_t kLineRounds = 5001;
constexpr LONGLONG kOneMs = -10'000;  // 100 ns units, relative

bool Missing(PortBlock* port) {
  (port != nullptr ? *port : port_block()).last_error.store(kPortMissing);
  return false;
}

bool Aborted(const volatile BOOLEAN* abort) { return abort != nullptr && *abort != FALSE; }

// One round's wait: until `event` is set or 1 ms has passed.
void WaitRound(KEVENT& event) {
  LARGE_INTEGER timeout;
  timeout.QuadPart = kOneMs;
  KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
}

std::uint32_t Deadline(std::uint32_t constant, std::uint32_t count, std::uint32_t multiplier) {
  const std::uint64_t total =
      std::uint64_t{constant} + std::uint64_t{count} * std::uint64_t{multiplier};
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, kLongestDeadline));
}

void SetUpReadTimeouts(PortBlock& port, TransferState& t, std::uint32_t count) {
  const std::uint32_t interval = port.timeouts.ReadIntervalTimeout;
  const std::uint32_t multiplier = port.timeouts.ReadTotalTimeoutMultiplier;
  const std::uint32_t constant = port.timeouts.ReadTotalTimeoutConstant;
  t.read_total_active.store(0);
  t.interval_active.store(0);
  t.received.store(0);
  t.read_deadline.store(0);
  t.interval_limit.store(0);
  t.return_on_any.store(constant > 0 && constant < kForever && multiplier == kForever &&
                        interval == kForever);
  if (interval > 0 && interval < kForever) {
    t.interval_active.store(1);
    t.interval_limit.store(interval);
  }
  if (constant == 0 && multiplier == 0) {
    // Return with what is there.
    if (interval == kForever) t.read_total_active.store(1);
  } else if (constant != kForever && multiplier != kForever) {
    t.read_deadline.store(uart_rx_count() > count ? 0 : Deadline(constant, count, multiplier));
    t.read_total_active.store(1);
  } else if (constant < kForever && multiplier == kForever) {
    t.read_deadline.store(constant);
    t.read_total_active.store(1);
  }
  port.elapsed[kElapsedReadTotal].store(0);
  port.elapsed[kElapsedReadInterval].store(0);
}

// In command mode with a service class set, a read ends once the command
// interpreter has nothing more to say.
bool CommandAnswered(const TransferState& t) {
  return dte_command_flag().load() != 0 && acu_fclass().load() != 0 && dte_cmd_to_count() == 0 &&
         t.received.load() != 0 && acu_response_pending().load() == 0;
}

// The read's wait between rounds: false when a time-out ends the read.
bool ReadWaits(PortBlock& port, const TransferState& t) {
  if (uart_rx_count() != 0) return true;
  if (t.read_total_active.load() != 0 &&
      port.elapsed[kElapsedReadTotal].load() >= t.read_deadline.load()) {
    return false;
  }
  if (t.interval_active.load() != 0 && t.received.load() != 0 &&
      port.elapsed[kElapsedReadInterval].load() >= t.interval_limit.load()) {
    return false;
  }
  WaitRound(port_state().rx_arrived);
  return true;
}

struct LineTimeout {
  std::uint8_t line;  // MSR line bit
  std::uint32_t timeout;
  std::uint32_t error;
};

// The settings' record is packed: its time-outs are read by name.
std::array<LineTimeout, 3> LineTimeouts(const SerialDcb& dcb) {
  return {{{kMsrCts, dcb.cts_timeout, kCommErrorCtsTimeout},
           {kMsrDsr, dcb.dsr_timeout, kCommErrorDsrTimeout},
           {kMsrDcd, dcb.dcd_timeout, kCommErrorDcdTimeout}}};
}

std::uint8_t MsrLines(const PortBlock& port) {
  const std::atomic<std::uint8_t>* msr = port.msr.load();
  return msr == nullptr ? 0 : msr->load();
}

}  // namespace

bool port_read(PortBlock* port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* read,
               const volatile BOOLEAN* abort) {
  if (port == nullptr || buffer == nullptr || read == nullptr) return Missing(port);
  *read = 0;
  port->last_error.store(kPortOk);
  if (port->error_word.load() != 0 && (port->dcb.flags & kDcbAbortOnError) != 0) return false;
  PortState& state = port_state();
  TransferState& t = state.transfer;
  SetUpReadTimeouts(*port, t, count);

  std::uint32_t copied = 0;
  while (copied < count) {
    if (Aborted(abort)) break;
    if (uart_rx_count() != 0) {
      copied += uart_rx_get(std::span(buffer + copied, count - copied));
      port->elapsed[kElapsedReadInterval].store(0);
      t.received.store(1);
      continue;
    }
    if (CommandAnswered(t)) break;
    if (!ReadWaits(*port, t)) break;
    if (t.return_on_any.load() != 0 && copied != 0) break;
  }

  const std::uint32_t left = uart_rx_count();
  if ((port->flow.load() & (kFlowStoppedByLines | kFlowXoffSent)) != 0 &&
      (left <= state.receive_mark.load() || left == 0)) {
    port_rx_resume();
  }
  *read = copied;
  if (copied != 0) port->notification_flags.fetch_and(~kNotifiedRead);
  return true;
}

bool port_wait_lines(PortBlock& port) {
  const std::array<LineTimeout, 3> timeouts = LineTimeouts(port.dcb);
  std::uint8_t required = 0;
  for (const LineTimeout& l : timeouts) {
    if (l.timeout != 0 && (MsrLines(port) & l.line) == 0) required |= l.line;
  }
  if (required == 0) return true;
  port.elapsed[kElapsedWrite].store(0);
  for (std::uint32_t round = 0; round < kLineRounds; ++round) {
    const std::uint8_t lines = MsrLines(port);
    for (const LineTimeout& l : timeouts) {
      if ((required & l.line) == 0) continue;
      if ((lines & l.line) != 0) {
        required &= static_cast<std::uint8_t>(~l.line);
      } else if (port.elapsed[kElapsedWrite].load() > l.timeout) {
        port.error_word.fetch_or(l.error);
        return false;
      }
    }
    if (required == 0) return true;
    WaitRound(port_state().tx_room);
  }
  return false;
}

bool port_write(PortBlock* port, const std::uint8_t* bytes, std::uint32_t count,
                std::uint32_t* written, const volatile BOOLEAN* abort) {
  if (port == nullptr || bytes == nullptr || written == nullptr) {
    if (written != nullptr) *written = 0;
    return Missing(port);
  }
  *written = 0;
  port->last_error.store(kPortOk);
  const std::uint32_t errors = port->error_word.load();
  if (errors != 0 && (port->dcb.flags & kDcbAbortOnError) != 0) {
    port->last_error.store(static_cast<std::int32_t>(errors));
    return errors == kCommErrorWriteShort;
  }
  if (!port_wait_lines(*port)) return true;

  PortState& state = port_state();
  TransferState& t = state.transfer;
  const std::uint32_t multiplier = port->timeouts.WriteTotalTimeoutMultiplier;
  const std::uint32_t constant = port->timeouts.WriteTotalTimeoutConstant;
  const bool timed = multiplier != 0 || constant != 0;
  t.write_deadline.store(timed ? Deadline(constant, count, multiplier) : 0);
  t.write_total_active.store(timed);
  port->elapsed[kElapsedWrite].store(0);

  std::uint32_t queued = 0;
  while (queued < count) {
    if (t.write_total_active.load() != 0 && t.write_deadline.load() == 0) break;
    if (Aborted(abort)) break;
    const std::uint32_t n = uart_tx_put(std::span(bytes + queued, count - queued));
    queued += n;
    if (n != 0) continue;
    if (t.write_total_active.load() != 0 &&
        port->elapsed[kElapsedWrite].load() >= t.write_deadline.load()) {
      break;
    }
    WaitRound(state.tx_room);
  }

  if (uart_tx_count() >= port->notifications.write.threshold.load()) {
    port->notification_flags.fetch_and(~kNotifiedWrite);
  }
  *written = queued;
  if (queued < count) port->error_word.fetch_or(kCommErrorWriteShort);
  port->last_error.store(kPortOk);
  return true;
}

}  // namespace vxctl
