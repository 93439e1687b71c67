// The fax DTE path (module faxdte): a fax mode of the DTE interface in
// which the fax services move page data in blocks, straight into and out
// of the two online rings, and see the application's XON as an event.
//
// A block toward the application: dte_to_block_space, copy at most that
// many bytes to dte_to_block_ptr, dte_to_block_update. From it:
// dte_from_block_count, read at dte_from_block_ptr, dte_from_block_update.
// A commit is cut to the contiguous space or data there is, so it never
// crosses the end of the ring.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/services/dte_side.h"

namespace vxctl {

void faxdte_start(std::uint8_t from_kind, std::uint8_t to_kind);
void faxdte_stop();
void faxdte_hold();
void faxdte_resume();
// The XON-received flag, cleared.
bool faxdte_xon_received();
// Waits until dte_to_ring is empty (pushing, running the command
// interpreter's ticks, sleeping 1 ms); after 500 ticks raises the
// assertion hook and empties every DTE ring.
void faxdte_drain();

void dte_ring_status(std::uint16_t* to_size, std::uint16_t* to_count, std::uint16_t* from_size,
                     std::uint16_t* from_count);
std::uint32_t dte_to_block_space();
std::uint8_t* dte_to_block_ptr();
void dte_to_block_update(std::uint16_t n);
std::uint32_t dte_from_block_count();
const std::uint8_t* dte_from_block_ptr();
void dte_from_block_update(std::uint16_t n);

}  // namespace vxctl
