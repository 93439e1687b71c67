// Address arithmetic for kernels that work up to a boundary: how far a
// pointer lies from the next multiple of a power of two, and whether it is on
// one. Used by the block operations and the conversions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvls {

inline std::uintptr_t AddressOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Bytes from p up to the next multiple of `boundary` (0 when p is on one).
inline std::size_t DistanceToBoundary(const void* p, std::size_t boundary) {
  return (0 - AddressOf(p)) & (boundary - 1);
}

inline bool IsOnBoundary(const void* p, std::size_t boundary) {
  return (AddressOf(p) & (boundary - 1)) == 0;
}

// How many elements of `element_size` bytes a kernel takes singly, at most
// `len`, before p + count reaches a multiple of `boundary`. A vector whose
// address is not a multiple of the element size never reaches one: it gets
// no single head and its kernel reads unaligned throughout.
inline std::int32_t ElementsToBoundary(const void* p, std::size_t element_size,
                                       std::size_t boundary, std::int32_t len) {
  if (AddressOf(p) % element_size != 0) return 0;
  const auto head = static_cast<std::int32_t>(DistanceToBoundary(p, boundary) / element_size);
  return head < len ? head : len;
}

}  // namespace qvls
