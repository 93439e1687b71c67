// The frame's tables: the slot table that holds one entry per operation, the
// variant table that lists every operation's entry per processor variant,
// and the order in which selection tries the variants.
#pragma once

#include <atomic>
#include <cstdint>

#include "siglib/frame/slot_list.h"

// One operation slot: a typed entry pointer, written by a fill and read by
// every call. Loads and stores are relaxed: a call that overlaps a refill
// finds either the old or the new entry, and each is a complete implementation.
template <class Fn>
class qvls_slot {
 public:
  constexpr explicit qvls_slot(Fn* entry) : entry_(entry) {}
  qvls_slot(const qvls_slot&) = delete;
  qvls_slot& operator=(const qvls_slot&) = delete;

  Fn* load() const { return entry_.load(std::memory_order_relaxed); }
  void store(Fn* entry) { entry_.store(entry, std::memory_order_relaxed); }

 private:
  std::atomic<Fn*> entry_;
};

// The 115 slots in slot order, each named after its operation.
struct qvls_slot_table {
#define QVLS_DECLARE_SLOT(number, name, result, params, args, jump) qvls_slot<name##_fn> name;
  QVLS_SLOT_LIST(QVLS_DECLARE_SLOT)
#undef QVLS_DECLARE_SLOT
};

// One record of the variant table: the slot it fills, then the entries of
// px, m6, a6 and w7, indexed by column.
template <class Fn>
struct qvls_variant_record {
  qvls_slot<Fn> qvls_slot_table::*slot;
  Fn* entry[qvls_variant_count];
};

// The records in slot order: record k, named after its operation, fills slot k.
struct qvls_variant_records {
#define QVLS_DECLARE_RECORD(number, name, result, params, args, jump) \
  qvls_variant_record<name##_fn> name;
  QVLS_SLOT_LIST(QVLS_DECLARE_RECORD)
#undef QVLS_DECLARE_RECORD
};

// A set of slots with the column last installed in it. The process has one
// (qvls_process_frame); a test may make its own.
#define QVLS_SLOT_FROM_COLUMN(number, name, result, params, args, jump) \
  qvls_slot<name##_fn>{table.name.entry[column]},
struct qvls_frame {
  // Slots loaded with one column (0 to 3) of a variant table.
  constexpr qvls_frame(const qvls_variant_records& table, std::int32_t column)
      : slots{QVLS_SLOT_LIST(QVLS_SLOT_FROM_COLUMN)}, variant{column} {}

  qvls_slot_table slots;
  std::atomic<std::int32_t> variant;  // the column of the last successful selection
};
#undef QVLS_SLOT_FROM_COLUMN

// For each processor class (px, m6, a6, w7), the columns to try, in order,
// ended by QVLS_VARIANT_END.
inline constexpr std::int32_t qvls_variant_order[qvls_variant_count][5] = {
    {QVLS_VARIANT_PX, QVLS_VARIANT_END},
    {QVLS_VARIANT_M6, QVLS_VARIANT_PX, QVLS_VARIANT_END},
    {QVLS_VARIANT_A6, QVLS_VARIANT_M6, QVLS_VARIANT_PX, QVLS_VARIANT_END},
    {QVLS_VARIANT_W7, QVLS_VARIANT_A6, QVLS_VARIANT_M6, QVLS_VARIANT_PX, QVLS_VARIANT_END},
};

// The library's variant table: every entry of every family, placeholders for
// what is not built yet. No entry is null.
extern const qvls_variant_records qvls_variant_table;

// The process's slots. Every simulated machine of a process runs on the same
// host processor, so one set of slots serves them all. At load they hold the
// px column and the variant is 0.
extern qvls_frame qvls_process_frame;
inline qvls_slot_table& qvls_slots = qvls_process_frame.slots;
inline std::atomic<std::int32_t>& qvls_variant = qvls_process_frame.variant;

// Calls visit(slot number, record) for every record of a table, in slot order.
template <class Table, class Visitor>
constexpr void qvls_for_each_record(Table& table, Visitor&& visit) {
#define QVLS_VISIT_RECORD(number, name, result, params, args, jump) visit(number, table.name);
  QVLS_SLOT_LIST(QVLS_VISIT_RECORD)
#undef QVLS_VISIT_RECORD
}

// Calls visit(slot number, slot) for every slot of a slot table, in slot order.
template <class Slots, class Visitor>
constexpr void qvls_for_each_slot(Slots& slots, Visitor&& visit) {
#define QVLS_VISIT_SLOT(number, name, result, params, args, jump) visit(number, slots.name);
  QVLS_SLOT_LIST(QVLS_VISIT_SLOT)
#undef QVLS_VISIT_SLOT
}
