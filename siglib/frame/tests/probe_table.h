// A variant table whose 460 entries are all different: entry (k, c) records
// that slot k's column c was called, with which arguments, and returns a
// value that names it. With it a test can tell which column a slot holds and
// what a jump entry passed on.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "siglib/frame/slots.h"

namespace qvls_test {

struct ProbeCall {
  std::int32_t slot = -1;
  std::int32_t column = -1;
  std::size_t arg_count = 0;
  std::uint64_t args[8] = {};
};

// The last probe called on this thread.
inline thread_local ProbeCall last_probe;

// The bits of a value, zero-extended to 64.
template <class T>
std::uint64_t Bits(const T& value) {
  static_assert(sizeof(T) <= 8 && std::is_trivially_copyable_v<T>);
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof(T));
  return bits;
}

// What probe (slot, column) returns, as bits.
constexpr std::uint64_t ProbeResult(std::int32_t slot, std::int32_t column) {
  return 0x10000u + static_cast<std::uint64_t>(slot) * 16 + static_cast<std::uint64_t>(column);
}

template <std::int32_t Slot, std::int32_t Column, class Fn = typename qvls_slot_type<Slot>::fn>
struct Probe;

template <std::int32_t Slot, std::int32_t Column, class Result, class... Args>
struct Probe<Slot, Column, Result(Args...)> {
  static Result entry(Args... args) {
    last_probe = {Slot, Column, sizeof...(Args), {Bits(args)...}};
    if constexpr (std::is_void_v<Result>) {
      return;
    } else if constexpr (std::is_pointer_v<Result>) {
      return reinterpret_cast<Result>(static_cast<std::uintptr_t>(ProbeResult(Slot, Column)));
    } else {
      return static_cast<Result>(ProbeResult(Slot, Column));
    }
  }
};

// clang-format off
#define QVLS_PROBE_RECORD(number, name, result, params, args, jump)          \
  {&qvls_slot_table::name,                                                   \
   {&Probe<number, 0>::entry, &Probe<number, 1>::entry,                      \
    &Probe<number, 2>::entry, &Probe<number, 3>::entry}},
// clang-format on
inline const qvls_variant_records kProbeTable = {QVLS_SLOT_LIST(QVLS_PROBE_RECORD)};
#undef QVLS_PROBE_RECORD

// For each slot, the column of `table` whose entry it holds, or -1.
inline std::vector<std::int32_t> SlotColumns(const qvls_slot_table& slots,
                                             const qvls_variant_records& table) {
  std::vector<std::int32_t> columns;
  qvls_for_each_record(table, [&](std::int32_t, const auto& record) {
    auto* entry = (slots.*record.slot).load();
    std::int32_t column = -1;
    for (std::int32_t c = 0; c < qvls_variant_count; ++c) {
      if (record.entry[c] == entry) column = c;
    }
    columns.push_back(column);
  });
  return columns;
}

// The slot columns when every slot holds `column`.
inline std::vector<std::int32_t> AllSlots(std::int32_t column) {
  return std::vector<std::int32_t>(qvls_slot_count, column);
}

}  // namespace qvls_test
