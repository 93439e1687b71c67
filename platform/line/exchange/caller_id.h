// Caller-ID messages as each standard lays them out, and the signals that
// carry them.
//
//   CLASS (Bell 202) and CLIP (V.23): a single data message (type 0x04:
//   MMDDHHMM and the number) or a multiple data message (type 0x80 with
//   parameters 0x01 date and time, 0x02 number, 0x07 name), then a checksum
//   that makes the bytes sum to 0 modulo 256. On hook they are preceded by
//   300 alternating bits (channel seizure) and 180 marks; off hook (call
//   waiting) by 80 marks only.
//   JCLIP (V.23): DLE SOH 0x07 DLE STX, the message (type 0x40, length, 0x02
//   and the number), DLE ETX, as 7-bit characters with even parity, then the
//   CRC-16 (x^16 + x^12 + x^5 + 1, reflected, from 0) of everything after
//   DLE SOH, low byte first. A DLE inside the message is sent twice.
//   CLIP by DTMF: A, the number, C.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/line/exchange/signals.h"

namespace plat::line::exchange {

struct CallerIdInfo {
  std::string date_time;  // MMDDHHMM
  std::string number;
  std::string name;  // none: empty
};

// Longest fields a message carries; longer ones are cut.
inline constexpr std::size_t kSdmfNumberMax = 10;
inline constexpr std::size_t kMdmfNumberMax = 20;
inline constexpr std::size_t kMdmfNameMax = 50;

std::vector<std::uint8_t> SdmfMessage(const CallerIdInfo& info);
std::vector<std::uint8_t> MdmfMessage(const CallerIdInfo& info);
std::vector<std::uint8_t> JclipFrame(const CallerIdInfo& info);
std::string DtmfCallerId(const CallerIdInfo& info);
// "80 1a 01 ...": a message as the log shows it.
std::string HexBytes(const std::vector<std::uint8_t>& bytes);

// Timings of the signals around ringing, in ms.
inline constexpr std::uint32_t kFskAfterRingMs = 500;   // after the first ring ends
inline constexpr std::uint32_t kAlertToneMs = 100;      // 2130 + 2750 Hz before an on-hook CLIP
inline constexpr std::uint32_t kAlertToFskMs = 100;
inline constexpr std::uint32_t kRingAfterSignalMs = 500;  // first ring after a before-ring signal
inline constexpr std::uint32_t kDtmfDigitMs = 70;
inline constexpr std::uint32_t kDtmfPauseMs = 70;
inline constexpr std::uint32_t kCasMs = 80;             // the CPE alerting signal on call waiting
inline constexpr std::uint32_t kAckWindowMs = 160;      // the set's acknowledgement starts within
inline constexpr std::uint32_t kFskAfterAckMs = 100;
inline constexpr double kAlertToneHz[2] = {2130.0, 2750.0};
inline constexpr std::uint32_t kJclipRingMs = 500;    // the incoming-call ring: on, off, ...
inline constexpr std::uint32_t kJclipAnswerMs = 6000;  // the set answers it within
inline constexpr std::uint32_t kJclipDataDelayMs = 300;  // from that answer to the FSK
inline constexpr std::uint32_t kJclipHoldMs = 10'000;  // still off hook after the FSK: an answer

// The on-hook FSK signal: seizure, marks, the message, two closing marks.
std::vector<std::int16_t> OnHookFsk(FskTones tones, const std::vector<std::uint8_t>& message,
                                    double dbm0);
// The off-hook FSK signal: marks, the message, closing marks.
std::vector<std::int16_t> OffHookFsk(FskTones tones, const std::vector<std::uint8_t>& message,
                                     double dbm0);
// The JCLIP signal sent once the set answered the incoming-call ring.
std::vector<std::int16_t> JclipFsk(const std::vector<std::uint8_t>& frame, double dbm0);

}  // namespace plat::line::exchange
