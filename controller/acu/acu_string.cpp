#include "controller/acu/acu_string.h"

#include <algorithm>
#include <cstring>

namespace vxctl {

std::uint16_t acu_strlen(const char* text) { return static_cast<std::uint16_t>(std::strlen(text)); }

std::uint16_t acu_strlen16(const char* text) { return acu_strlen(text); }

std::int32_t acu_strlen32(const char* text) { return static_cast<std::int32_t>(std::strlen(text)); }

char* acu_strcpy(std::span<char> destination, const char* source) {
  return acu_strncpy(destination, source, std::strlen(source));
}

char* acu_strncpy(std::span<char> destination, const char* source, std::size_t n) {
  if (destination.empty()) return destination.data();
  const std::size_t length = std::min({std::strlen(source), n, destination.size() - 1});
  std::memcpy(destination.data(), source, length);
  destination[length] = '\0';
  return destination.data();
}

const char* acu_strchr(const char* text, char c) {
  for (; *text != '\0'; ++text) {
    if (*text == c) return text;
  }
  return nullptr;
}

std::size_t acu_memcpy(void* destination, const void* source, std::size_t n) {
  if (n != 0) std::memcpy(destination, source, n);
  return n;
}

int acu_memcmp(const void* a, const void* b, std::size_t n) {
  return (n == 0 || std::memcmp(a, b, n) == 0) ? 0 : -1;
}

}  // namespace vxctl
