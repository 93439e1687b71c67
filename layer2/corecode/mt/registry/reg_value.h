// The two value operations every setting goes through: a value of the
// Parameters key (or a subkey of it) read into the caller's buffer, or
// written. The context is the registry context (the serial device's
// extension), whose registry path names the driver's service key.
#pragma once

#include <cstdint>

#include "platform/nt/ntdef.h"

namespace vxctl {

struct SerialDeviceExtension;

inline constexpr std::uint32_t kRegOk = 0;
inline constexpr std::uint32_t kRegFailed = 19;

// How reg_read_value hands over a string: kind 1 the ANSI characters (size:
// their count), kind 99 the UTF-16 bytes (size: the ANSI length); any other
// kind the raw data (size: its length).
inline constexpr int kRegKindAnsi = 1;
inline constexpr int kRegKindUnicode = 99;
inline constexpr int kRegKindRaw = 0;

// `*size` is the buffer's room in, the bytes given out. A value longer than
// the room, a missing key or value, an open mode other than 0 or 1, or any
// other failure is kRegFailed with the buffer and size untouched. `subkey`
// may be null.
std::uint32_t reg_read_value(const SerialDeviceExtension* context, const char* subkey,
                             const char* name, int kind, void* buffer, ULONG* size, int open_mode);

// Writes `length` bytes of `type` as the named value; the key must exist.
std::uint32_t reg_write_value(const SerialDeviceExtension* context, const char* subkey,
                              const char* name, ULONG type, const void* data, ULONG length);

}  // namespace vxctl
