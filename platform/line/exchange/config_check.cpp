// The checks an exchange's configuration passes before anything is built:
// each returns the fault it finds, named, or nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/line/exchange/exchange_config.h"
#include "platform/line/codec_rates.h"
#include "platform/line/levels.h"

namespace plat::line::exchange {
namespace {

using Fault = std::optional<std::string>;

std::string Hz(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g Hz", hz);
  return text;
}

std::string Ms(std::uint32_t ms) { return std::to_string(ms) + " ms"; }

Fault CheckTone(const ToneSpec& tone) {
  const std::string what = "tone \"" + tone.name + "\": ";
  if (tone.segments.empty()) return what + "no cadence";
  bool sounds = false;
  for (const ToneSegment& s : tone.segments) {
    if (s.ms == 0) return what + "a segment of 0 ms";
    for (double hz : s.hz) {
      if (hz < 0.0 || hz >= kLineRateHz / 2.0) return what + Hz(hz) + " lies outside the line's band";
    }
    sounds = sounds || !s.silent();
  }
  if (!sounds) return what + "a cadence with no on time";
  if (tone.dbm0 > kFullScaleDbm0) return what + "a level above full scale";
  return std::nullopt;
}

Fault CheckPlan(const CountryPlan& plan) {
  if (plan.law == Companding::kNone) return "plan " + plan.name + ": the switch needs a G.711 law";
  for (const ToneSpec* tone : {&plan.dial, &plan.ringback, &plan.busy, &plan.reorder, &plan.sit,
                               &plan.call_waiting}) {
    if (Fault fault = CheckTone(*tone)) return fault;
  }
  if (plan.ring_ms.empty()) return std::string("ringing: no cadence");
  if (std::find(plan.ring_ms.begin(), plan.ring_ms.end(), 0u) != plan.ring_ms.end()) {
    return std::string("ringing: a segment of 0 ms");
  }
  if (plan.first_digit_ms == 0) return std::string("a first-digit time of 0 ms");
  if (plan.inter_digit_ms == 0) return std::string("an inter-digit time of 0 ms");
  if (plan.caller_id_dbm0 > kFullScaleDbm0) return std::string("caller ID above full scale");

  const HookTimings& h = plan.hook;
  if (h.pulse_break_min_ms == 0) return std::string("hook: pulse breaks from 0 ms");
  if (h.pulse_break_min_ms > h.pulse_break_max_ms) {
    return "hook: pulse breaks from " + Ms(h.pulse_break_min_ms) + " to " +
           Ms(h.pulse_break_max_ms);
  }
  if (h.digit_make_ms == 0) return std::string("hook: a digit-ending make of 0 ms");
  if (h.flash_min_ms > h.flash_max_ms) {
    return "hook: flashes from " + Ms(h.flash_min_ms) + " to " + Ms(h.flash_max_ms);
  }
  if (h.flash_min_ms <= h.pulse_break_max_ms) {
    return "hook: the flash range " + std::to_string(h.flash_min_ms) + "-" + Ms(h.flash_max_ms) +
           " overlaps the pulse breaks " + std::to_string(h.pulse_break_min_ms) + "-" +
           Ms(h.pulse_break_max_ms);
  }
  return std::nullopt;
}

// A number the dial plan routes: a subscriber's or a route's prefix.
struct Number {
  std::string digits;
  std::size_t length;
  std::string owner;
};

bool Dialable(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; }

Fault CheckNumbers(const ExchangeConfig& config) {
  std::vector<Number> numbers;
  for (std::size_t i = 0; i < config.subscribers.size(); ++i) {
    const std::string& n = config.subscribers[i].number;
    if (n.empty()) return "subscriber " + std::to_string(i + 1) + ": an empty number";
    numbers.push_back({n, n.size(), "subscriber " + n});
  }
  for (std::size_t i = 0; i < config.routes.size(); ++i) {
    const Route& r = config.routes[i];
    const std::string owner = "route " + std::to_string(i + 1);
    if (r.prefix.empty()) return owner + ": an empty prefix";
    if (r.length == 0) return owner + " (" + r.prefix + "): a length of 0";
    if (r.length < r.prefix.size()) {
      return owner + " (" + r.prefix + "): a length of " + std::to_string(r.length) +
             ", shorter than its prefix";
    }
    numbers.push_back({r.prefix, r.length, owner});
  }
  for (const Number& n : numbers) {
    if (!std::all_of(n.digits.begin(), n.digits.end(), Dialable)) {
      return n.owner + ": " + n.digits + " holds a character no telephone dials";
    }
  }
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    for (std::size_t j = 0; j < numbers.size(); ++j) {
      if (i == j) continue;
      const std::string& a = numbers[i].digits;
      const std::string& b = numbers[j].digits;
      if (a == b && i < j) return "number " + a + " twice (" + numbers[i].owner + ", " + numbers[j].owner + ")";
      if (a.size() < b.size() && b.compare(0, a.size(), a) == 0) {
        return "number " + a + " (" + numbers[i].owner + ") is a prefix of " + b + " (" +
               numbers[j].owner + ")";
      }
    }
  }
  return std::nullopt;
}

Fault CheckSubscribers(const ExchangeConfig& config) {
  const auto& subs = config.subscribers;
  for (std::size_t i = 0; i < subs.size(); ++i) {
    const SubscriberConfig& s = subs[i];
    const std::string who = "subscriber " + s.number + ": ";
    if (s.line == nullptr) return who + "no line";
    if (s.core_delay_samples < kMinCoreDelaySamples) {
      return who + "a core delay of " + std::to_string(s.core_delay_samples) +
             " samples, below the switch's step of " + std::to_string(kMinCoreDelaySamples);
    }
    if (s.loss_pad_db < 0.0) return who + "a negative loss pad";
    const bool before = s.caller_id_time == CallerIdTime::kBeforeFirstRing;
    if (before && (s.caller_id == CallerId::kClassSdmf || s.caller_id == CallerId::kClassMdmf ||
                   s.caller_id == CallerId::kJclip)) {
      return who + "this caller ID comes only after the first ring";
    }
    if (!before && s.caller_id == CallerId::kClipDtmf) {
      return who + "DTMF caller ID comes only before the first ring";
    }
    if (s.call_waiting_caller_id && !s.call_waiting) {
      return who + "caller ID on call waiting without call waiting";
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (subs[j].line == s.line) return who + "shares its line with subscriber " + subs[j].number;
      if (s.extension != nullptr && subs[j].extension == s.extension) {
        return who + "shares its extension with subscriber " + subs[j].number;
      }
    }
  }
  return std::nullopt;
}

Fault CheckClock(const ClockStart& c) {
  const std::chrono::year_month_day date{std::chrono::year(c.year), std::chrono::month(c.month),
                                         std::chrono::day(c.day)};
  if (!date.ok() || c.hour > 23 || c.minute > 59) return std::string("clock: not a date and time");
  return std::nullopt;
}

}  // namespace

std::string CheckConfig(const ExchangeConfig& config) {
  for (const Fault& fault : {CheckPlan(config.plan), CheckNumbers(config),
                             CheckSubscribers(config), CheckClock(config.clock)}) {
    if (fault) return *fault;
  }
  return {};
}

}  // namespace plat::line::exchange
