// Resource assignment for a PCI slot, as the HAL reports it to a driver:
// one entry per decoded BAR (port ranges flagged as I/O ports) and one for
// the interrupt. The interrupt entry gives the raw line as both level and
// vector; InterruptVectorFor turns a line into the system vector and IRQL.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/hal/pci_bus.h"
#include "platform/nt/ntdef.h"

namespace plat::hal {

enum class ResourceType : std::uint8_t { kPort, kInterrupt, kMemory };

struct ResourceDescriptor {
  ResourceType type = ResourceType::kPort;
  bool shared = false;
  bool io_port = false;          // a port range in I/O space (not memory-mapped)
  bool level_sensitive = false;  // interrupts: level rather than latched
  std::uint64_t start = 0;       // ports and memory
  std::uint32_t length = 0;
  std::uint32_t level = 0;  // interrupts: the raw line, as level and vector
  std::uint32_t vector = 0;
  std::uint64_t affinity = 0;
  friend bool operator==(const ResourceDescriptor&, const ResourceDescriptor&) = default;
};

struct SlotResources {
  NTSTATUS status = 0;
  std::vector<ResourceDescriptor> list;
};

// Failures a test may impose on the assignment.
struct AssignmentFaults {
  std::optional<NTSTATUS> fail;             // the assignment fails with this status
  bool empty = false;                       // succeeds with an empty list
  std::optional<ResourceDescriptor> extra;  // succeeds with this entry appended
  bool ports_memory_mapped = false;         // port ranges reported without the I/O-port flag
};

SlotResources AssignSlotResources(PciBus& bus, std::uint32_t bus_number, std::uint32_t slot,
                                  const AssignmentFaults& faults);

struct InterruptVector {
  std::uint32_t vector = 0;  // 0: no such line
  std::uint8_t irql = 0;
  std::uint64_t affinity = 0;
};

// Line n is vector 0x30 + n at IRQL 27 - n, on processor 0.
InterruptVector InterruptVectorFor(std::uint32_t line);

}  // namespace plat::hal
