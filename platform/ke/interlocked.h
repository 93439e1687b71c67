// Interlocked operations on 8-bit, 32-bit and pointer-sized values. Each
// returns what the kernel's does: exchange and compare-exchange the value
// before, increment and decrement the value after, add the value before.
#pragma once

#include <atomic>

#include "platform/nt/ntdef.h"

namespace plat::ke::interlocked {

template <typename T>
std::atomic_ref<T> Ref(volatile T* target) {
  return std::atomic_ref<T>(const_cast<T&>(*target));
}

template <typename T>
T Exchange(volatile T* target, T value) {
  return Ref(target).exchange(value);
}

template <typename T>
T CompareExchange(volatile T* target, T exchange, T comparand) {
  Ref(target).compare_exchange_strong(comparand, exchange);
  return comparand;  // the value found, whether or not it was replaced
}

template <typename T>
T ExchangeAdd(volatile T* target, T value) {
  return Ref(target).fetch_add(value);
}

}  // namespace plat::ke::interlocked

inline LONG InterlockedExchange(volatile LONG* Target, LONG Value) {
  return plat::ke::interlocked::Exchange(Target, Value);
}
inline LONG InterlockedCompareExchange(volatile LONG* Destination, LONG Exchange, LONG Comparand) {
  return plat::ke::interlocked::CompareExchange(Destination, Exchange, Comparand);
}
inline LONG InterlockedExchangeAdd(volatile LONG* Addend, LONG Value) {
  return plat::ke::interlocked::ExchangeAdd(Addend, Value);
}
inline LONG InterlockedIncrement(volatile LONG* Addend) {
  return InterlockedExchangeAdd(Addend, 1) + 1;
}
inline LONG InterlockedDecrement(volatile LONG* Addend) {
  return InterlockedExchangeAdd(Addend, -1) - 1;
}

inline CHAR InterlockedExchange8(volatile CHAR* Target, CHAR Value) {
  return plat::ke::interlocked::Exchange(Target, Value);
}
inline CHAR InterlockedCompareExchange8(volatile CHAR* Destination, CHAR Exchange, CHAR Comparand) {
  return plat::ke::interlocked::CompareExchange(Destination, Exchange, Comparand);
}
inline CHAR InterlockedExchangeAdd8(volatile CHAR* Addend, CHAR Value) {
  return plat::ke::interlocked::ExchangeAdd(Addend, Value);
}
inline CHAR InterlockedIncrement8(volatile CHAR* Addend) {
  return static_cast<CHAR>(InterlockedExchangeAdd8(Addend, 1) + 1);
}
inline CHAR InterlockedDecrement8(volatile CHAR* Addend) {
  return static_cast<CHAR>(InterlockedExchangeAdd8(Addend, -1) - 1);
}

inline PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
  return plat::ke::interlocked::Exchange(Target, Value);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange,
                                               PVOID Comparand) {
  return plat::ke::interlocked::CompareExchange(Destination, Exchange, Comparand);
}
inline LONG_PTR InterlockedExchangeAddPtr(volatile LONG_PTR* Addend, LONG_PTR Value) {
  return plat::ke::interlocked::ExchangeAdd(Addend, Value);
}
inline LONG_PTR InterlockedIncrementPtr(volatile LONG_PTR* Addend) {
  return InterlockedExchangeAddPtr(Addend, 1) + 1;
}
inline LONG_PTR InterlockedDecrementPtr(volatile LONG_PTR* Addend) {
  return InterlockedExchangeAddPtr(Addend, -1) - 1;
}
