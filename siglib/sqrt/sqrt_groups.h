// The walk of the a6 and w7 kernels over a vector in groups of eight.
#pragma once

#include <cstdint>
#include <cstring>

namespace qvls::sqrt {

inline constexpr std::int32_t kGroupSize = 8;

// Calls group(p) for eight elements at p, over the whole vector: first the
// elements up to the next 16-byte boundary (when the address is even), then
// whole groups, then the rest. A group of fewer elements runs on a copy
// whose lanes beyond the valid elements repeat them, so that no lane holds
// an undefined value, and only the valid elements are written back.
template <class Group>
void ForEachGroup(std::int16_t* srcdst, std::int32_t len, Group&& group) {
  auto partial = [&](std::int16_t* p, std::int32_t n) {
    if (n == 0) return;
    alignas(16) std::int16_t lanes[kGroupSize];
    std::memcpy(lanes, p, n * sizeof(std::int16_t));
    for (std::int32_t i = n; i < kGroupSize; ++i) lanes[i] = lanes[i % n];
    group(lanes);
    std::memcpy(p, lanes, n * sizeof(std::int16_t));
  };
  std::int16_t* p = srcdst;
  std::int32_t n = len;
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  if (address % 2 == 0) {
    const auto to_boundary = static_cast<std::int32_t>((16 - address % 16) % 16 / 2);
    const std::int32_t head = to_boundary < n ? to_boundary : n;
    partial(p, head);
    p += head;
    n -= head;
  }
  for (; n >= kGroupSize; p += kGroupSize, n -= kGroupSize) group(p);
  partial(p, n);
}

}  // namespace qvls::sqrt
