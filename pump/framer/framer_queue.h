// The framer's code rings (FramerQueue, data_framer.h). A full ring
// refuses a new code; the codes it holds keep their order.
#pragma once

#include <cstdint>
#include <optional>

#include "pump/framer/data_framer.h"

namespace pump {

inline void ClearQueue(FramerQueue& queue) { queue = FramerQueue{}; }

inline int FreeSlots(const FramerQueue& queue) { return kFramerQueueSlots - queue.count; }

// False (and nothing stored) when the ring is full.
inline bool PushCode(FramerQueue& queue, std::uint16_t code) {
  if (queue.count == kFramerQueueSlots) return false;
  queue.slots[queue.write] = code;
  queue.write =
      static_cast<std::uint8_t>(queue.write + 1 == kFramerQueueSlots ? 0 : queue.write + 1);
  ++queue.count;
  return true;
}

inline std::optional<std::uint16_t> PopCode(FramerQueue& queue) {
  if (queue.count == 0) return std::nullopt;
  const std::uint16_t code = queue.slots[queue.read];
  queue.read = static_cast<std::uint8_t>(queue.read + 1 == kFramerQueueSlots ? 0 : queue.read + 1);
  --queue.count;
  return code;
}

inline bool IsEvent(std::uint16_t code) { return code > 0xFF; }

}  // namespace pump
