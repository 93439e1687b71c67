// The packets of the data pump, shared with the controller: the codes, the
// name table, and the payload layouts and builders of every packet the data
// pump sends. Codes that have a name but no sender have no layout and no
// builder. Multi-byte fields are little-endian.
//
// A payload layout is a packed struct whose bytes are the payload; its
// kCode names the packet. The controller reads a payload by copying its
// bytes into the layout.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace pump {

static_assert(std::endian::native == std::endian::little, "layouts are little-endian");

// The controller's memory and parameter access packets.
enum CpAccessCode : std::uint8_t {
  kCpMemoryRead = 9,
  kCpParamRead = 10,
  kCpParamReadHigh = 11,  // key + 0x10000
  kCpMemoryWrite = 12,
  kCpParamWrite = 13,
  kCpParamWriteHigh = 14,  // key + 0x10000
};

// The codes of the data pump's packets.
enum DpPacketCode : std::uint8_t {
  kDpMemoryReadReply = 0x14,
  kDpParamReadReply = 0x15,
  kDpAck = 0xC0,
  kDpDataRate = 0xC1,
  kDpMode = 0xC2,
  kDpFaxCd = 0xC3,
  kDpToneDetectionResults = 0xC4,
  kDpV34Info = 0xC6,
  kDpPowerupDiagnostics = 0xC7,  // not sent
  kDpV21OnFax = 0xC8,
  kDpVoiceView = 0xC9,  // not sent
  kDpSnapshot = 0xCA,   // not sent
  kDpVersionInfo = 0xCB,
  kDpPcmInfo = 0xCC,
  kDpAddressLoc = 0xCD,             // not sent
  kDpHandshakeNotification = 0xCE,  // not sent
  kDpDebug = 0xCF,                  // not sent
  kDpNvramSendData = 0xD0,          // not sent
  kDpCallProgressNotification = 0xD1,
  kDpPatchRequest = 0xD2,  // not sent
  kDpV92Info = 0xD4,
  kDpOverlayData = 0xD5,
  kDpOverlayControl = 0xD6,
  kDpDisplay = 0xD7,      // not sent
  kCpSpeakerData = 0xD8,  // not sent
  kDpModemConnectRate = 0xD9,
};

inline constexpr std::uint8_t kDpNamedFirst = 0xC0;
inline constexpr std::uint8_t kDpNamedLast = 0xD9;

// The name table of codes 0xC0-0xD9, as the data pump's debug output and
// the controller's trace print them; "ERROR: invalid" outside it.
std::string_view DpPacketName(std::uint8_t code);

// A packet as posted: code, payload length and up to 16 payload bytes.
struct DpPacketBytes {
  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::array<std::uint8_t, 16> payload{};

  std::span<const std::uint8_t> Payload() const { return std::span(payload).first(length); }
};

#pragma pack(push, 1)

struct DpAckPayload {
  static constexpr std::uint8_t kCode = kDpAck;
  std::uint8_t command;  // the acknowledged command code
};

struct DpDataRatePayload {
  static constexpr std::uint8_t kCode = kDpDataRate;
  std::uint8_t rate_code;
};

struct DpModePayload {
  static constexpr std::uint8_t kCode = kDpMode;
  std::uint8_t mode;  // 18 for a V.90 call
};

struct DpFaxCdPayload {
  static constexpr std::uint8_t kCode = kDpFaxCd;
  std::uint8_t zero[2] = {0, 0};
};

// Tone results: 0x80 + id for the spectral classifier; 78 for a 2100 Hz
// tone in call progress and the end of an 1100 Hz burst in voice mode; 103
// for the third 1300 Hz burst; 113 and 115 voice silence; a DTMF digit
// character in voice mode.
struct DpToneDetectionPayload {
  static constexpr std::uint8_t kCode = kDpToneDetectionResults;
  std::uint8_t result;
};

// Rate word of DP_V34_INFO: ((X << 4) | Y) << 2 with Y the rate index of
// the calling-to-answering direction and X the other; flag bits in the high
// byte (bit 10 and up of the word).
inline constexpr std::uint16_t V34RateWord(int calling_to_answering, int answering_to_calling) {
  return static_cast<std::uint16_t>(((answering_to_calling & 15) << 4 | (calling_to_answering & 15))
                                    << 2);
}
inline constexpr std::uint16_t kV34InfoReceiveOption = 1u << 10;  // p1 bit 2
inline constexpr std::uint16_t kV34InfoSecondOption = 1u << 11;   // p1 bit 3
inline constexpr std::uint16_t kV34InfoThirdOption = 1u << 12;    // p1 bit 4
inline constexpr std::uint16_t kV34InfoRenegotiated = 1u << 14;   // p1 bit 6

struct DpV34InfoPayload {
  static constexpr std::uint8_t kCode = kDpV34Info;
  std::uint16_t rates;
  std::uint8_t p2 = 0;
  std::uint8_t p3 = 11;
  std::uint8_t p4 = 0;
  std::uint8_t p5 = 0;
};

