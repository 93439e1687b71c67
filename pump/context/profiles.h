// The data pump's two registry values under its service key: "Profile"
// (8 bytes, read at start) and "VOVProfile" (the speakerphone's 332-byte
// profile, read at start and written back at stop). The registry is
// reached only at PASSIVE_LEVEL; above it every call reports failure and
// touches nothing.
#pragma once

#include "platform/ex/rtlstring.h"
#include "platform/nt/ntdef.h"

namespace pump {

inline constexpr PCWSTR kProfileValue = u"Profile";
inline constexpr PCWSTR kVovProfileValue = u"VOVProfile";

// Keeps a 500-byte paged copy of the service key's absolute path for the
// machine's data pump. False (and no path kept) when the path does not fit
// or the pool refuses.
bool SetProfilePath(const UNICODE_STRING& path);
void FreeProfilePath();

// Reads a binary value of at most `size` bytes into `buffer`; `size`
// returns the bytes read, 0 on failure. A missing value, a longer value, no
// path and a caller above PASSIVE_LEVEL fail.
bool ReadProfileValue(PCWSTR name, void* buffer, ULONG& size);

// Writes a binary value.
bool WriteProfileValue(PCWSTR name, const void* data, ULONG size);

}  // namespace pump
