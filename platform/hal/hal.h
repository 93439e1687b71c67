// The hardware abstraction layer of one machine: its PCI buses, the port
// space (configuration mechanism #1 and the I/O BARs), device memory mapped
// into the machine, the DMA window with its common buffers, and the faults a
// test may impose. Every access carries the instant it happens at, so device
// models can bring themselves up to date first.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/hal/dma_space.h"
#include "platform/hal/instant.h"
#include "platform/hal/io_space.h"
#include "platform/hal/pci_bus.h"
#include "platform/hal/slot_resources.h"

namespace plat::hal {

inline constexpr std::uint16_t kConfigAddressPort = 0xCF8;
inline constexpr std::uint16_t kConfigDataPort = 0xCFC;

// Fails the n-th call from the moment it is armed (1 = the next call).
class NthCallFailure {
 public:
  void Arm(std::uint64_t n) { countdown_ = n; }
  bool FailsNow() { return countdown_ != 0 && --countdown_ == 0; }

 private:
  std::uint64_t countdown_ = 0;
};

struct HalFaults {
  AssignmentFaults assignment;
  NthCallFailure map_io_space;
  NthCallFailure get_adapter;
  NthCallFailure allocate_common_buffer;
};

struct AdapterGrant {
  std::uint32_t map_registers = 0;
};

struct HalConfig {
  DmaWindow dma_window;
};

class Hal {
 public:
  explicit Hal(HalConfig config = {});

  PciBus& Bus() { return bus_; }
  DmaSpace& Dma() { return dma_; }
  IoSpace& Io() { return io_; }
  HalFaults& Faults() { return faults_; }

  // Port I/O (width 1, 2 or 4). Fatal for a port nothing decodes.
  std::uint32_t ReadPort(Instant now, std::uint32_t port, unsigned width);
  void WritePort(Instant now, std::uint32_t port, unsigned width, std::uint32_t value);

  // Register access through a mapping. Fatal outside the machine's live
  // mappings; device memory that no BAR decodes reads all ones.
  std::uint32_t ReadRegister(Instant now, const volatile void* address, unsigned width);
  void WriteRegister(Instant now, const volatile void* address, unsigned width,
                     std::uint32_t value);

  SlotResources AssignSlotResources(std::uint32_t bus, std::uint32_t slot);
  // A 32-bit bus master adapter; map registers = maximum length / 4096 + 1.
  std::optional<AdapterGrant> GetAdapter(std::uint32_t maximum_length);
  void* MapIoSpace(std::uint64_t physical, std::uint32_t length);
  void UnmapIoSpace(void* base, std::size_t length) { io_.Unmap(base, length); }
  std::optional<CommonBuffer> AllocateCommonBuffer(std::uint32_t length);
  void FreeCommonBuffer(const void* host, std::uint64_t bus_address, std::uint32_t length) {
    dma_.Free(host, bus_address, length);
  }

  // Fatal when mappings or common buffers are left.
  void CheckShutdown() const;

 private:
  std::uint64_t PhysicalOrFatal(const volatile void* address, unsigned width) const;

  PciBus bus_;
  DmaSpace dma_;
  IoSpace io_;
  HalFaults faults_;
};

}  // namespace plat::hal
