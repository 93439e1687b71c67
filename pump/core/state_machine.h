// The state-machine engine. Every procedure and modulation of the data pump
// is a set of state tables; a StateMachine is the cursor that walks one of
// them, one step per tick (per block, or per call of the owning mode's block
// handler).
//
// Counts: an entry of count n runs on n consecutive ticks and the machine
// moves to the next entry on the following tick; -1 runs until a handler
// moves the machine on; 0 is skipped.
//
// Switching from inside a handler: op 0 (go) has the new entry's count
// decremented at the end of the same tick, so the new entry runs one tick
// less than its count; op 1 (deferred go) gives it its full count. Handlers
// switching their own machine use op 1; code outside the tick (command
// handlers, start routines) uses op 0.
//
// A machine that runs past the last entry of its table, or is sent to an
// entry its table does not have, parks: no handler runs, and one line goes
// to the kernel debugger (DbgPrint). An op that names the next entry (0, 1,
// 2 or 3) starts it again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace pump {

template <class Owner>
struct StateEntry {
  void (*handler)(Owner& owner);  // null: the entry only waits
  std::int32_t count;
  const char* name;  // the state's name, for debug lines
};

// A table is a constant array of entries; the engine knows its length.
template <class Owner>
using StateTable = std::span<const StateEntry<Owner>>;

enum class StateOp : int {
  kGo = 0,           // table, position := value, remaining count := that entry's count
  kDeferredGo = 1,   // the same, loaded at the next tick; the remaining count stays until then
  kSwitchTable = 2,  // the table held at a location, from its entry 0
  kRestartAt = 3,    // the next tick runs entry value (or the first non-zero entry after it)
  kEndStep = 4,      // the next tick runs the following entry
  kSetCount = 5,     // remaining count := value
  kSetTimer = 6,     // tick timer := value
};

template <class Owner>
struct StateMachine {
  StateTable<Owner> table;
  std::int32_t position = 0;
  std::int32_t remaining_count = 0;
  std::int32_t deferred_count = 0;  // loaded at the next tick after a deferred go
  std::int32_t tick_timer = 0;      // counts down once per tick, stops at 0
  std::uint32_t deferred_flag = 0;
  std::uint32_t parked = 0;  // ran off its table; only an op naming an entry restarts it
};

namespace state_machine_detail {

// The one debug line of a machine that parks at `entry` of a table of
// `size` entries, the last of them named `last_name` (null when empty).
void ReportParked(std::int64_t entry, std::size_t size, const char* last_name);

template <class Owner>
bool Holds(StateTable<Owner> table, std::int64_t entry) {
  return entry >= 0 && static_cast<std::uint64_t>(entry) < table.size();
}

template <class Owner>
void Park(StateMachine<Owner>& m, std::int64_t entry) {
  m.parked = 1;
  m.remaining_count = 0;
  m.deferred_flag = 0;
  ReportParked(entry, m.table.size(), m.table.empty() ? nullptr : m.table.back().name);
}

}  // namespace state_machine_detail

// Runs one tick; returns the remaining count after it.
template <class Owner>
std::int32_t RunStateMachine(Owner& owner, StateMachine<Owner>& m) {
  namespace detail = state_machine_detail;
  if (m.parked != 0) return m.remaining_count;
  if (m.deferred_flag != 0) {
    m.remaining_count = m.deferred_count;
    m.deferred_flag = 0;
  }
  while (m.remaining_count == 0) {
    const std::int64_t next = std::int64_t{m.position} + 1;
    if (!detail::Holds(m.table, next)) {
      detail::Park(m, next);
      return m.remaining_count;
    }
    m.position = static_cast<std::int32_t>(next);
    m.remaining_count = m.table[m.position].count;
  }
  if (!detail::Holds(m.table, m.position)) {  // a count set on a machine with no current entry
    detail::Park(m, m.position);
    return m.remaining_count;
  }
  if (auto* handler = m.table[m.position].handler) handler(owner);
  if (m.tick_timer > 0) --m.tick_timer;
  if (m.remaining_count > 0) --m.remaining_count;
  return m.remaining_count;
}

// Commands the machine. Ops 3 to 6 ignore `table`; op 2 takes the table
// itself here, or the location that holds it through the overload below.
template <class Owner>
void SetStateMachine(StateMachine<Owner>& m, StateOp op,
                     std::type_identity_t<StateTable<Owner>> table = {}, std::int32_t value = 0) {
  namespace detail = state_machine_detail;
  switch (op) {
    case StateOp::kGo:
    case StateOp::kDeferredGo:
    case StateOp::kSwitchTable: {
      const std::int32_t entry = op == StateOp::kSwitchTable ? 0 : value;
      m.table = table;
      m.position = entry;
      m.parked = 0;
      if (!detail::Holds(table, entry)) {
        detail::Park(m, entry);
      } else if (op == StateOp::kDeferredGo) {
        m.deferred_count = table[entry].count;
        m.deferred_flag = 1;
      } else {
        m.remaining_count = table[entry].count;
        m.deferred_flag = 0;
      }
      break;
    }
    case StateOp::kRestartAt:
      // Entry value - 1 with nothing left, so the next tick advances to entry
      // value, or past it while the entries from there have count 0.
      m.parked = 0;
      if (!detail::Holds(m.table, value)) {
        detail::Park(m, value);
      } else {
        m.position = value - 1;
        m.remaining_count = 0;
      }
      break;
    case StateOp::kEndStep:
      m.remaining_count = 0;
      break;
    case StateOp::kSetCount:
      m.remaining_count = value;
      break;
    case StateOp::kSetTimer:
      m.tick_timer = value;
      break;
  }
}

template <class Owner>
void SetStateMachine(StateMachine<Owner>& m, StateOp op,
                     const std::type_identity_t<StateTable<Owner>>* location,
                     std::int32_t value = 0) {
  SetStateMachine(m, op, location != nullptr ? *location : StateTable<Owner>{}, value);
}

}  // namespace pump
