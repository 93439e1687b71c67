// Integer helpers of the data pump's fixed-point code: absolute values,
// leading-bit index, the Q31 product and the Q7 square root.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace pump {

// x for x >= 0, ~x (= -x - 1) for x < 0: a magnitude that never overflows.
constexpr std::int32_t AbsOnesComplement(std::int32_t x) { return x ^ (x >> 31); }

// |x|, held to INT32_MAX for INT32_MIN, whose magnitude has no 32-bit
// signed value.
constexpr std::int32_t AbsInt(std::int32_t x) {
  if (x == std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::max();
  return x < 0 ? -x : x;
}

// |x| of a 16-bit value; -32768 gives 32768.
constexpr std::int32_t Abs16(std::int16_t x) { return x < 0 ? -std::int32_t{x} : x; }

// Index of the highest set bit, -1 for 0.
constexpr int MsbIndex32(std::uint32_t x) { return std::bit_width(x) - 1; }
constexpr int MsbIndex64(std::uint32_t low, std::uint32_t high) {
  return std::bit_width(std::uint64_t{high} << 32 | low) - 1;
}

// The Q31 product: a * b / 2^31 rounded down, from the 64-bit product.
// (-1) * (-1) has no Q31 value and gives the largest one.
constexpr std::int32_t MulQ31(std::int32_t a, std::int32_t b) {
  const std::int64_t product = (std::int64_t{a} * b) >> 31;
  return product > std::numeric_limits<std::int32_t>::max()
             ? std::numeric_limits<std::int32_t>::max()
             : static_cast<std::int32_t>(product);
}

// 128 * sqrt(x), within half a unit. Four Newton steps on y = x << 14 from a
// first guess of y >> (msb(y) / 2). For x < 2^18 y fits 32 bits and these
// are the 32-bit steps bit for bit; larger x run the same steps on 64 bits,
// so the result stays right (up to 2^23 for x = 2^32 - 1).
constexpr std::uint32_t SqrtQ7(std::uint32_t x) {
  if (x == 0) return 0;
  const std::uint64_t y = std::uint64_t{x} << 14;
  std::uint64_t r = y >> ((std::bit_width(y) - 1) / 2);
  for (int step = 0; step < 4; ++step) r = (y / r + r + 1) >> 1;
  return static_cast<std::uint32_t>(r);
}

}  // namespace pump
