// The string routines command handlers use on their texts and buffers.
// Copies take the destination as a span and never write past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

std::uint16_t acu_strlen(const char* text);
std::uint16_t acu_strlen16(const char* text);
std::int32_t acu_strlen32(const char* text);
// Copies `source` with its NUL, cut to fit `destination` (which then still
// ends in a NUL); returns the destination.
char* acu_strcpy(std::span<char> destination, const char* source);
// As acu_strcpy, copying at most `n` characters before the NUL.
char* acu_strncpy(std::span<char> destination, const char* source, std::size_t n);
// The first occurrence of `c` in `text`, or null.
const char* acu_strchr(const char* text, char c);
// Copies `n` bytes; returns n.
std::size_t acu_memcpy(void* destination, const void* source, std::size_t n);
// 0 when the `n` bytes are equal, -1 at the first difference.
int acu_memcmp(const void* a, const void* b, std::size_t n);

}  // namespace vxctl
