// Bit fields packed least significant bit first into arrays of words: the
// frames of the high-speed modems are built and read this way. Bit position
// p is bit p % w of word p / w (w = 16 or 32); a field may span two words.
// Bits past the end of the array are neither written nor read (they read
// as 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pump {

// Stores the low n bits of value (n at most 32) at the position, replacing
// the bits there; returns the position after the field.
std::size_t PutBits(std::span<std::uint32_t> words, std::size_t position, unsigned n,
                    std::uint32_t value);

// The n bits (at most 16) at the position of an array of 16-bit words.
std::uint32_t GetBits16(std::span<const std::uint16_t> words, std::size_t position, unsigned n);

// The n bits (at most 32) at the position of an array of 32-bit words.
std::uint32_t GetBits32(std::span<const std::uint32_t> words, std::size_t position, unsigned n);

}  // namespace pump
