// The EEPROM image: its load and save, bounded reads and writes, checksum.
#include "layer2/corecode/mt/registry/eeprom.h"

#include <cstring>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/registry/reg_value.h"
#include "platform/reg/regdefs.h"

namespace vxctl {
namespace {

constexpr const char* kEepromValue = "EEProm";

const SerialDeviceExtension* Context() {
  return static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
}

// Both bounds are checked apart so that no offset wraps the room left.
bool OutOfImage(std::uint16_t offset, std::uint16_t length) {
  return offset > kEepromSize || length > kEepromSize - offset;
}

}  // namespace

std::uint32_t reg_load_eeprom() {
  const SerialDeviceExtension* context = Context();
  if (context == nullptr) return kEepromNoContext;
  EepromImage loaded{};
  ULONG size = kEepromSize;
  if (reg_read_value(context, nullptr, kEepromValue, kRegKindRaw, loaded.data(), &size, 0) !=
          kRegOk ||
      size != kEepromSize) {
    return kEepromReadFailed;
  }
  reg_settings().eeprom = loaded;
  return 0;
}

std::uint32_t reg_save_eeprom() {
  const SerialDeviceExtension* context = Context();
  if (context == nullptr) return kEepromNoContext;
  EepromImage& image = reg_settings().eeprom;
  return reg_write_value(context, nullptr, kEepromValue, REG_BINARY, image.data(), kEepromSize) ==
                 kRegOk
             ? 0
             : kEepromWriteFailed;
}

bool eeprom_read(std::uint16_t offset, std::uint16_t length, void* buffer) {
  if (OutOfImage(offset, length)) return true;
  if (length == 0) return false;
  std::memcpy(buffer, reg_settings().eeprom.data() + offset, length);
  return false;
}

bool eeprom_write(std::uint16_t offset, std::uint16_t length, const void* data) {
  if (OutOfImage(offset, length)) return true;
  if (length == 0) return false;
  std::uint8_t* stored = reg_settings().eeprom.data() + offset;
  if (std::memcmp(stored, data, length) == 0) return false;
  std::memcpy(stored, data, length);
  reg_save_eeprom();
  return false;
}

std::uint8_t eeprom_checksum(const EepromImage& image) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kEepromSize; ++i) sum = static_cast<std::uint8_t>(sum + image[i]);
  return static_cast<std::uint8_t>(~sum);
}

}  // namespace vxctl
