// The V.8 messages as the controller builds and reads them (test side):
// CI, CM, JM and CJ as the octets the controller queues for the data
// pump's V.21 channel, the bits those octets make on the line (ten ones,
// the sync octet and the information octets, each with a start and a
// stop bit, least significant bit first), and a reader that finds the
// messages in the octets or the bits a receiver delivers.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pump::testing::v8msg {

// The queued octet that goes out as the ten ones of the preamble.
inline constexpr std::uint8_t kPreambleOctet = 0xFF;
// Sync octets after the preamble.
inline constexpr std::uint8_t kCmJmSync = 0xE0;
inline constexpr std::uint8_t kCiSync = 0x00;

// Category tags: the low five bits of an information octet.
enum Tag : std::uint8_t {
  kTagCallFunction = 0x01,
  kTagModulation = 0x05,
  kTagPcm = 0x07,
  kTagProtocols = 0x0A,
  kTagPstnAccess = 0x0D,
};
inline constexpr std::uint8_t kTagMask = 0x1F;
// An extension octet carries 010 in bits 3 to 5.
inline constexpr std::uint8_t kExtensionMask = 0x38;
inline constexpr std::uint8_t kExtensionBits = 0x10;
inline bool IsExtension(std::uint8_t octet) { return (octet & kExtensionMask) == kExtensionBits; }

// Call function: V-series data.
inline constexpr std::uint8_t kCallFunctionData = 0xC1;

// Modulations of the modulation octet and its two extension octets.
enum Modulation : std::uint32_t {
  kModPcm = 1u << 0,     // octet 0 bit 5
  kModV34 = 1u << 1,     // octet 0 bit 6
  kModV34Hdx = 1u << 2,  // octet 0 bit 7
  kModV32 = 1u << 3,     // octet 1 bit 0 (V.32/V.32bis)
  kModV22 = 1u << 4,     // octet 1 bit 1 (V.22/V.22bis)
  kModV17 = 1u << 5,     // octet 1 bit 2
  kModV29 = 1u << 6,     // octet 1 bit 7
  kModV23 = 1u << 7,     // octet 2 bit 2
  kModV21 = 1u << 8,     // octet 2 bit 7
};

struct Menu {
  std::uint8_t call_function = kCallFunctionData;
  std::uint32_t modulations = 0;
  std::optional<std::uint8_t> protocols;    // the whole octet (tag included)
  std::optional<std::uint8_t> pstn_access;  // the whole octet
  std::optional<std::uint8_t> pcm;          // the whole octet
  bool operator==(const Menu&) const = default;
};

// Octets to queue: the preamble octet, the sync and the information octets.
std::vector<std::uint8_t> EncodeCmJm(const Menu& menu);
std::vector<std::uint8_t> EncodeCi(std::uint8_t call_function);
// CJ: three zero octets.
std::vector<std::uint8_t> EncodeCj();

// The line bits of queued octets (oldest first): the preamble octet gives
// ten ones, every other octet a start bit, its eight bits and a stop bit.
std::vector<std::uint8_t> LineBits(std::span<const std::uint8_t> queued);

// One message read back.
enum class Kind { kCmJm, kCi };
struct Message {
  Kind kind;
  Menu menu;
  bool operator==(const Message&) const = default;
};

// The messages in received octets (as the asynchronous receiver gives them:
// the preamble's ones give no octet): each sync octet starts one; a message
// counts once the next sync ends it and only when its call function comes
// first and every octet after it is a category or an extension octet.
std::vector<Message> ReadMessages(std::span<const std::uint8_t> octets);

// The messages in raw line bits: ten ones and a sync sequence start one,
// then octets with start and stop bits; a framing error ends it.
std::vector<Message> ReadBits(std::span<const std::uint8_t> bits);

// Three zero octets in a row (CJ).
bool HasCj(std::span<const std::uint8_t> octets);

// The modulation both menus offer, as a data-pump mode number (the first
// of V.90, V.34, V.32bis, V.22bis, V.23, V.21 both offer), or none.
std::optional<int> CommonMode(std::uint32_t ours, std::uint32_t theirs);

}  // namespace pump::testing::v8msg
