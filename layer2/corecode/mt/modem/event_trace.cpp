#include "layer2/corecode/mt/modem/event_trace.h"

#include <algorithm>
#include <cstring>

#include "controller/acu/acu_format.h"
#include "controller/acu/acu_response.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {
namespace {

constexpr unsigned kStampWidth = 10;

std::uint32_t Next(std::uint32_t index) { return (index + 1) % EventTraceRing::kEntries; }

}  // namespace

EventTraceRing& modem_event_trace() { return MachineState<EventTraceRing>(); }

void ModemTask_TraceAdd(EventTraceRing* ring, std::uint32_t stamp, const char* text) {
  if (ring == nullptr || text == nullptr) return;
  EventTraceRing::Entry& entry = ring->entries[ring->head];
  entry.stamp = stamp;
  const std::size_t length = strnlen(text, EventTraceRing::kTextBytes - 1);
  std::memcpy(entry.text.data(), text, length);
  entry.text[length] = 0;
  ring->head = Next(ring->head);
  if (ring->head == ring->tail) ring->tail = Next(ring->tail);
}

void ModemTask_TraceReset(EventTraceRing* ring) {
  if (ring == nullptr) return;
  *ring = {};
  ModemTaskState& task = MachineState<ModemTaskState>();
  task.retrain_reports = 0;
  task.reneg_reports = 0;
}

void ModemTask_TraceDump(const EventTraceRing* ring) {
  if (ring == nullptr) return;
  std::uint32_t previous = 0;
  bool first = true;
  for (std::uint32_t i = ring->tail; i != ring->head; i = Next(i)) {
    const EventTraceRing::Entry& entry = ring->entries[i];
    std::array<char, 2 + kStampWidth + 3> stamp{'['};
    char* end = acu_fmt_field(first ? 0 : entry.stamp - previous,
                              std::span<char>(stamp).subspan(1), kStampWidth);
    end = std::find(end, stamp.end(), '\0');
    std::strcpy(end, "] ");
    acu_send_response(stamp.data(), AcuFraming::LineEndText);
    acu_send_response(entry.text.data(), AcuFraming::Text);
    previous = entry.stamp;
    first = false;
  }
}

}  // namespace vxctl
