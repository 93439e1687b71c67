// How a family hands its entries to the variant table.
//
// The variant table asks qvls_slot_entries<k> for the four entries of slot k.
// Unless a family says otherwise, all four are the slot's placeholder. A
// family's entries header names its entries, one line per slot, in the
// column order px, m6, a6, w7:
//
//   QVLS_VARIANT_ENTRIES(qvlsCopy_u8, qvlsCopy_u8_px, qvlsCopy_u8_m6, qvlsCopy_u8_a6,
//                        qvlsCopy_u8_w7);
//
// A column that runs another column's entry names that entry again ("same as
// px": qvlsAlloc_u8_px in all four). Each name must have exactly the slot's
// function type; anything else does not compile.
//
// The variant table's source is the only place that reads qvls_slot_entries,
// and it includes every family's entries header, so every specialisation is
// seen before its use.
#pragma once

#include <cstdint>

#include "siglib/frame/placeholder.h"
#include "siglib/frame/slot_list.h"

template <std::int32_t Slot>
struct qvls_slot_entries {
  using fn = typename qvls_slot_type<Slot>::fn;
  static constexpr fn* px = qvls_placeholder_entry<Slot>;
  static constexpr fn* m6 = qvls_placeholder_entry<Slot>;
  static constexpr fn* a6 = qvls_placeholder_entry<Slot>;
  static constexpr fn* w7 = qvls_placeholder_entry<Slot>;
};

#define QVLS_VARIANT_ENTRIES(operation, px_entry, m6_entry, a6_entry, w7_entry) \
  template <>                                                                   \
  struct qvls_slot_entries<qvls_slot_index::operation> {                        \
    using fn = operation##_fn;                                                  \
    static constexpr fn* px = px_entry;                                         \
    static constexpr fn* m6 = m6_entry;                                         \
    static constexpr fn* a6 = a6_entry;                                         \
    static constexpr fn* w7 = w7_entry;                                         \
  }
