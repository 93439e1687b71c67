// The exchange's log: what it saw on each subscriber's line and what it did,
// in virtual time. Instants are ns on the simulation's timeline.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat::line::exchange {

enum class EventKind : std::uint8_t {
  kSeized,        // the loop closed on an idle line (at: the off-hook instant)
  kHangUp,        // a break longer than a flash (at: the on-hook instant)
  kFlash,         // at..end: the break
  kIgnoredBreak,  // a break shorter than a pulse, or an off-hook shorter than one
  kInvalidBreak,  // a break no timing explains (at..end)
  kDigit,         // detail: the digit and how it came; at..end: first tone or break to last
  kInvalidDigit,  // pulses that make no digit, cut short or more than ten
  kIgnoredDigit,  // a digit nobody collects
  kNumber,        // detail: the collected number
  kRoute,         // detail: where it leads
  kTone,          // detail: the tone now sent to the subscriber ("off": none)
  kRing,          // detail: "on" or "off"
  kCallerId,      // detail: the standard and the message bytes
  kAnswer,
  kAbandon,       // the caller left before the answer
  kRelease,       // the other party left a connected call
  kLoopBreak,     // detail: "open" or "closed": the loop-current break after a release
  kCallWaiting,   // detail: what the waiting signal did
  kSwap,          // a flash exchanged the connected and the held call
};

const char* KindName(EventKind kind);

struct ExchangeEvent {
  std::uint64_t at = 0;
  std::uint64_t end = 0;  // 0: the event has no extent
  std::size_t subscriber = 0;
  EventKind kind = EventKind::kTone;
  std::string detail;
  friend bool operator==(const ExchangeEvent&, const ExchangeEvent&) = default;
};

class EventLog {
 public:
  void Add(ExchangeEvent event) { events_.push_back(std::move(event)); }
  const std::vector<ExchangeEvent>& events() const { return events_; }
  // The events of `subscriber` (all: none given) of one kind, in order.
  std::vector<ExchangeEvent> Of(EventKind kind) const;
  std::vector<ExchangeEvent> Of(std::size_t subscriber, EventKind kind) const;
  // One line per event: "12.345000 s  #1  digit  5 dtmf  [12.300000 .. 12.350000]".
  std::string Text() const;

 private:
  std::vector<ExchangeEvent> events_;
};

std::string ToText(const ExchangeEvent& event);

}  // namespace plat::line::exchange
