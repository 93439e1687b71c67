// COMRAM: the 256-byte register page that the data pump and the controller
// share. Register number = byte offset in the page. Both drivers include
// this header; the layout is an interface format and never changes.
//
// Each transfer area has one writer. The writer fills an area only while it
// is free, then marks it full with its mark written last: the packet code
// (one byte) or the mailbox count and kind (one 16-bit store). The taker
// copies the area and then clears the mark. Marks are written with release
// and read with acquire ordering (the helpers at the end), so whoever sees a
// mark also sees the bytes written before it.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace pump {

inline constexpr std::size_t kComramSize = 256;
inline constexpr std::size_t kDspPacketPayload = 16;
inline constexpr std::size_t kMailboxData = 32;

// One packet area: registers 0-19 (data pump to controller) or 64-83
// (controller to data pump).
struct DspPacket {
  std::uint8_t code;    // 0: the area is free
  std::uint8_t second;  // the data pump writes 0
  std::uint8_t length;  // payload length as posted; at most 16 bytes are carried
  std::uint8_t fourth;  // the data pump writes 0
  std::uint8_t payload[kDspPacketPayload];
};
static_assert(sizeof(DspPacket) == 20);

// One data block: registers 20-53 (receive) or 84-117 (transmit). Full while
// count or kind is non-zero.
struct DataMailbox {
  std::uint8_t data[kMailboxData];
  std::uint8_t count;  // 1-32 data bytes; on the receive side 255 is a report without data
  std::uint8_t kind;   // 0 data, 1-6 framer events, 7 report
};
static_assert(sizeof(DataMailbox) == 34);

inline constexpr std::uint8_t kMailboxReportOnly = 255;

// Register numbers.
inline constexpr std::uint8_t kRegDpPacket = 0;  // DspPacket from the data pump
inline constexpr std::uint8_t kRegDpPacketLength = 2;
inline constexpr std::uint8_t kRegDpPacketPayload = 4;
inline constexpr std::uint8_t kRegRxMailbox = 20;  // DataMailbox to the controller
inline constexpr std::uint8_t kRegRxCount = 52;
inline constexpr std::uint8_t kRegRxKind = 53;
inline constexpr std::uint8_t kRegStatus = 54;  // status code and flags (below)
inline constexpr std::uint8_t kRegLineQuality = 55;
inline constexpr std::uint8_t kRegEventType = 56;
inline constexpr std::uint8_t kRegEventValue = 57;
inline constexpr std::uint8_t kRegModeBits = 60;  // the controller's mode bits
inline constexpr std::uint8_t kRegCpPacket = 64;  // DspPacket from the controller
inline constexpr std::uint8_t kRegCpPacketLength = 66;
inline constexpr std::uint8_t kRegCpPacketPayload = 68;
inline constexpr std::uint8_t kRegTxMailbox = 84;  // DataMailbox from the controller
inline constexpr std::uint8_t kRegTxCount = 116;
inline constexpr std::uint8_t kRegTxKind = 117;
inline constexpr std::uint8_t kRegReportWords = 118;  // four 16-bit words, little-endian
inline constexpr std::uint8_t kReportWordCount = 4;
inline constexpr std::uint8_t kRegToneMonitorControl = 126;
inline constexpr std::uint8_t kRegLineDirectionA = 240;  // line bank A: lines 0-7
inline constexpr std::uint8_t kRegLineDirectionB = 241;  // line bank B: lines 8-14
inline constexpr std::uint8_t kRegLineLevelA = 242;
inline constexpr std::uint8_t kRegLineThirdA = 243;
inline constexpr std::uint8_t kRegLineLevelB = 244;
inline constexpr std::uint8_t kRegLineThirdB = 245;
inline constexpr std::uint8_t kRegLinkControl = 246;  // bit 0 set by the controller's link restarts
inline constexpr std::uint8_t kRegIrqEnable = 247;
inline constexpr std::uint8_t kRegDownloadFirst = 248;  // 248-250: code download
inline constexpr std::uint8_t kRegDownloadLast = 250;
inline constexpr std::uint8_t kRegPowerControl = 252;  // doorbell: power state and control
inline constexpr std::uint8_t kRegCpDoorbell = 254;    // doorbell: a command packet waits
inline constexpr std::uint8_t kRegDpInterrupt = 255;  // the data pump's interrupt to the controller

