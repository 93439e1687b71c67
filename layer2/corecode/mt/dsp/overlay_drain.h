// The overlay drain: turns the records the data pump left in the overlay
// ring into a line-profile capture (an image table, always ended by 0x30),
// saves a complete capture as the line profile, and answers download
// requests. Senders drain after each successful send; the modem task
// drains in its step.
//
// Ring records, by the class in the high nibble of their first byte:
//   0x00 {0, n, n bytes}   image bytes, appended to the capture
//   0x10 {b, x}            capture start
//   0x30 {b, x}            capture complete: the capture is saved
//   0x20, 0x50 {b, id}     download of id from the store / overlay table
//   0x40 {b, id, lo, hi}   download of id to an address, attribute b & 15
//   0x60 {b, id}           code download of id
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "layer2/corecode/mt/dsp/line_profile_store.h"

namespace vxctl {

struct LineProfileCapture {
  std::array<std::uint8_t, kLineProfileBytes> bytes{};
  // Where the next image byte goes while capture is on. A capture keeps
  // room for its end byte: the image stops at kLineProfileBytes - 1 bytes
  // and a longer one is marked truncated.
  std::size_t position = 0;
  std::atomic<bool> on{false};
  bool truncated = false;
  // Ring records of a class the drain does not know (and what followed
  // them in the ring), and records that did not arrive whole.
  std::uint32_t lost_records = 0;
  // One drain at a time: senders and the task thread may both drain.
  std::atomic<std::uint8_t> draining{0};
};

LineProfileCapture& line_profile_capture();

// Handles the oldest record of the ring. False when the ring is empty, a
// download failed, another drain is running, or the record was of an
// unknown class or not whole (the ring is then emptied and the loss
// counted), so `while (dsp_overlay_drain())` always ends.
bool dsp_overlay_drain();
// The ring emptied and capture off, at a link reset.
void dsp_overlay_reset();
// Capture off until the next capture start (a call's V.92 start options
// of 0).
void dsp_overlay_capture_off();

}  // namespace vxctl
