#include "platform/ke/trace.h"

#include <cstdio>

namespace plat::ke {
namespace {

std::string Status(std::int64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::string Objects(const TraceRecord& record) {
  std::string text = "[";
  for (std::uint8_t i = 0; i < record.count && i < record.objects.size(); ++i) {
    text += (i ? " #" : "#") + std::to_string(record.objects[i]);
  }
  if (record.count > record.objects.size()) text += " ...";
  return text + "]";
}

}  // namespace

std::string FormatTrace(const TraceRecord& r, const std::string& machine_name) {
  std::string what;
  switch (r.kind) {
    case TraceKind::Switch:
      what = std::string("switch -> ") + r.peer;
      break;
    case TraceKind::Wait:
      what = r.count == 0 ? "sleep" : std::string("wait ") + r.label + " " + Objects(r);
      what += r.value >= 0 ? " until " + std::to_string(r.value) + " ns" : " without time-out";
      break;
    case TraceKind::Wake:
      what = "wake " + Status(r.value);
      break;
    case TraceKind::Satisfied:
      what = "wait " + Objects(r) + " -> " + Status(r.value);
      break;
    case TraceKind::Set:
      what = "set #" + std::to_string(r.object) + " (was " + std::to_string(r.value) + ")";
      break;
    case TraceKind::Start:
      what = std::string("start ") + r.peer + " priority " + std::to_string(r.value);
      break;
    case TraceKind::Exit:
      what = "exit #" + std::to_string(r.object) + " status " + Status(r.value);
      break;
    case TraceKind::Fire:
      what = std::string("fire ") + r.label;
      break;
    case TraceKind::Print:
      what = "print \"" + r.text + "\"";
      break;
    case TraceKind::Priority:
      what = "priority #" + std::to_string(r.object) + " := " + std::to_string(r.value);
      break;
    case TraceKind::Interrupt:
      what = "interrupt vector " + std::to_string(r.object) + " level " + std::to_string(r.value);
      break;
    case TraceKind::Mark:
      what = r.label;
      break;
    case TraceKind::Note:
      what = r.text;
      break;
  }
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "%14llu ns ", static_cast<unsigned long long>(r.time));
  return prefix + machine_name + " " + r.context + ": " + what;
}

void TraceBuffer::Add(TraceRecord record) {
  if (keep_all_) all_.push_back(record);
  ring_[next_] = std::move(record);
  next_ = (next_ + 1) % kTail;
  if (count_ < kTail) ++count_;
}

std::vector<TraceRecord> TraceBuffer::Tail() const {
  std::vector<TraceRecord> records;
  for (std::size_t i = 0; i < count_; ++i) {
    records.push_back(ring_[(next_ + kTail - count_ + i) % kTail]);
  }
  return records;
}

}  // namespace plat::ke
