// The HDLC handlers of DataModes 1 (MNP), 3 (LAPM) and 8 (fax): frames
// from the link protocols' and fax's sources go out in 32-byte blocks, and
// received blocks are gathered into their receive buffers, up to the
// mode's frame limit.
#pragma once

#include <cstdint>

namespace vxctl {

void hdlc_tx();
void hdlc_rx();
// Closes the frame being received with status s and fetches the next buffer.
void hdlc_rx_frame_end(std::uint8_t s);
// Installs a receive buffer in the current mode's layout (null: none).
void hdlc_rx_set_buffer(std::uint8_t* buffer);

// The frames below are in the MNP layout (status, spare, u16 length, data
// from byte 4); a frame to send longer than 512 bytes is dropped.
// Hands a frame to the transmit side, in DataModes 1 and 3 as the HDLC
// frame, in the others to the asynchronous framer; wakes the poll. A null
// frame does nothing.
void datamode_queue_tx_frame(std::uint8_t* frame);
// Fax (DataMode 8): the frame to send next (then wakes the poll), and the
// empty buffer to receive the next frame into (null: none).
void datamode_fax_tx_frame(std::uint8_t* frame);
void datamode_fax_rx_frame(std::uint8_t* frame);

}  // namespace vxctl
