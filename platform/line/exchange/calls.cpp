// Numbers and calls: a collected number routed by the dial plan, a call
// offered, answered, connected and released.
#include <algorithm>

#include "platform/line/exchange/exchange.h"

namespace plat::line::exchange {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

const char* RouteName(RouteKind kind) {
  switch (kind) {
    case RouteKind::kBusy:
      return "busy";
    case RouteKind::kNoAnswer:
      return "no answer";
    case RouteKind::kUnassigned:
      return "unassigned";
    case RouteKind::kIntercept:
      return "intercept";
  }
  return "";
}

}  // namespace

std::size_t Exchange::NewCall(std::size_t caller, std::optional<std::size_t> callee) {
  calls_.push_back({caller, callee, false, false});
  return calls_.size() - 1;
}

std::size_t Exchange::OtherParty(std::size_t call, std::size_t one) const {
  const Call& c = calls_[call];
  return c.caller == one ? *c.callee : c.caller;
}

void Exchange::NumberProgress(std::size_t i) {
  Subscriber& s = *subs_[i];
  const std::string& digits = s.digits;
  bool could_grow = false;
  for (std::size_t j = 0; j < subs_.size(); ++j) {
    const std::string& number = subs_[j]->config.number;
    if (number == digits) {
      Log(i, EventKind::kNumber, digits);
      RouteTo(i, j);
      return;
    }
    could_grow = could_grow || StartsWith(number, digits);
  }
  const CountryPlan& plan = config_.plan;
  for (const Route& route : config_.routes) {
    if (digits.size() == route.length && StartsWith(digits, route.prefix)) {
      Log(i, EventKind::kNumber, digits);
      Log(i, EventKind::kRoute, RouteName(route.kind));
      switch (route.kind) {
        case RouteKind::kBusy:
          SendTone(i, &plan.busy);
          SetPhase(i, Phase::kBusy);
          return;
        case RouteKind::kNoAnswer:
          s.call = NewCall(i, std::nullopt);
          SendTone(i, &plan.ringback);
          SetPhase(i, Phase::kRingback);
          return;
        case RouteKind::kUnassigned:
          Reorder(i);
          return;
        case RouteKind::kIntercept:
          SendTone(i, &plan.sit, true);
          SetPhase(i, Phase::kIntercept);
          return;
      }
    }
    could_grow = could_grow || StartsWith(route.prefix, digits) ||
                 (StartsWith(digits, route.prefix) && digits.size() < route.length);
  }
  if (could_grow) return;
  Log(i, EventKind::kNumber, digits);
  Log(i, EventKind::kRoute, "unassigned");
  Reorder(i);
}

void Exchange::RouteTo(std::size_t caller, std::size_t callee) {
  const CountryPlan& plan = config_.plan;
  Subscriber& s = *subs_[caller];
  Subscriber& t = *subs_[callee];
  const bool free = t.phase == Phase::kIdle;
  const bool can_wait = t.phase == Phase::kTalking && t.config.call_waiting && !t.waiting &&
                        !t.held && caller != callee;
  if (!free && !can_wait) {
    Log(caller, EventKind::kRoute, "subscriber " + t.config.number + " busy");
    SendTone(caller, &plan.busy);
    SetPhase(caller, Phase::kBusy);
    return;
  }
  Log(caller, EventKind::kRoute, "subscriber " + t.config.number);
  s.call = NewCall(caller, callee);
  SendTone(caller, &plan.ringback);
  SetPhase(caller, Phase::kRingback);
  if (free) {
    StartAlerting(callee, *s.call);
  } else {
    OfferWaiting(callee, *s.call);
  }
}

void Exchange::Answer(std::size_t callee) {
  Subscriber& t = *subs_[callee];
  StopRinging(callee);
  t.DropClip();
  Call& call = calls_[*t.call];
  call.answered = true;
  Log(callee, EventKind::kAnswer);
  Connect(call.caller, callee);
}

void Exchange::Connect(std::size_t a, std::size_t b) {
  for (auto [one, other] : {std::pair{a, b}, {b, a}}) {
    Subscriber& s = *subs_[one];
    SendTone(one, nullptr);
    Listen(one, false);
    s.partner = other;
    s.muted = s.silent_to_partner = false;
    SetPhase(one, Phase::kTalking);
  }
}

void Exchange::Release(std::size_t left, std::size_t other) {
  Subscriber& o = *subs_[other];
  Log(other, EventKind::kRelease, "by " + subs_[left]->config.number);
  if (o.held && OtherParty(*o.held, other) == left) {
    // The held party left; the call in the foreground goes on.
    calls_[*o.held].over = true;
    o.held.reset();
    return;
  }
  if (o.call) calls_[*o.call].over = true;
  o.call.reset();
  o.partner.reset();
  o.muted = o.silent_to_partner = false;
  if (o.held) {
    // Back to the call on hold.
    o.call = o.held;
    o.held.reset();
    const std::size_t back = OtherParty(*o.call, other);
    Log(other, EventKind::kSwap, "to " + subs_[back]->config.number);
    o.partner = back;
    subs_[back]->partner = other;
    return;
  }
  SendTone(other, nullptr);
  o.DropClip();
  o.waiting_signal = {};
  BreakLoop(other);
}

void Exchange::BreakLoop(std::size_t i) {
  subs_[i]->card->line().SetDead(now(), true);
  Log(i, EventKind::kLoopBreak, "open");
  SetPhase(i, Phase::kReleased);
}

void Exchange::EndLoopBreak(std::size_t i) {
  subs_[i]->card->line().SetDead(now(), false);
  Log(i, EventKind::kLoopBreak, "closed");
}

}  // namespace plat::line::exchange
