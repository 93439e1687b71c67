// Elements at any byte address. The library's vectors may start at any
// address, odd ones included; scalar code reads and writes their elements
// through these, never through a pointer of the element's type.
#pragma once

#include <cstddef>
#include <cstring>

namespace qvls {

template <class T>
T LoadAt(const T* base, std::ptrdiff_t i) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(base) + i * sizeof(T), sizeof(T));
  return value;
}

template <class T>
void StoreAt(T* base, std::ptrdiff_t i, T value) {
  std::memcpy(reinterpret_cast<unsigned char*>(base) + i * sizeof(T), &value, sizeof(T));
}

}  // namespace qvls
