// Little-endian byte strings for request arguments and answers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace afe::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes U16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}

inline Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace afe::testing
