// The HDLC frame check sequence of ISO/IEC 13239: the 16-bit CRC with the
// polynomial x^16 + x^12 + x^5 + 1, processed least significant bit first
// (reflected polynomial 0x8408), register preset to 0xFFFF. The sender
// appends the register's one's complement, low byte first; a receiver that
// runs the register over the whole frame, frame check included, ends at
// 0xF0B8 when the frame is intact.
//
// A byte goes through two 16-entry tables, one per nibble of (register XOR
// byte): `kFcsLowNibble[i]` (0x0000, 0x1189, 0x2312, ...) is what the low
// nibble i leaves in the register after the byte's eight shifts, and
// `kFcsHighNibble[i]` (0x0000, 0x1081, 0x2102, ...) what the high nibble i
// leaves after its four.
#pragma once

#include <array>
#include <cstdint>

namespace pump {

inline constexpr std::uint16_t kFcsPreset = 0xFFFF;
inline constexpr std::uint16_t kFcsGood = 0xF0B8;

namespace fcs_detail {

constexpr std::uint16_t Shift(std::uint16_t crc, int bits) {
  for (int i = 0; i < bits; ++i) {
    crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0x8408 : crc >> 1);
  }
  return crc;
}

constexpr std::array<std::uint16_t, 16> NibbleTable(int shifts) {
  std::array<std::uint16_t, 16> table{};
  for (int i = 0; i < 16; ++i) table[i] = Shift(static_cast<std::uint16_t>(i), shifts);
  return table;
}

}  // namespace fcs_detail

inline constexpr std::array<std::uint16_t, 16> kFcsLowNibble = fcs_detail::NibbleTable(8);
inline constexpr std::array<std::uint16_t, 16> kFcsHighNibble = fcs_detail::NibbleTable(4);
static_assert(kFcsLowNibble[1] == 0x1189 && kFcsLowNibble[2] == 0x2312);
static_assert(kFcsHighNibble[1] == 0x1081 && kFcsHighNibble[2] == 0x2102);

constexpr std::uint16_t FcsUpdate(std::uint16_t crc, std::uint8_t byte) {
  const unsigned x = (crc ^ byte) & 0xFF;
  return static_cast<std::uint16_t>(kFcsLowNibble[x & 15] ^ kFcsHighNibble[x >> 4] ^ (crc >> 8));
}

}  // namespace pump
