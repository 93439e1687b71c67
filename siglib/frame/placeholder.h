// The entry of an operation that is not built yet. It answers as the library
// answers a mode it does not support, -9999, or null for an operation that
// returns a pointer, or nothing, and it never touches its arguments. Every
// column of such a slot holds the same placeholder, one per slot.
#pragma once

#include <cstdint>
#include <type_traits>

#include "siglib/frame/slot_list.h"

template <std::int32_t Slot, class Fn = typename qvls_slot_type<Slot>::fn>
struct qvls_placeholder;

template <std::int32_t Slot, class Result, class... Args>
struct qvls_placeholder<Slot, Result(Args...)> {
  static Result entry(Args...) {
    if constexpr (std::is_void_v<Result>) {
      return;
    } else if constexpr (std::is_pointer_v<Result>) {
      return nullptr;
    } else {
      return QVLS_ERR_NOT_SUPPORTED;
    }
  }
};

// The placeholder entry of slot k; one address in the whole program.
template <std::int32_t Slot>
inline constexpr auto* qvls_placeholder_entry = &qvls_placeholder<Slot>::entry;
