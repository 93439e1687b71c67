// The simulation trace: switches, waits with their status, sets, thread
// starts and ends, timeline fires and debug prints, with virtual time,
// machine and context names and objects numbered in creation order. Records
// are kept structured and formatted only when read; the last few are always
// kept for fatal diagnostics. Nothing here holds a host address, thread id
// or wall time, so two runs of one scenario give identical text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::ke {

enum class TraceKind : std::uint8_t {
  Switch,     // context -> other context (or "idle")
  Wait,       // context blocks on objects / sleeps
  Wake,       // a blocked context's wait ends with `value` as status
  Satisfied,  // a wait satisfied at once, status `value`
  Set,        // object set, previous state `value`
  Start,      // thread `object` started at priority `value`
  Exit,       // thread ends with status `value`
  Fire,       // timeline entry `label`
  Print,      // debug print: `text`
  Priority,   // thread `object` priority := `value`
  Interrupt,  // interrupt vector `object` at level `value`
  Mark,       // a fixed note: `label`
  Note,       // anything else: `text`
};

// Context names are the machines' interned labels, which live as long as the
// simulation, so a kernel record is built without a heap allocation; only
// prints and notes carry text of their own.
struct TraceRecord {
  std::uint64_t time = 0;
  TraceKind kind = TraceKind::Note;
  std::uint16_t machine = 0;  // index in the simulation
  const char* context = "";   // name of the acting context
  const char* peer = "";      // the context switched to or started
  std::uint32_t object = 0;   // object number, when one applies
  std::int64_t value = 0;
  std::uint8_t count = 0;  // objects listed in `objects`
  std::array<std::uint32_t, 4> objects{};
  const char* label = "";
  std::string text;
};

inline TraceRecord MakeTrace(TraceKind kind, std::uint32_t object = 0, std::int64_t value = 0) {
  TraceRecord record;
  record.kind = kind;
  record.object = object;
  record.value = value;
  return record;
}

inline TraceRecord MakeTextTrace(TraceKind kind, std::string text) {
  TraceRecord record;
  record.kind = kind;
  record.text = std::move(text);
  return record;
}

inline TraceRecord MakeMarkTrace(const char* label) {
  TraceRecord record;
  record.kind = TraceKind::Mark;
  record.label = label;
  return record;
}

inline TraceRecord MakePeerTrace(TraceKind kind, const char* peer, std::uint32_t object = 0,
                                 std::int64_t value = 0) {
  TraceRecord record = MakeTrace(kind, object, value);
  record.peer = peer;
  return record;
}

// Formats one record; machine names come from the caller.
std::string FormatTrace(const TraceRecord& record, const std::string& machine_name);

class TraceBuffer {
 public:
  static constexpr std::size_t kTail = 24;

  void Enable(bool all) { keep_all_ = all; }
  bool KeepsAll() const { return keep_all_; }
  void Add(TraceRecord record);
  // Every record since the start (only when enabled), oldest first.
  const std::vector<TraceRecord>& All() const { return all_; }
  // The last kTail records, oldest first.
  std::vector<TraceRecord> Tail() const;

 private:
  bool keep_all_ = false;
  std::vector<TraceRecord> all_;
  std::array<TraceRecord, kTail> ring_{};
  std::size_t next_ = 0;
  std::size_t count_ = 0;
};

}  // namespace plat::ke
