// The 256-byte configuration space of one PCI function: the bytes it reads
// and, per bit, whether a configuration write may change it. Read-only
// fields ignore writes, so writing back a saved copy is harmless.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace plat::hal {

namespace pci {
inline constexpr std::uint32_t kVendorId = 0x00;
inline constexpr std::uint32_t kDeviceId = 0x02;
inline constexpr std::uint32_t kCommand = 0x04;
inline constexpr std::uint32_t kStatus = 0x06;
inline constexpr std::uint32_t kRevision = 0x08;
inline constexpr std::uint32_t kClassCode = 0x09;  // prog-if, sub-class, base class
inline constexpr std::uint32_t kHeaderType = 0x0E;
inline constexpr std::uint32_t kBar0 = 0x10;
inline constexpr std::uint32_t kSubsystem = 0x2C;  // subsystem vendor | subsystem id << 16
inline constexpr std::uint32_t kCapabilities = 0x34;
inline constexpr std::uint32_t kInterruptLine = 0x3C;
inline constexpr std::uint32_t kInterruptPin = 0x3D;
inline constexpr std::uint32_t kBarCount = 6;

inline constexpr std::uint16_t kCommandIo = 0x0001;
inline constexpr std::uint16_t kCommandMemory = 0x0002;
inline constexpr std::uint16_t kCommandMaster = 0x0004;
inline constexpr std::uint16_t kStatusCapabilities = 0x0010;
inline constexpr std::uint16_t kInvalidVendor = 0xFFFF;
inline constexpr std::uint32_t kSpaceBytes = 256;
}  // namespace pci

class PciConfigSpace {
 public:
  PciConfigSpace() = default;

  std::uint8_t Byte(std::uint32_t offset) const { return bytes_[offset]; }
  std::uint16_t Word(std::uint32_t offset) const;
  std::uint32_t Dword(std::uint32_t offset) const;
  // Copies what lies in [offset, offset + out.size()) and below 256; returns the count.
  std::uint32_t Read(std::uint32_t offset, std::span<std::uint8_t> out) const;
  // A configuration write: only writable bits change. Returns the bytes covered.
  std::uint32_t Write(std::uint32_t offset, std::span<const std::uint8_t> in);

  // Building the space: set a value and which of its bits a write may change.
  void Define8(std::uint32_t offset, std::uint8_t value, std::uint8_t writable = 0);
  void Define16(std::uint32_t offset, std::uint16_t value, std::uint16_t writable = 0);
  void Define32(std::uint32_t offset, std::uint32_t value, std::uint32_t writable = 0);
  // Sets bits whatever their write mask (the HAL programming a BAR, a test).
  void Force32(std::uint32_t offset, std::uint32_t value);

 private:
  std::array<std::uint8_t, pci::kSpaceBytes> bytes_{};
  std::array<std::uint8_t, pci::kSpaceBytes> writable_{};
};

}  // namespace plat::hal
