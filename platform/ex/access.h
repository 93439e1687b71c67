// Access masks: what a handle lets its holder do with the object.
#pragma once

#include "platform/nt/ntdef.h"

using ACCESS_MASK = ULONG;

inline constexpr ACCESS_MASK DELETE = 0x00010000;
inline constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
inline constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_READ = READ_CONTROL;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_WRITE = READ_CONTROL;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
inline constexpr ACCESS_MASK STANDARD_RIGHTS_ALL = 0x001F0000;
inline constexpr ACCESS_MASK GENERIC_READ = 0x80000000;
inline constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000;
inline constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;
inline constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
