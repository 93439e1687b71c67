// How a command handler leaves its answer: the dispatcher posts whatever
// code, length and payload the current packet holds after the handler.
// Leaving the packet alone echoes the command.
#pragma once

#include <algorithm>
#include <cstdint>

#include "pump/context/dsp_context.h"
#include "pump/packets/dp_packets.h"

namespace pump {

// The current packet becomes `packet`.
inline void SetReply(DspContext& context, const DpPacketBytes& packet) {
  context.packet.code = packet.code;
  context.packet.length = packet.length;
  std::copy_n(packet.payload.begin(), kDspPacketPayload, context.packet.payload);
}

// The current packet becomes DP_ACK {code}.
inline void SetAck(DspContext& context, std::uint8_t code) {
  SetReply(context, BuildDpPacket(DpAckPayload{code}));
}

// DP_ACK with the packet's own code: the answer of every command without
// a handler of its own.
inline void AckPacket(DspContext& context) { SetAck(context, context.packet.code); }

// Byte i of the current payload, and the little-endian 16-bit word at byte i.
inline std::uint8_t PayloadByte(const DspContext& context, int i) {
  return context.packet.payload[i];
}
inline std::uint16_t PayloadWord(const DspContext& context, int i) {
  return static_cast<std::uint16_t>(context.packet.payload[i] | context.packet.payload[i + 1] << 8);
}

}  // namespace pump
