// The data-channel poll: installed while the port is open, run at
// dispatch level after every data-pump notification and whenever the
// controller wakes it. It runs the receive handler of the current DataMode
// when the receive block holds something and the transmit handler when
// the transmit block is free.
//
// A receive count of up to 32 is data; 255 is a report without data; any
// other count carries no data and is counted as a receive error. No
// handler copies more than the block's 32 bytes.
#pragma once

#include <cstdint>
#include <span>

namespace vxctl {

void datamode_poll();
void datamode_tx();
void datamode_rx();

// The fax page receive overrun count.
std::uint16_t line_rx_overruns();
// The transmit ring's count; when empty, 1 while the data pump still has
// data to send (register 54 bit 6 clear).
std::uint32_t line_tx_busy();
// Stores c (a full ring counts it lost) and wakes a fax page transmitter
// that ran dry.
void line_tx_put_byte(std::uint8_t c);
// `buffer.size()` consecutive registers from `first`.
void dsp_reg_read_block(std::uint8_t first, std::span<std::uint8_t> buffer);

}  // namespace vxctl
