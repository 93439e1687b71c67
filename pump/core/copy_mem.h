// CopyMem: the data pump's byte copy. Overlapping areas are allowed.
#pragma once

#include <cstddef>
#include <cstring>

namespace pump {

inline std::size_t CopyMem(void* destination, const void* source, std::size_t bytes) {
  if (bytes != 0) std::memmove(destination, source, bytes);
  return bytes;
}

}  // namespace pump
