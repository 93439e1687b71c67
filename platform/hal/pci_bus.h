// The PCI buses of one machine: buses 0 to 4, 32 devices of 8 functions
// each. A present function has a configuration space, BARs that the bus
// gives addresses from the machine's port and memory windows, and optionally
// a device model decoding them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "platform/hal/pci_config_space.h"
#include "platform/hal/pci_device.h"

namespace plat::hal {

inline constexpr std::uint32_t kPciBusCount = 5;
inline constexpr std::uint32_t kPciDevicesPerBus = 32;
inline constexpr std::uint32_t kPciFunctionsPerDevice = 8;

struct PciLocation {
  std::uint32_t bus = 0;
  std::uint32_t device = 0;
  std::uint32_t function = 0;
};

// The slot number the HAL's bus-data calls take: device | function << 5.
constexpr std::uint32_t PciSlotNumber(std::uint32_t device, std::uint32_t function) {
  return device | function << 5;
}

enum class BarKind : std::uint8_t { kNone, kIo, kMemory };

struct BarSpec {
  BarKind kind = BarKind::kNone;
  std::uint32_t size = 0;  // a power of two; at least 4 (I/O) or 16 (memory)
};

struct PciFunction {
  PciConfigSpace config;
  std::array<BarSpec, pci::kBarCount> bars{};
  // Filled by the bus when the function is placed.
  std::array<std::uint32_t, pci::kBarCount> assigned{};
  PciDevice* device = nullptr;  // not owned; null for a configuration-only function
};

// A function that only answers configuration cycles (identity, class, a
// writable command register), for tests that populate the buses.
PciFunction ConfigurationOnlyFunction(std::uint16_t vendor, std::uint16_t device,
                                      std::uint32_t subsystem);

struct DecodedAccess {
  PciFunction* function;
  unsigned bar;
  std::uint32_t offset;
};

class PciBus {
 public:
  // Places a function (replacing one already there) and gives its BARs
  // addresses. Fatal for a location outside the buses.
  PciFunction& Add(PciLocation at, PciFunction function);
  bool Remove(PciLocation at);
  PciFunction* Find(PciLocation at);
  PciFunction* FindBySlot(std::uint32_t bus, std::uint32_t slot);

  // The HAL's bus-data calls. Reading an absent function gives the 2 bytes
  // of an invalid vendor id; an absent bus gives 0 bytes.
  std::uint32_t GetBusData(std::uint32_t bus, std::uint32_t slot, std::span<std::uint8_t> out,
                           std::uint32_t offset);
  std::uint32_t SetBusData(std::uint32_t bus, std::uint32_t slot, std::span<const std::uint8_t> in,
                           std::uint32_t offset);

  // Configuration mechanism #1: the address latch (port 0xCF8, dwords) and
  // the data window (ports 0xCFC to 0xCFF).
  std::uint32_t ConfigAddress() const { return latch_; }
  void SetConfigAddress(std::uint32_t value);
  std::uint32_t ReadConfigData(std::uint32_t byte_in_window, unsigned width);
  void WriteConfigData(std::uint32_t byte_in_window, unsigned width, std::uint32_t value);

  // Which function's BAR decodes an address now (enabled decoding, current BAR value).
  std::optional<DecodedAccess> DecodeMemory(std::uint64_t physical);
  std::optional<DecodedAccess> DecodeIo(std::uint32_t port);

  // Writes the assigned addresses back into the BARs (the resource assignment does).
  void ProgramBars(PciFunction& function);

 private:
  static std::uint32_t Key(PciLocation at) { return at.bus << 8 | at.device << 3 | at.function; }
  std::optional<DecodedAccess> Decode(BarKind kind, std::uint64_t address);
  PciFunction* LatchedFunction(std::uint32_t& offset);

  std::map<std::uint32_t, PciFunction> functions_;  // ordered by bus, device, function
  std::uint32_t latch_ = 0;
  std::uint64_t next_io_ = 0xE000;
  std::uint64_t next_memory_ = 0xF000'0000;
};

}  // namespace plat::hal
