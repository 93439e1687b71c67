// The resource report of IOCTL 0x46168: what the start was given of the
// machine, 224 bytes little-endian without padding. Addresses the driver
// maps or keeps are pointer-sized (8 bytes); every other field keeps its
// width. Fields marked "not written" are zero.
//
//   0    u16 PCI vendor id, u16 PCI device id
//   4    u32 interrupt level, vector, affinity, shared (0/1), latched (0/1)
//   24   3 port ranges of 28 bytes: u32 bus address low, high, u32 length,
//        u64 mapped address, u32 memory-space flag, u32 not written
//   108  u32 port ranges reported (at most 3), u32 not written
//   116  3 memory ranges of 20 bytes: u32 bus address low, high, u32 length,
//        u64 mapped address
//   176  u32 memory ranges reported (at most 3), u32 not written
//   184  u64 transmit logical, receive logical, transmit virtual, receive virtual
//   216  u32 common-buffer size, u32 map registers
#pragma once

#include <span>

#include "afe/windows/afe_device.h"

namespace afe::report {

inline constexpr ULONG kVendorId = 0;
inline constexpr ULONG kDeviceId = 2;
inline constexpr ULONG kInterruptLevel = 4;
inline constexpr ULONG kInterruptVector = 8;
inline constexpr ULONG kInterruptAffinity = 12;
inline constexpr ULONG kInterruptShared = 16;
inline constexpr ULONG kInterruptLatched = 20;

inline constexpr ULONG kReportedRanges = 3;  // of each kind

inline constexpr ULONG kPortRanges = 24;
inline constexpr ULONG kPortEntryBytes = 28;
inline constexpr ULONG kPortBusLow = 0;  // within an entry
inline constexpr ULONG kPortBusHigh = 4;
inline constexpr ULONG kPortLength = 8;
inline constexpr ULONG kPortMapped = 12;
inline constexpr ULONG kPortInMemory = 20;
inline constexpr ULONG kPortCount = kPortRanges + kReportedRanges * kPortEntryBytes;
static_assert(kPortCount == 108);

inline constexpr ULONG kMemoryRanges = kPortCount + 8;
inline constexpr ULONG kMemoryEntryBytes = 20;
inline constexpr ULONG kMemoryBusLow = 0;  // within an entry
inline constexpr ULONG kMemoryBusHigh = 4;
inline constexpr ULONG kMemoryLength = 8;
inline constexpr ULONG kMemoryMapped = 12;
inline constexpr ULONG kMemoryCount = kMemoryRanges + kReportedRanges * kMemoryEntryBytes;
static_assert(kMemoryRanges == 116 && kMemoryCount == 176);

inline constexpr ULONG kTransmitLogical = kMemoryCount + 8;
inline constexpr ULONG kReceiveLogical = kTransmitLogical + 8;
inline constexpr ULONG kTransmitVirtual = kReceiveLogical + 8;
inline constexpr ULONG kReceiveVirtual = kTransmitVirtual + 8;
inline constexpr ULONG kCommonBufferSize = kReceiveVirtual + 8;
inline constexpr ULONG kMapRegisters = kCommonBufferSize + 4;
static_assert(kTransmitLogical == 184 && kReceiveVirtual == 208 && kCommonBufferSize == 216);
static_assert(kMapRegisters + 4 == kAfeResourceReportBytes);

}  // namespace afe::report

namespace afe {

void ReportAfeResources(const AfeDeviceExtension& extension,
                        std::span<UCHAR, kAfeResourceReportBytes> report);

}  // namespace afe
