#include "afe/windows/resource_report.h"

#include <algorithm>
#include <cstdint>

namespace afe {
namespace {

// Little-endian, whatever the host.
template <class T>
void Put(std::span<UCHAR> report, ULONG offset, T value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (ULONG i = 0; i < sizeof(T); ++i) report[offset + i] = static_cast<UCHAR>(bits >> 8 * i);
}

void PutAddress(std::span<UCHAR> report, ULONG offset, const void* address) {
  Put(report, offset, static_cast<std::uint64_t>(reinterpret_cast<ULONG_PTR>(address)));
}

void PutBusAddress(std::span<UCHAR> report, ULONG offset, PHYSICAL_ADDRESS address) {
  Put(report, offset, address.u.LowPart);
  Put(report, offset + 4, static_cast<ULONG>(address.u.HighPart));
}

}  // namespace

void ReportAfeResources(const AfeDeviceExtension& e,
                        std::span<UCHAR, kAfeResourceReportBytes> report) {
  using namespace report;
  std::fill(report.begin(), report.end(), UCHAR{0});
  const AfeContext& context = *e.Interface.Context;
  Put(report, kVendorId, context.VendorId);
  Put(report, kDeviceId, context.DeviceId);
  Put(report, kInterruptLevel, ULONG{e.InterruptLevel});
  Put(report, kInterruptVector, e.InterruptVector);
  Put(report, kInterruptAffinity, static_cast<ULONG>(e.InterruptAffinity));
  Put(report, kInterruptShared, ULONG{e.InterruptShared != 0});
  Put(report, kInterruptLatched, ULONG{e.InterruptLatched != 0});

  const ULONG ports = std::min<ULONG>(e.PortCount, kReportedRanges);
  for (ULONG i = 0; i < ports; ++i) {
    const ULONG entry = kPortRanges + i * kPortEntryBytes;
    PutBusAddress(report, entry + kPortBusLow, e.PortBusAddresses[i]);
    Put(report, entry + kPortLength, e.PortLengths[i]);
    PutAddress(report, entry + kPortMapped, e.PortAddresses[i]);
    Put(report, entry + kPortInMemory, ULONG{e.PortInMemory[i] != 0});
  }
  Put(report, kPortCount, ports);

  const ULONG memories = std::min<ULONG>(e.MemoryCount, kReportedRanges);
  for (ULONG i = 0; i < memories; ++i) {
    const ULONG entry = kMemoryRanges + i * kMemoryEntryBytes;
    PutBusAddress(report, entry + kMemoryBusLow, e.MemoryBusAddresses[i]);
    Put(report, entry + kMemoryLength, e.MemoryLengths[i]);
    PutAddress(report, entry + kMemoryMapped, e.MemoryAddresses[i]);
  }
  Put(report, kMemoryCount, memories);

  Put(report, kTransmitLogical, e.TransmitLogical.QuadPart);
  Put(report, kReceiveLogical, e.ReceiveLogical.QuadPart);
  PutAddress(report, kTransmitVirtual, e.TransmitVirtual);
  PutAddress(report, kReceiveVirtual, e.ReceiveVirtual);
  Put(report, kCommonBufferSize, e.CommonBufferSize);
  Put(report, kMapRegisters, e.MapRegisters);
}

}  // namespace afe
