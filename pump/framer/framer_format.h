// The format byte of command 0x61 as both sides take it.
#pragma once

#include <cstdint>

#include "platform/ke/ke.h"
#include "pump/framer/data_framer.h"

namespace pump {

// A receive type or transmit mode from 0 to 8; any other value selects 0,
// with a debug line naming the side ("receive type", "transmit mode").
inline std::uint32_t CheckedFormat(int format, const char* side) {
  if (format >= 0 && format <= static_cast<int>(kFramerLastFormat)) {
    return static_cast<std::uint32_t>(format);
  }
  DbgPrint("data pump: framer %s %d is unknown; 0 taken", side, format);
  return kFramerAsync;
}

}  // namespace pump
