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

}  // namespace vxctl
