// The generic block operations: 32-bit words once the destination is on a
// 4-byte boundary, single bytes before and after.
#include <cstring>

#include "siglib/memory/alignment.h"
#include "siglib/memory/block_entries.h"

namespace {

void MoveWord(const std::uint8_t* src, std::uint8_t* dst) { std::memcpy(dst, src, 4); }
void StoreWord(std::uint8_t* dst, std::uint32_t word) { std::memcpy(dst, &word, 4); }

// Single bytes up to the destination's 4-byte boundary, 32-byte blocks as
// eight words, then the rest byte by byte.
void CopyBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  for (; n > 0 && !qvls::IsOnBoundary(dst, 4); --n) *dst++ = *src++;
  for (; n >= 32; n -= 32, src += 32, dst += 32) {
    MoveWord(src, dst);
    MoveWord(src + 4, dst + 4);
    MoveWord(src + 8, dst + 8);
    MoveWord(src + 12, dst + 12);
    MoveWord(src + 16, dst + 16);
    MoveWord(src + 20, dst + 20);
    MoveWord(src + 24, dst + 24);
    MoveWord(src + 28, dst + 28);
  }
  for (; n > 0; --n) *dst++ = *src++;
}

void ZeroBytes(std::uint8_t* dst, std::size_t n) {
  for (; n > 0 && !qvls::IsOnBoundary(dst, 4); --n) *dst++ = 0;
  for (; n >= 32; n -= 32, dst += 32) {
    for (int k = 0; k < 32; k += 4) StoreWord(dst + k, 0);
  }
  for (; n > 0; --n) *dst++ = 0;
}

// Eight elements per step, then the rest; each store goes where the element
// lies, on a 4-byte boundary or not.
void FillWords(std::int32_t value, std::uint8_t* dst, std::size_t count) {
  const auto word = static_cast<std::uint32_t>(value);
  for (; count >= 8; count -= 8, dst += 32) {
    for (int k = 0; k < 32; k += 4) StoreWord(dst + k, word);
  }
  for (; count > 0; --count, dst += 4) StoreWord(dst, word);
}

}  // namespace

QVLS_DEFINE_BLOCK_ENTRIES(px, CopyBytes, ZeroBytes, FillWords)
