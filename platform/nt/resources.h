// Hardware resources as drivers see them: bus addresses, bus kinds, and the
// resource list the HAL assigns to a slot (one full descriptor per bus, each
// holding partial descriptors for port ranges, memory ranges and the
// interrupt). Lists are variable-length blocks: the trailing arrays hold
// Count entries, and CmResourceListBytes gives the size of such a block.
// Reach entries past the first through a pointer or a loop index; a constant
// subscript above 0 draws the compiler's array-bounds warning.
#pragma once

#include "platform/nt/ntdef.h"

using PHYSICAL_ADDRESS = LARGE_INTEGER;
using PPHYSICAL_ADDRESS = PHYSICAL_ADDRESS*;
using KAFFINITY = ULONG_PTR;
using PKAFFINITY = KAFFINITY*;

enum INTERFACE_TYPE : int {
  InterfaceTypeUndefined = -1,
  Internal = 0,
  Isa = 1,
  PCIBus = 5,
};

// What the HAL's bus-data calls address.
enum BUS_DATA_TYPE : int {
  ConfigurationSpaceUndefined = -1,
  Cmos = 0,
  PCIConfiguration = 4,
};

inline constexpr UCHAR CmResourceTypeNull = 0;
inline constexpr UCHAR CmResourceTypePort = 1;
inline constexpr UCHAR CmResourceTypeInterrupt = 2;
inline constexpr UCHAR CmResourceTypeMemory = 3;

enum CM_SHARE_DISPOSITION : UCHAR {
  CmResourceShareUndetermined = 0,
  CmResourceShareDeviceExclusive = 1,
  CmResourceShareDriverExclusive = 2,
  CmResourceShareShared = 3,
};

// Flags of an interrupt descriptor.
inline constexpr USHORT CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE = 0x0000;
inline constexpr USHORT CM_RESOURCE_INTERRUPT_LATCHED = 0x0001;
// Flags of a port descriptor: where the range lies.
inline constexpr USHORT CM_RESOURCE_PORT_MEMORY = 0x0000;
inline constexpr USHORT CM_RESOURCE_PORT_IO = 0x0001;
// Flags of a memory descriptor.
inline constexpr USHORT CM_RESOURCE_MEMORY_READ_WRITE = 0x0000;

// A port or memory range on the bus.
struct CM_RESOURCE_RANGE {
  PHYSICAL_ADDRESS Start;
  ULONG Length;
};

// An interrupt as the bus numbers it; HalGetInterruptVector turns it into
// the system vector and level.
struct CM_RESOURCE_INTERRUPT {
  ULONG Level;
  ULONG Vector;
  KAFFINITY Affinity;
};

struct CM_PARTIAL_RESOURCE_DESCRIPTOR {
  UCHAR Type;              // CmResourceType...
  UCHAR ShareDisposition;  // CM_SHARE_DISPOSITION
  USHORT Flags;
  union {
    CM_RESOURCE_RANGE Generic;
    CM_RESOURCE_RANGE Port;
    CM_RESOURCE_RANGE Memory;
    CM_RESOURCE_INTERRUPT Interrupt;
  } u;
};
using PCM_PARTIAL_RESOURCE_DESCRIPTOR = CM_PARTIAL_RESOURCE_DESCRIPTOR*;

struct CM_PARTIAL_RESOURCE_LIST {
  USHORT Version;
  USHORT Revision;
  ULONG Count;
  CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1];  // Count of them
};
using PCM_PARTIAL_RESOURCE_LIST = CM_PARTIAL_RESOURCE_LIST*;

struct CM_FULL_RESOURCE_DESCRIPTOR {
  INTERFACE_TYPE InterfaceType;
  ULONG BusNumber;
  CM_PARTIAL_RESOURCE_LIST PartialResourceList;
};
using PCM_FULL_RESOURCE_DESCRIPTOR = CM_FULL_RESOURCE_DESCRIPTOR*;

struct CM_RESOURCE_LIST {
  ULONG Count;
  CM_FULL_RESOURCE_DESCRIPTOR List[1];  // Count of them
};
using PCM_RESOURCE_LIST = CM_RESOURCE_LIST*;

// Bytes of a list with one full descriptor holding `partials` partial ones
// (room for one is always there).
constexpr SIZE_T CmResourceListBytes(ULONG partials) {
  return sizeof(CM_RESOURCE_LIST) +
         (partials > 1 ? partials - 1 : 0) * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
}
