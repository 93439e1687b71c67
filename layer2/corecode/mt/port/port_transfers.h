// Slots 13 and 14 of the PortFunctionTable: the application's bytes into
// the write queue and the controller's bytes out of the read queue, under
// the port's serial time-outs. Both run in the requesting thread or an IRP
// worker at PASSIVE_LEVEL and wait between rounds (1 ms at most, woken
// early when bytes arrive or room frees); the time-outs advance with the
// controller's 10 ms tick (uart_ms_tick). `abort` (a request's cancel
// flag; may be null) ends a transfer at its next round.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/port/port_block.h"

namespace vxctl {

// Deadlines are computed in 64 bits and saturate here.
inline constexpr std::uint32_t kLongestDeadline = 0xFFFFFFFE;

// Slot 14. False for a missing port, buffer or result (kPortMissing), and
// while the error word is set with abort-on-error; else true with `read`
// bytes copied.
bool port_read(PortBlock* port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* read,
               const volatile BOOLEAN* abort);
// Slot 13. With abort-on-error and an error word: true only for exactly
// kCommErrorWriteShort (nothing written). Lines that do not come on: true,
// nothing written. Fewer bytes than `count` set kCommErrorWriteShort.
bool port_write(PortBlock* port, const std::uint8_t* bytes, std::uint32_t count,
                std::uint32_t* written, const volatile BOOLEAN* abort);
// Waits for the lines that have a time-out in the settings (DCD, CTS,
// DSR): true when all are on; false after one of them timed out (its error
// bit set) or 5001 rounds.
bool port_wait_lines(PortBlock& port);

}  // namespace vxctl
