// The modem task's trace of connection events (connects with their rates,
// retrains, renegotiations, hang-ups) for the connection status report: a
// ring of the last 19 texts with their millisecond stamps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxctl {

struct EventTraceRing {
  static constexpr std::size_t kEntries = 20;  // one slot always stays free
  static constexpr std::size_t kTextBytes = 72;
  struct Entry {
    std::uint32_t stamp = 0;  // the controller's millisecond count
    std::array<char, kTextBytes> text{};
  };
  std::uint32_t head = 0;
  std::uint32_t tail = 0;  // head == tail: empty
  std::array<Entry, kEntries> entries{};
};

// The machine's one trace.
EventTraceRing& modem_event_trace();

// Adds an entry (at most 71 characters of `text`); a full ring drops its
// oldest. A null ring or text is ignored.
void ModemTask_TraceAdd(EventTraceRing* ring, std::uint32_t stamp, const char* text);
// Empties the ring and clears the retrain and renegotiation report counts.
void ModemTask_TraceReset(EventTraceRing* ring);
// Prints each entry, oldest first: "[", the milliseconds since the entry
// before (0 for the first) right-aligned in 10 characters, "] " after a
// line end, then the text.
void ModemTask_TraceDump(const EventTraceRing* ring);

}  // namespace vxctl