// Register 242 (line bank A levels). A relay bit of 0 means the relay is on.
inline constexpr std::uint8_t kLineLocalPhone = 0x02;    // 0: the local phone is off hook
inline constexpr std::uint8_t kLineHookRelay = 0x04;     // 1: on hook
inline constexpr std::uint8_t kLineSpeakerRelay = 0x10;  // speaker/handset relay
inline constexpr std::uint8_t kLineVoiceRelay = 0x40;
inline constexpr std::uint8_t kLineCallerIdRelay = 0x80;

// Register 247: a data-pump write of register 255 calls the controller.
inline constexpr std::uint8_t kIrqEnableDpInterrupt = 0x02;

// Register 54: low 4 bits the status code, then flags.
inline constexpr std::uint8_t kStatusCodeMask = 0x0F;
inline constexpr std::uint8_t kStatusCarrier = 0x10;  // carrier present / data phase
inline constexpr std::uint8_t kStatusTxEmpty = 0x40;  // the framer's transmit queue ran empty

enum DpStatusCode : std::uint8_t {
  kStatusIdle = 0,
  kStatusHandshake = 1,
  kStatusConnected = 2,
  kStatusRetraining = 3,
  kStatusDropping = 4,          // dropping, or carrier lost
  kStatusConnectedRestart = 5,  // connected in a loopback test or after a phase-3 restart
  kStatusFaxCall = 7,
  kStatusFaxCarrier = 8,  // fax carrier or fax data
  kStatusVoice = 12,
  kStatusRenegotiating = 13,
  kStatusCallerId = 14,
  kStatusModemOnHold = 15,  // phase-2 modem-on-hold exchange
};

static_assert(kRegDpPacket + offsetof(DspPacket, length) == kRegDpPacketLength);
static_assert(kRegDpPacket + offsetof(DspPacket, payload) == kRegDpPacketPayload);
static_assert(kRegDpPacket + sizeof(DspPacket) == kRegRxMailbox);
static_assert(kRegRxMailbox + offsetof(DataMailbox, count) == kRegRxCount);
static_assert(kRegRxMailbox + offsetof(DataMailbox, kind) == kRegRxKind);
static_assert(kRegRxMailbox + sizeof(DataMailbox) == kRegStatus);
static_assert(kRegCpPacket + offsetof(DspPacket, length) == kRegCpPacketLength);
static_assert(kRegCpPacket + offsetof(DspPacket, payload) == kRegCpPacketPayload);
static_assert(kRegCpPacket + sizeof(DspPacket) == kRegTxMailbox);
static_assert(kRegTxMailbox + offsetof(DataMailbox, count) == kRegTxCount);
static_assert(kRegTxMailbox + offsetof(DataMailbox, kind) == kRegTxKind);
static_assert(kRegTxMailbox + sizeof(DataMailbox) == kRegReportWords);
static_assert(kRegRxCount % 2 == 0 && kRegTxCount % 2 == 0, "mailbox marks are aligned words");

// The page itself. Aligned so that the 16-bit mailbox marks are aligned words.
struct Comram {
  alignas(8) std::uint8_t reg[kComramSize];
};
static_assert(sizeof(Comram) == kComramSize);
static_assert(std::endian::native == std::endian::little,
              "16-bit marks hold the lower register low");

// The marks. A 16-bit mark is one store of two registers, the lower-numbered
// one in its low half (count low, kind high); its register number is even.
inline std::uint8_t AcquireMark8(const Comram& page, std::uint8_t reg) {
  return std::atomic_ref(const_cast<std::uint8_t&>(page.reg[reg])).load(std::memory_order_acquire);
}

inline void ReleaseMark8(Comram& page, std::uint8_t reg, std::uint8_t value) {
  std::atomic_ref(page.reg[reg]).store(value, std::memory_order_release);
}

inline std::uint16_t AcquireMark16(const Comram& page, std::uint8_t reg) {
  auto& word = *reinterpret_cast<std::uint16_t*>(const_cast<std::uint8_t*>(&page.reg[reg]));
  return std::atomic_ref(word).load(std::memory_order_acquire);
}

inline void ReleaseMark16(Comram& page, std::uint8_t reg, std::uint8_t low, std::uint8_t high) {
  auto& word = *reinterpret_cast<std::uint16_t*>(&page.reg[reg]);
  std::atomic_ref(word).store(static_cast<std::uint16_t>(low | high << 8),
                              std::memory_order_release);
}

}  // namespace pump
