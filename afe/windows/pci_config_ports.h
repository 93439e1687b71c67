// Configuration mechanism #1 as the probe and the presence self test use
// it: the configuration address of function i of buses 0 to 2 (i = bus *
// 256 + device * 8 + function) and dword reads through ports 0xCF8/0xCFC.
#pragma once

#include "platform/nt/ntdef.h"

namespace afe {

inline constexpr ULONG kProbedFunctions = 3 * 256;  // buses 0 to 2
inline constexpr ULONG kAbsentFunction = 0xFFFF'FFFF;
inline constexpr ULONG kConfigCommand = 0x04;
inline constexpr ULONG kConfigSubsystem = 0x2C;

constexpr ULONG ConfigAddress(ULONG function, ULONG offset = 0) {
  return 0x8000'0000 + 256 * function + offset;
}

ULONG ReadConfigDword(ULONG address);

}  // namespace afe
