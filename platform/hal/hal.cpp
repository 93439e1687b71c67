#include "platform/hal/hal.h"

#include <string>

#include "platform/diag/fatal.h"
#include "platform/hal/hex_text.h"

namespace plat::hal {
namespace {

constexpr std::uint32_t kPage = 4096;
constexpr std::uint32_t kAllOnes = 0xFFFF'FFFF;

std::uint32_t WidthMask(unsigned width) { return width >= 4 ? kAllOnes : (1u << 8 * width) - 1; }

void CheckWidth(unsigned width) {
  if (width != 1 && width != 2 && width != 4) {
    plat::diag::Fatal("hal-access-width", "an access of " + std::to_string(width) + " bytes");
  }
}

[[noreturn]] void UndecodedPort(std::uint32_t port, unsigned width) {
  plat::diag::Fatal("hal-undecoded-port", "no device decodes port " + HexText(port) + " (" +
                                              std::to_string(width) + " bytes)");
}

bool IsConfigData(std::uint32_t port, unsigned width) {
  return port >= kConfigDataPort && port + width <= kConfigDataPort + 4u;
}

}  // namespace

Hal::Hal(HalConfig config) : dma_(config.dma_window) {}

std::uint32_t Hal::ReadPort(Instant now, std::uint32_t port, unsigned width) {
  CheckWidth(width);
  if (port == kConfigAddressPort && width == 4) return bus_.ConfigAddress();
  if (IsConfigData(port, width)) return bus_.ReadConfigData(port - kConfigDataPort, width);
  if (auto decoded = bus_.DecodeIo(port)) {
    PciDevice* device = decoded->function->device;
    return device == nullptr ? WidthMask(width)
                             : device->ReadBar(now, decoded->bar, decoded->offset, width);
  }
  UndecodedPort(port, width);
}

void Hal::WritePort(Instant now, std::uint32_t port, unsigned width, std::uint32_t value) {
  CheckWidth(width);
  if (port == kConfigAddressPort && width == 4) return bus_.SetConfigAddress(value);
  if (IsConfigData(port, width)) {
    return bus_.WriteConfigData(port - kConfigDataPort, width, value);
  }
  if (auto decoded = bus_.DecodeIo(port)) {
    if (PciDevice* device = decoded->function->device) {
      device->WriteBar(now, decoded->bar, decoded->offset, width, value & WidthMask(width));
    }
    return;
  }
  UndecodedPort(port, width);
}

std::uint64_t Hal::PhysicalOrFatal(const volatile void* address, unsigned width) const {
  CheckWidth(width);
  if (auto physical = io_.PhysicalOf(address, width)) return *physical;
  plat::diag::Fatal(
      "hal-register-outside-mapping",
      "a " + std::to_string(width) + "-byte register access outside this machine's live mappings");
}

std::uint32_t Hal::ReadRegister(Instant now, const volatile void* address, unsigned width) {
  const std::uint64_t physical = PhysicalOrFatal(address, width);
  auto decoded = bus_.DecodeMemory(physical);
  if (!decoded || decoded->function->device == nullptr) return WidthMask(width);
  return decoded->function->device->ReadBar(now, decoded->bar, decoded->offset, width);
}

void Hal::WriteRegister(Instant now, const volatile void* address, unsigned width,
                        std::uint32_t value) {
  const std::uint64_t physical = PhysicalOrFatal(address, width);
  auto decoded = bus_.DecodeMemory(physical);
  if (!decoded || decoded->function->device == nullptr) return;
  decoded->function->device->WriteBar(now, decoded->bar, decoded->offset, width,
                                      value & WidthMask(width));
}

SlotResources Hal::AssignSlotResources(std::uint32_t bus, std::uint32_t slot) {
  return plat::hal::AssignSlotResources(bus_, bus, slot, faults_.assignment);
}

std::optional<AdapterGrant> Hal::GetAdapter(std::uint32_t maximum_length) {
  if (faults_.get_adapter.FailsNow()) return std::nullopt;
  return AdapterGrant{maximum_length / kPage + 1};
}

void* Hal::MapIoSpace(std::uint64_t physical, std::uint32_t length) {
  if (faults_.map_io_space.FailsNow()) return nullptr;
  return io_.Map(physical, length);
}

std::optional<CommonBuffer> Hal::AllocateCommonBuffer(std::uint32_t length) {
  if (faults_.allocate_common_buffer.FailsNow()) return std::nullopt;
  return dma_.Allocate(length);
}

void Hal::CheckShutdown() const {
  io_.CheckNoneLeft();
  dma_.CheckNoneLeft();
}

}  // namespace plat::hal
