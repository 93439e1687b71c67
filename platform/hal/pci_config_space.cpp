#include "platform/hal/pci_config_space.h"

#include <algorithm>

namespace plat::hal {

std::uint16_t PciConfigSpace::Word(std::uint32_t offset) const {
  return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::uint32_t PciConfigSpace::Dword(std::uint32_t offset) const {
  return static_cast<std::uint32_t>(Word(offset)) | static_cast<std::uint32_t>(Word(offset + 2))
                                                        << 16;
}

std::uint32_t PciConfigSpace::Read(std::uint32_t offset, std::span<std::uint8_t> out) const {
  if (offset >= pci::kSpaceBytes) return 0;
  const auto count =
      static_cast<std::uint32_t>(std::min<std::size_t>(out.size(), pci::kSpaceBytes - offset));
  std::copy_n(bytes_.begin() + offset, count, out.begin());
  return count;
}

std::uint32_t PciConfigSpace::Write(std::uint32_t offset, std::span<const std::uint8_t> in) {
  if (offset >= pci::kSpaceBytes) return 0;
  const auto count =
      static_cast<std::uint32_t>(std::min<std::size_t>(in.size(), pci::kSpaceBytes - offset));
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t mask = writable_[offset + i];
    bytes_[offset + i] = static_cast<std::uint8_t>((bytes_[offset + i] & ~mask) | (in[i] & mask));
  }
  return count;
}

void PciConfigSpace::Define8(std::uint32_t offset, std::uint8_t value, std::uint8_t writable) {
  bytes_[offset] = value;
  writable_[offset] = writable;
}

void PciConfigSpace::Define16(std::uint32_t offset, std::uint16_t value, std::uint16_t writable) {
  Define8(offset, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(writable));
  Define8(offset + 1, static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(writable >> 8));
}

void PciConfigSpace::Define32(std::uint32_t offset, std::uint32_t value, std::uint32_t writable) {
  Define16(offset, static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(writable));
  Define16(offset + 2, static_cast<std::uint16_t>(value >> 16),
           static_cast<std::uint16_t>(writable >> 16));
}

void PciConfigSpace::Force32(std::uint32_t offset, std::uint32_t value) {
  for (std::uint32_t i = 0; i < 4; ++i)
    bytes_[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

}  // namespace plat::hal