// The 8-byte form of V.92 (mode 24) and of mode 23 without V.90.
struct DpV34PcmInfoPayload {
  static constexpr std::uint8_t kCode = kDpV34Info;
  std::uint16_t rates;
  std::uint16_t mse_reference;  // {1, 0} while upstream PCM runs
  std::uint8_t p4 = 0;
  std::uint8_t p5 = 0;
  std::uint8_t upstream_size_code;
  std::uint8_t downstream_rate;  // the report's downstream index, mapped
};

struct DpV21OnFaxPayload {
  static constexpr std::uint8_t kCode = kDpV21OnFax;
  std::uint8_t bytes[2] = {1, 0};
};

struct DpVersionInfoPayload {
  static constexpr std::uint8_t kCode = kDpVersionInfo;
  std::uint16_t version[4] = {2, 36, 49, 0};
  std::uint16_t afe_kind;  // the front end's controller kind
};

struct DpPcmInfoPayload {
  static constexpr std::uint8_t kCode = kDpPcmInfo;
  std::uint32_t status;  // of the V.90/V.92 connection report
  std::uint16_t timing;  // bit 0 cleared
  std::uint16_t mse;     // bits 0 and 1 cleared
};

enum CallProgressKind : std::uint8_t {
  kCallProgressBurstCadence = 1,
  kCallProgressPeakRun = 2,
  kCallProgressLevelStep = 3,  // while the line is held for caller ID
};

struct DpCallProgressPayload {
  static constexpr std::uint8_t kCode = kDpCallProgressNotification;
  std::uint8_t kind;
  std::uint8_t zero = 0;
  std::uint16_t stamp;  // ms, wrapping with a 16-bit sample count
  std::uint16_t count;
};

struct DpV92InfoPayload {
  static constexpr std::uint8_t kCode = kDpV92Info;
  std::uint8_t value;
  std::uint8_t kind;  // 0, 2, 3: MH code and result; 5: quick-connect matches; 6: INFO0 bits
};

// The line-profile upload: this header, then the image in pieces of 1 to
// 16 bytes (BuildOverlayPiece).
struct DpOverlayHeaderPayload {
  static constexpr std::uint8_t kCode = kDpOverlayData;
  std::uint8_t bytes[6] = {1, 0, 0x30, 0x84, 0x1C, 0x07};
};

enum OverlayRequest : std::uint8_t {
  kOverlayUploadBegins = 17,
  kOverlayDownloadRequest = 33,
  kOverlayUploadComplete = 49,
};

struct DpOverlayControlPayload {
  static constexpr std::uint8_t kCode = kDpOverlayControl;
  std::uint8_t request;
  std::uint8_t zero = 0;
};

struct DpConnectRatePayload {
  static constexpr std::uint8_t kCode = kDpModemConnectRate;
  std::uint16_t rate_word;  // the V.32/V.32bis rate word
};

#pragma pack(pop)

static_assert(sizeof(DpV34InfoPayload) == 6 && sizeof(DpV34PcmInfoPayload) == 8);
static_assert(sizeof(DpVersionInfoPayload) == 10 && sizeof(DpPcmInfoPayload) == 8);
static_assert(sizeof(DpCallProgressPayload) == 6 && sizeof(DpOverlayHeaderPayload) == 6);

template <class Payload>
concept DpPayload = requires {
  { Payload::kCode } -> std::convertible_to<std::uint8_t>;
}
&&sizeof(Payload) <= 16 && std::is_trivially_copyable_v<Payload>;

template <DpPayload Payload>
DpPacketBytes BuildDpPacket(const Payload& payload) {
  DpPacketBytes packet;
  packet.code = Payload::kCode;
  packet.length = sizeof(Payload);
  std::memcpy(packet.payload.data(), &payload, sizeof(Payload));
  return packet;
}

// A piece of the line-profile image (1 to 16 bytes; more are cut to 16).
DpPacketBytes BuildOverlayPiece(std::span<const std::uint8_t> piece);

// The answer to a memory read (0x14) or a parameter read (0x15).
DpPacketBytes BuildKeyReply(std::uint8_t code, std::span<const std::uint8_t> value);

// The codes that have a layout, so a builder: the packets the data pump sends.
inline constexpr std::uint8_t kSentDpCodes[] = {
    kDpMemoryReadReply,
    kDpParamReadReply,
    DpAckPayload::kCode,
    DpDataRatePayload::kCode,
    DpModePayload::kCode,
    DpFaxCdPayload::kCode,
    DpToneDetectionPayload::kCode,
    DpV34InfoPayload::kCode,
    DpV21OnFaxPayload::kCode,
    DpVersionInfoPayload::kCode,
    DpPcmInfoPayload::kCode,
    DpCallProgressPayload::kCode,
    DpV92InfoPayload::kCode,
    DpOverlayHeaderPayload::kCode,
    DpOverlayControlPayload::kCode,
    DpConnectRatePayload::kCode,
};

}  // namespace pump
