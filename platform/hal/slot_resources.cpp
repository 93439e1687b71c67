#include "platform/hal/slot_resources.h"

#include "platform/nt/ntstatus.h"

namespace plat::hal {
namespace {

constexpr std::uint32_t kFirstVector = 0x30;
constexpr std::uint32_t kHighestDeviceIrql = 27;
constexpr std::uint32_t kHighestLine = 23;  // keeps the IRQL at device levels (4 and up)
constexpr NTSTATUS kNoSuchDevice = NtStatus(0xC000000E);

}  // namespace

SlotResources AssignSlotResources(PciBus& bus, std::uint32_t bus_number, std::uint32_t slot,
                                  const AssignmentFaults& faults) {
  SlotResources result;
  if (faults.fail) {
    result.status = *faults.fail;
    return result;
  }
  PciFunction* function = bus_number < kPciBusCount ? bus.FindBySlot(bus_number, slot) : nullptr;
  if (function == nullptr) {
    result.status = kNoSuchDevice;
    return result;
  }
  if (faults.empty) return result;

  bus.ProgramBars(*function);
  for (unsigned i = 0; i < pci::kBarCount; ++i) {
    const BarSpec& bar = function->bars[i];
    if (bar.kind == BarKind::kNone) continue;
    ResourceDescriptor entry;
    entry.type = bar.kind == BarKind::kIo ? ResourceType::kPort : ResourceType::kMemory;
    entry.io_port = bar.kind == BarKind::kIo && !faults.ports_memory_mapped;
    entry.start = function->assigned[i];
    entry.length = bar.size;
    result.list.push_back(entry);
  }
  if (function->config.Byte(pci::kInterruptPin) != 0) {
    ResourceDescriptor entry;
    entry.type = ResourceType::kInterrupt;
    entry.shared = true;
    entry.level_sensitive = true;
    entry.level = entry.vector = function->config.Byte(pci::kInterruptLine);
    entry.affinity = 1;
    result.list.push_back(entry);
  }
  if (faults.extra) result.list.push_back(*faults.extra);
  return result;
}

InterruptVector InterruptVectorFor(std::uint32_t line) {
  if (line > kHighestLine) return {};
  return {kFirstVector + line, static_cast<std::uint8_t>(kHighestDeviceIrql - line), 1};
}

}  // namespace plat::hal
