// Call-progress notifications (0xD1) as the controller reads them: kind,
// time stamp and count, and the controller's difference of two stamps.
#pragma once

#include <cstdint>
#include <vector>

#include "pump/packets/dp_packets.h"
#include "pump/tests/support/controller_double.h"

namespace pump::cp_test {

struct Progress {
  std::uint8_t kind;
  std::uint16_t stamp;
  std::uint16_t count;
};

inline std::vector<Progress> Reports(const std::vector<testing::ReceivedPacket>& packets) {
  std::vector<Progress> out;
  for (const auto& p : packets) {
    if (p.code != kDpCallProgressNotification) continue;
    out.push_back({p.payload.at(0), static_cast<std::uint16_t>(p.payload[2] | p.payload[3] << 8),
                   static_cast<std::uint16_t>(p.payload[4] | p.payload[5] << 8)});
  }
  return out;
}

// The stamp is ms of a 16-bit sample count at 9600 Hz, so it wraps at 6827;
// the controller takes a stamp not above the previous one as wrapped.
inline int StampDifference(std::uint16_t from, std::uint16_t to) {
  return to > from ? to - from : 6827 - from + to;
}

}  // namespace pump::cp_test
