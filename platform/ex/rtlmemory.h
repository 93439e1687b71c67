// The Rtl memory block routines. Copies tolerate overlap and empty blocks
// (a null pointer with a zero length is fine, as drivers pass it).
#pragma once

#include <cstring>

#include "platform/nt/ntdef.h"

inline void RtlZeroMemory(PVOID destination, SIZE_T length) {
  if (length != 0) std::memset(destination, 0, length);
}

inline void RtlFillMemory(PVOID destination, SIZE_T length, UCHAR fill) {
  if (length != 0) std::memset(destination, fill, length);
}

inline void RtlMoveMemory(PVOID destination, const void* source, SIZE_T length) {
  if (length != 0) std::memmove(destination, source, length);
}

inline void RtlCopyMemory(PVOID destination, const void* source, SIZE_T length) {
  RtlMoveMemory(destination, source, length);
}

// The number of leading bytes the two blocks share.
inline SIZE_T RtlCompareMemory(const void* first, const void* second, SIZE_T length) {
  const auto* a = static_cast<const UCHAR*>(first);
  const auto* b = static_cast<const UCHAR*>(second);
  SIZE_T same = 0;
  while (same < length && a[same] == b[same]) ++same;
  return same;
}
