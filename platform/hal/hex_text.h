// Hexadecimal text for diagnostics.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace plat::hal {

inline std::string HexText(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace plat::hal
