#include "platform/line/exchange/event_log.h"

#include <array>
#include <cstdio>

namespace plat::line::exchange {
namespace {

std::string Seconds(std::uint64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%06llu", static_cast<unsigned long long>(ns / 1'000'000'000),
                static_cast<unsigned long long>(ns % 1'000'000'000 / 1000));
  return text;
}

}  // namespace

const char* KindName(EventKind kind) {
  static constexpr std::array<const char*, 19> kNames = {
      "seized", "hang-up",  "flash",   "ignored break", "invalid break", "digit", "invalid digit",
      "ignored digit", "number", "route", "tone", "ring", "caller id", "answer", "abandon",
      "release", "loop break", "call waiting", "swap"};
  return kNames[static_cast<std::size_t>(kind)];
}

std::vector<ExchangeEvent> EventLog::Of(EventKind kind) const {
  std::vector<ExchangeEvent> found;
  for (const ExchangeEvent& e : events_) {
    if (e.kind == kind) found.push_back(e);
  }
  return found;
}

std::vector<ExchangeEvent> EventLog::Of(std::size_t subscriber, EventKind kind) const {
  std::vector<ExchangeEvent> found;
  for (const ExchangeEvent& e : events_) {
    if (e.kind == kind && e.subscriber == subscriber) found.push_back(e);
  }
  return found;
}

std::string ToText(const ExchangeEvent& event) {
  std::string text = Seconds(event.at) + " s  #" + std::to_string(event.subscriber) + "  " +
                     KindName(event.kind);
  if (!event.detail.empty()) text += "  " + event.detail;
  if (event.end != 0) text += "  [" + Seconds(event.at) + " .. " + Seconds(event.end) + "]";
  return text;
}

std::string EventLog::Text() const {
  std::string text;
  for (const ExchangeEvent& e : events_) text += ToText(e) + "\n";
  return text;
}

}  // namespace plat::line::exchange
