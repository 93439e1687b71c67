// The line rings: line_rx_ring holds what the data pump received,
// line_tx_ring what waits to be sent to it. The protocol engines fill and
// drain them from the task thread; the data-channel poll from dispatch
// level. Each ring changes only under its own lock.
#pragma once

#include <cstdint>
#include <span>

namespace vxctl {

// Empties the receive ring and the V.80 receive overrun count; in DataMode
// 4 then tells the data pump (packet 0x8B {1}). The send's result
// (DspSendResult; kDspSent when nothing was to be sent).
std::uint32_t line_rx_clear();
// One byte (the caller checked the count); flow resumes below 256.
std::uint8_t line_rx_get_char();
// One byte, without the flow handling.
std::uint8_t line_rx_get_byte();
std::uint32_t line_rx_count();
// The size, the flow marks and the count.
void line_rx_ring_info(std::uint16_t& size, std::uint16_t& stop_mark, std::uint16_t& resume_mark,
                       std::uint16_t& count);

void line_tx_clear();
std::uint32_t line_tx_count();
std::uint32_t line_tx_free();
// Queues a byte (a full ring counts it lost) and wakes the poll when the
// transmit side was idle.
void line_tx_put_char(std::uint8_t c);
// Queues a block; in DataMode 4 the V.80 sub-mode decides when the poll
// wakes. What does not fit is counted lost.
void line_tx_put_block(std::span<const std::uint8_t> bytes);
// Wakes the poll for queued transmit data unless a wake is pending.
void line_tx_kick();

}  // namespace vxctl
