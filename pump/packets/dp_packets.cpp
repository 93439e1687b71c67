#include "pump/packets/dp_packets.h"

#include <algorithm>

namespace pump {
namespace {

constexpr std::string_view kInvalid = "ERROR: invalid";

constexpr std::array<std::string_view, kDpNamedLast - kDpNamedFirst + 1> kNames = {
    "DP_ACK",                         // C0
    "DP_DATA_RATE",                   // C1
    "DP_MODE",                        // C2
    "DP_FAX_CD",                      // C3
    "DP_TONE_DETECTION_RESULTS",      // C4
    kInvalid,                         // C5
    "DP_V34_INFO",                    // C6
    "ERROR: DP_POWERUP_DIAGNOSTICS",  // C7
    "DP_V21_ON_FAX",                  // C8
    "ERROR: DP_VOICE_VIEW",           // C9
    "ERROR: DP_SNAPSHOT",             // CA
    "DP_VERSION_INFO",                // CB
    "DP_PCM_INFO",                    // CC
    "DP_ADDRESS_LOC",                 // CD
    "DP_HANDSHAKE_NOTIFICATION",      // CE
    "DP_DEBUG",                       // CF
    "ERROR: DP_NVRAM_SEND_DATA",      // D0
    "DP_CALL_PROGRESS_NOTIFICATION",  // D1
    "DP_PATCH_REQUEST",               // D2
    kInvalid,                         // D3
    "DP_V92_INFO",                    // D4
    "DP_OVERLAY_DATA",                // D5
    "DP_OVERLAY_CONTROL",             // D6
    "DP_DISPLAY",                     // D7
    "CP_SPEAKER_DATA",                // D8
    "PACKET_DP_MODEM_CONNECT_RATE",   // D9
};

DpPacketBytes WithBytes(std::uint8_t code, std::span<const std::uint8_t> bytes) {
  DpPacketBytes packet;
  packet.code = code;
  packet.length = static_cast<std::uint8_t>(std::min(bytes.size(), packet.payload.size()));
  std::copy_n(bytes.begin(), packet.length, packet.payload.begin());
  return packet;
}

}  // namespace

std::string_view DpPacketName(std::uint8_t code) {
  if (code < kDpNamedFirst || code > kDpNamedLast) return kInvalid;
  return kNames[code - kDpNamedFirst];
}

DpPacketBytes BuildOverlayPiece(std::span<const std::uint8_t> piece) {
  return WithBytes(kDpOverlayData, piece);
}

DpPacketBytes BuildKeyReply(std::uint8_t code, std::span<const std::uint8_t> value) {
  return WithBytes(code, value);
}

}  // namespace pump
