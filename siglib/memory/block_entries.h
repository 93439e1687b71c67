// What every variant's copy, zero and fill entries share: the argument
// checks (a null pointer first, -8, then the length, -6; nothing is touched
// when one fails) and the conversion of the element count to bytes. Each
// variant supplies one byte-copy, one byte-zero and one word-fill routine;
// QVLS_DEFINE_BLOCK_ENTRIES makes its seven entries from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "siglib/memory/memory.h"

namespace qvls::memory {

using CopyBytesFn = void(const std::uint8_t* src, std::uint8_t* dst, std::size_t bytes);
using ZeroBytesFn = void(std::uint8_t* dst, std::size_t bytes);
// Writes `count` copies of value, in memory order, from any byte address.
using FillWordsFn = void(std::int32_t value, std::uint8_t* dst, std::size_t count);

// Reads one byte, so that its line is fetched ahead of a streaming pass.
inline void Touch(const std::uint8_t* p) { asm volatile("" : : "r"(*p)); }

// The last n & 7 bytes of a copy's tail: a 4-byte, a 2-byte and a 1-byte move.
inline void CopyLastBytes(const std::uint8_t* src, std::uint8_t* dst, std::size_t n) {
  if (n & 4) {
    std::memcpy(dst, src, 4);
    src += 4;
    dst += 4;
  }
  if (n & 2) {
    std::memcpy(dst, src, 2);
    src += 2;
    dst += 2;
  }
  if (n & 1) *dst = *src;
}

template <CopyBytesFn CopyBytes, class T>
qvls_status CheckedCopy(const T* src, T* dst, std::int32_t len) {
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  CopyBytes(reinterpret_cast<const std::uint8_t*>(src), reinterpret_cast<std::uint8_t*>(dst),
            static_cast<std::size_t>(len) * sizeof(T));
  return QVLS_OK;
}

template <ZeroBytesFn ZeroBytes, class T>
qvls_status CheckedZero(T* dst, std::int32_t len) {
  if (dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  ZeroBytes(reinterpret_cast<std::uint8_t*>(dst), static_cast<std::size_t>(len) * sizeof(T));
  return QVLS_OK;
}

template <FillWordsFn FillWords>
qvls_status CheckedFill(std::int32_t value, std::int32_t* dst, std::int32_t len) {
  if (dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  FillWords(value, reinterpret_cast<std::uint8_t*>(dst), static_cast<std::size_t>(len));
  return QVLS_OK;
}

}  // namespace qvls::memory

// The seven block entries of one variant (tag px, m6, a6 or w7) over its
// three routines.
#define QVLS_DEFINE_BLOCK_ENTRIES(tag, copy_bytes, zero_bytes, fill_words)                       \
  qvls_status qvlsCopy_u8_##tag(const std::uint8_t* src, std::uint8_t* dst, std::int32_t len) {  \
    return qvls::memory::CheckedCopy<copy_bytes>(src, dst, len);                                 \
  }                                                                                              \
  qvls_status qvlsCopy_i16_##tag(const std::int16_t* src, std::int16_t* dst, std::int32_t len) { \
    return qvls::memory::CheckedCopy<copy_bytes>(src, dst, len);                                 \
  }                                                                                              \
  qvls_status qvlsCopy_i32_##tag(const std::int32_t* src, std::int32_t* dst, std::int32_t len) { \
    return qvls::memory::CheckedCopy<copy_bytes>(src, dst, len);                                 \
  }                                                                                              \
  qvls_status qvlsZero_u8_##tag(std::uint8_t* dst, std::int32_t len) {                           \
    return qvls::memory::CheckedZero<zero_bytes>(dst, len);                                      \
  }                                                                                              \
  qvls_status qvlsZero_i16_##tag(std::int16_t* dst, std::int32_t len) {                          \
    return qvls::memory::CheckedZero<zero_bytes>(dst, len);                                      \
  }                                                                                              \
  qvls_status qvlsZero_i32_##tag(std::int32_t* dst, std::int32_t len) {                          \
    return qvls::memory::CheckedZero<zero_bytes>(dst, len);                                      \
  }                                                                                              \
  qvls_status qvlsFill_i32_##tag(std::int32_t value, std::int32_t* dst, std::int32_t len) {      \
    return qvls::memory::CheckedFill<fill_words>(value, dst, len);                               \
  }
