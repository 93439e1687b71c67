// The walk of a swap list, one code behind every permutation; the variants
// differ only in how they move an eight-byte element (the mover).
#pragma once

#include <cstdint>
#include <cstring>

namespace qvls::bitrev {

// The 32-bit movers: element i of 8 bytes as two 32-bit words.
inline void ExchangeWords(std::uint8_t* base, std::int32_t i, std::int32_t j) {
  std::uint8_t* x = base + 8 * i;
  std::uint8_t* y = base + 8 * j;
  for (int w = 0; w < 8; w += 4) {
    std::uint32_t a, b;
    std::memcpy(&a, x + w, 4);
    std::memcpy(&b, y + w, 4);
    std::memcpy(x + w, &b, 4);
    std::memcpy(y + w, &a, 4);
  }
}

inline void CopyWords(std::uint8_t* to, std::int32_t i, const std::uint8_t* from, std::int32_t j) {
  for (int w = 0; w < 8; w += 4) std::memcpy(to + 8 * i + w, from + 8 * j + w, 4);
}

// Walks a swap list: pair(a, b) for each pair of quadruples (first
// elements a = 2m and b = 2d), then quadruple(a) for m = 0 (the closing 0)
// and each self-reversed m up to the final 0.
template <class Pair, class Quadruple>
void WalkSwapList(const std::int32_t* list, Pair pair, Quadruple quadruple) {
  std::int32_t k = 0;
  for (; list[k] != 0; k += 2) pair(list[k] >> 1, list[k + 1] >> 1);
  for (std::int32_t a = 0;;) {
    quadruple(a);
    const std::int32_t word = list[++k];
    if (word == 0) return;
    a = word >> 1;
  }
}

// exchange(i, j) swaps elements i and j. A pair exchanges its two
// quadruples; a self-reversed quadruple swaps its two middle elements.
template <class Exchange>
void PermuteInPlace(std::int32_t n, const std::int32_t* list, Exchange exchange) {
  if (n < 4) return;
  const std::int32_t h = n / 2;
  WalkSwapList(
      list,
      [&](std::int32_t a, std::int32_t b) {
        exchange(a, b);
        exchange(a + 1, h + b);
        exchange(h + a, b + 1);
        exchange(h + a + 1, h + b + 1);
      },
      [&](std::int32_t a) { exchange(a + 1, h + a); });
}

// copy(to, from) copies element `from` of the source to element `to` of the
// destination; every destination element is written once.
template <class Copy>
void PermuteOutOfPlace(std::int32_t n, const std::int32_t* list, Copy copy) {
  const std::int32_t h = n / 2;
  WalkSwapList(
      list,
      [&](std::int32_t a, std::int32_t b) {
        copy(b, a);
        copy(b + 1, h + a);
        copy(a, b);
        copy(a + 1, h + b);
        copy(h + b, a + 1);
        copy(h + b + 1, h + a + 1);
        copy(h + a, b + 1);
        copy(h + a + 1, h + b + 1);
      },
      [&](std::int32_t a) {
        copy(a, a);
        copy(a + 1, h + a);
        copy(h + a, a + 1);
        copy(h + a + 1, h + a + 1);
      });
}

}  // namespace qvls::bitrev
