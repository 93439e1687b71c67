// The simulation's one timeline: entries ordered by (virtual time in ns,
// sequence number), so two entries of one instant fire in the order they
// were scheduled, whatever machine they belong to.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace plat::ke {

class Kernel;
class Context;

// Names one scheduled entry; a default-constructed id names none.
struct TimelineId {
  std::uint64_t time = 0;
  std::uint64_t sequence = 0;
  explicit operator bool() const { return sequence != 0; }
  friend auto operator<=>(const TimelineId&, const TimelineId&) = default;
};

struct TimelineEntry {
  Kernel* machine = nullptr;
  const char* label = "";      // what the trace calls it (a string literal)
  std::function<void()> fire;  // a callback, run on behalf of the machine
  Context* resume = nullptr;   // or the end of one time-wait frame of a context
  std::size_t frame = 0;
};

class Timeline {
 public:
  TimelineId Add(std::uint64_t time, TimelineEntry entry) {
    const TimelineId id{time, ++last_sequence_};
    entries_.emplace(id, std::move(entry));
    return id;
  }
  // False when the entry already fired or was cancelled.
  bool Cancel(TimelineId id) { return entries_.erase(id) != 0; }
  bool Contains(TimelineId id) const { return entries_.count(id) != 0; }
  bool Empty() const { return entries_.empty(); }
  // Earliest entry's time; only valid when not empty.
  std::uint64_t NextTime() const { return entries_.begin()->first.time; }
  bool DueBy(std::uint64_t time) const { return !entries_.empty() && NextTime() <= time; }
  std::pair<TimelineId, TimelineEntry> PopFirst() {
    auto node = entries_.extract(entries_.begin());
    return {node.key(), std::move(node.mapped())};
  }
  std::size_t Size() const { return entries_.size(); }

 private:
  std::map<TimelineId, TimelineEntry> entries_;
  std::uint64_t last_sequence_ = 0;
};

}  // namespace plat::ke
