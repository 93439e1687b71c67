// The EEPROM image and its registry value "EEProm" (285 bytes of
// REG_BINARY).
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/registry/reg_settings.h"

namespace vxctl {

inline constexpr std::uint32_t kEepromNoContext = 5;
inline constexpr std::uint32_t kEepromReadFailed = 6;
inline constexpr std::uint32_t kEepromWriteFailed = 7;

// 0 loaded; kEepromNoContext; kEepromReadFailed when the value is missing
// or not 285 bytes long (the image stays as it was).
std::uint32_t reg_load_eeprom();
// 0 saved; kEepromNoContext; kEepromWriteFailed.
std::uint32_t reg_save_eeprom();

// True when refused: the range [offset, offset + length) must lie within
// the image.
bool eeprom_read(std::uint16_t offset, std::uint16_t length, void* buffer);
// True when refused. Bytes equal to those stored change nothing; others are
// copied in and the whole image is saved (a failed save is not reported).
bool eeprom_write(std::uint16_t offset, std::uint16_t length, const void* data);

// One's complement of the 8-bit sum of bytes 1..284.
std::uint8_t eeprom_checksum(const EepromImage& image);

}  // namespace vxctl
