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

inline constexpr std::uint8_t kMailboxBytes = 32;
inline constexpr std::uint8_t kDspStatusRegister = 54;
inline constexpr std::uint8_t kTxDrainedBit = 0x40;  // register 54: the data pump sent all

// The data bytes of a receive block of `count`: up to 32; none for a
// report (255) or any other count (counted as a receive error).
std::uint8_t rx_data_count(std::uint8_t count);
// The data pump still has data to send (register 54 bit 6 clear).
bool dsp_tx_pending();

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
