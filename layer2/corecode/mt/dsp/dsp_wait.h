// The wait of the send in progress, as the transport opens it and the
// packet dispatch ends it: one 32-bit word, so that the dispatch on the
// data pump's thread reads it whole.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {

struct AwaitedAnswer {
  bool open = false;
  std::uint8_t command = 0;
  DspWaitMode mode = DspWaitMode::kNone;
  std::uint8_t reply = 0;
};

inline constexpr std::uint32_t kAwaitedOpen = 1u << 24;

inline std::uint32_t PackAwaited(std::uint8_t command, DspWaitMode mode, std::uint8_t reply) {
  return kAwaitedOpen | static_cast<std::uint32_t>(mode) << 16 |
         static_cast<std::uint32_t>(reply) << 8 | command;
}

inline AwaitedAnswer UnpackAwaited(std::uint32_t word) {
  return {(word & kAwaitedOpen) != 0, static_cast<std::uint8_t>(word),
          static_cast<DspWaitMode>((word >> 16) & 0xFF), static_cast<std::uint8_t>(word >> 8)};
}

// Whether the packet just taken answers the wait: the command's echo, or
// DP_ACK naming the command (kAck), or the named reply (kReply).
inline bool Answers(const AwaitedAnswer& awaited, const pump::DspPacket& packet) {
  if (!awaited.open) return false;
  if (packet.code == awaited.command) return true;
  switch (awaited.mode) {
    case DspWaitMode::kAck:
      return packet.code == pump::kDpAck && packet.length >= 1 &&
             packet.payload[0] == awaited.command;
    case DspWaitMode::kReply:
      return packet.code == awaited.reply;
    case DspWaitMode::kNone:
      break;
  }
  return false;
}

}  // namespace vxctl
