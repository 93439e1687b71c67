#include "platform/hal/pci_bus.h"

#include <string>

#include "platform/diag/fatal.h"

namespace plat::hal {
namespace {

constexpr std::uint32_t kLatchEnable = 0x8000'0000;
constexpr std::uint32_t kLatchMask = 0x80FF'FFFC;  // enable, bus, device, function, dword

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

PciFunction ConfigurationOnlyFunction(std::uint16_t vendor, std::uint16_t device,
                                      std::uint32_t subsystem) {
  PciFunction function;
  auto& c = function.config;
  c.Define16(pci::kVendorId, vendor);
  c.Define16(pci::kDeviceId, device);
  c.Define16(pci::kCommand, 0, 0x0547);
  c.Define32(pci::kSubsystem, subsystem);
  c.Define8(pci::kInterruptLine, 0xFF, 0xFF);
  return function;
}

PciFunction& PciBus::Add(PciLocation at, PciFunction function) {
  if (at.bus >= kPciBusCount || at.device >= kPciDevicesPerBus ||
      at.function >= kPciFunctionsPerDevice) {
    plat::diag::Fatal("pci-location", "no bus " + std::to_string(at.bus) + " device " +
                                          std::to_string(at.device) + " function " +
                                          std::to_string(at.function));
  }
  for (unsigned i = 0; i < pci::kBarCount; ++i) {
    const BarSpec& bar = function.bars[i];
    if (bar.kind == BarKind::kNone) continue;
    std::uint64_t& next = bar.kind == BarKind::kIo ? next_io_ : next_memory_;
    next = AlignUp(next, bar.size);
    function.assigned[i] = static_cast<std::uint32_t>(next);
    next += bar.size;
    const std::uint32_t low_bits = bar.kind == BarKind::kIo ? 0x3 : 0xF;
    function.config.Define32(pci::kBar0 + 4 * i, 0, ~(bar.size - 1) & ~low_bits);
  }
  ProgramBars(function);
  auto [it, inserted] = functions_.insert_or_assign(Key(at), std::move(function));
  return it->second;
}

void PciBus::ProgramBars(PciFunction& function) {
  for (unsigned i = 0; i < pci::kBarCount; ++i) {
    const BarSpec& bar = function.bars[i];
    if (bar.kind == BarKind::kNone) continue;
    function.config.Force32(pci::kBar0 + 4 * i,
                            function.assigned[i] | (bar.kind == BarKind::kIo ? 1u : 0u));
  }
}

bool PciBus::Remove(PciLocation at) { return functions_.erase(Key(at)) != 0; }

PciFunction* PciBus::Find(PciLocation at) {
  if (at.bus >= kPciBusCount || at.device >= kPciDevicesPerBus ||
      at.function >= kPciFunctionsPerDevice) {
    return nullptr;
  }
  auto it = functions_.find(Key(at));
  return it == functions_.end() ? nullptr : &it->second;
}

PciFunction* PciBus::FindBySlot(std::uint32_t bus, std::uint32_t slot) {
  return Find({bus, slot & 0x1F, slot >> 5 & 0x7});
}

std::uint32_t PciBus::GetBusData(std::uint32_t bus, std::uint32_t slot, std::span<std::uint8_t> out,
                                 std::uint32_t offset) {
  if (bus >= kPciBusCount) return 0;
  PciFunction* function = FindBySlot(bus, slot);
  if (function == nullptr) {
    if (out.size() < 2) return 0;
    out[0] = out[1] = 0xFF;
    return 2;
  }
  return function->config.Read(offset, out);
}

std::uint32_t PciBus::SetBusData(std::uint32_t bus, std::uint32_t slot,
                                 std::span<const std::uint8_t> in, std::uint32_t offset) {
  if (bus >= kPciBusCount) return 0;
  PciFunction* function = FindBySlot(bus, slot);
  return function == nullptr ? 0 : function->config.Write(offset, in);
}

void PciBus::SetConfigAddress(std::uint32_t value) { latch_ = value & kLatchMask; }

PciFunction* PciBus::LatchedFunction(std::uint32_t& offset) {
  if ((latch_ & kLatchEnable) == 0) return nullptr;
  offset = latch_ & 0xFC;
  return Find({latch_ >> 16 & 0xFF, latch_ >> 11 & 0x1F, latch_ >> 8 & 0x7});
}

std::uint32_t PciBus::ReadConfigData(std::uint32_t byte_in_window, unsigned width) {
  std::uint32_t offset = 0;
  PciFunction* function = LatchedFunction(offset);
  std::uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    const std::uint32_t at = offset + byte_in_window + i;
    const std::uint8_t byte =
        function == nullptr || at >= pci::kSpaceBytes ? 0xFF : function->config.Byte(at);
    value |= static_cast<std::uint32_t>(byte) << 8 * i;
  }
  return value;
}

void PciBus::WriteConfigData(std::uint32_t byte_in_window, unsigned width, std::uint32_t value) {
  std::uint32_t offset = 0;
  PciFunction* function = LatchedFunction(offset);
  if (function == nullptr) return;
  std::array<std::uint8_t, 4> bytes{};
  for (unsigned i = 0; i < width; ++i) bytes[i] = static_cast<std::uint8_t>(value >> 8 * i);
  function->config.Write(offset + byte_in_window, std::span(bytes).first(width));
}

std::optional<DecodedAccess> PciBus::Decode(BarKind kind, std::uint64_t address) {
  const std::uint16_t enable = kind == BarKind::kIo ? pci::kCommandIo : pci::kCommandMemory;
  for (auto& [key, function] : functions_) {
    if ((function.config.Word(pci::kCommand) & enable) == 0) continue;
    for (unsigned i = 0; i < pci::kBarCount; ++i) {
      const BarSpec& bar = function.bars[i];
      if (bar.kind != kind) continue;
      const std::uint64_t base = function.config.Dword(pci::kBar0 + 4 * i) & ~(bar.size - 1ull);
      if (address >= base && address - base < bar.size) {
        return DecodedAccess{&function, i, static_cast<std::uint32_t>(address - base)};
      }
    }
  }
  return std::nullopt;
}

std::optional<DecodedAccess> PciBus::DecodeMemory(std::uint64_t physical) {
  return Decode(BarKind::kMemory, physical);
}

std::optional<DecodedAccess> PciBus::DecodeIo(std::uint32_t port) {
  return Decode(BarKind::kIo, port);
}

}  // namespace plat::hal
