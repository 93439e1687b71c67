// Signalling on one subscriber's line, each step: the loop read into hook
// events, digits collected, and the times that move a subscriber on (dial
// tone, digit time-outs, the end of a special information tone or of a
// loop-current break).
#include <string>

#include "platform/line/exchange/exchange.h"

namespace plat::line::exchange {
namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;

bool Dialling(Phase phase) {
  return phase == Phase::kAwaitDialTone || phase == Phase::kDialTone ||
         phase == Phase::kCollecting;
}

}  // namespace

void Exchange::ReadLoop(std::size_t i, std::uint64_t now) {
  Subscriber& s = *subs_[i];
  const auto& set_log = s.card->line().HookLog(Side::kA);
  const auto& extension_log = s.extension_hook.changes();
  hook_events_.clear();
  // The set's and the extension's changes before `now`, merged in time order.
  for (;;) {
    const bool set_next = s.hook_changes_seen < set_log.size() &&
                          set_log[s.hook_changes_seen].at < now;
    const bool extension_next = s.extension_changes_seen < extension_log.size() &&
                                extension_log[s.extension_changes_seen].at < now;
    if (!set_next && !extension_next) break;
    std::uint64_t at = 0;
    if (set_next && (!extension_next || set_log[s.hook_changes_seen].at <=
                                            extension_log[s.extension_changes_seen].at)) {
      at = set_log[s.hook_changes_seen].at;
      s.set_off_hook = set_log[s.hook_changes_seen++].value;
    } else {
      at = extension_log[s.extension_changes_seen].at;
      s.extension_off_hook = extension_log[s.extension_changes_seen++].value;
    }
    s.hook.Change(at, s.set_off_hook || s.extension_off_hook, hook_events_);
  }
  s.hook.Advance(now, hook_events_);
  // Handling may not add events of this subscriber; a copy keeps the loop simple.
  const std::vector<HookEvent> events = hook_events_;
  for (const HookEvent& e : events) OnHookEvent(i, e);
}

void Exchange::OnHookEvent(std::size_t i, const HookEvent& e) {
  Subscriber& s = *subs_[i];
  using Kind = HookEvent::Kind;
  switch (e.kind) {
    case Kind::kSeized:
      LogAt(i, EventKind::kSeized, {}, e.at);
      if (s.phase == Phase::kIdle) {
        SetPhase(i, Phase::kAwaitDialTone);
        s.seized_at = e.at;
        s.digits.clear();
        Listen(i, true);
      } else if (s.phase == Phase::kAlerting) {
        Answer(i);
      } else if (s.phase == Phase::kJclipRing) {
        JclipAnswered(i);
      }
      return;
    case Kind::kHangUp:
      LogAt(i, EventKind::kHangUp, {}, e.at);
      HangUp(i);
      return;
    case Kind::kFlash:
      LogAt(i, EventKind::kFlash, {}, e.at, e.end);
      if (s.phase == Phase::kTalking) Swap(i);
      return;
    case Kind::kPulse:
      OnPulse(i, e.end);
      return;
    case Kind::kDigit:
      LogAt(i, EventKind::kDigit, std::string(1, e.digit) + " pulse " + std::to_string(e.pulses),
            e.at, e.end);
      OnDigit(i, e.digit, e.at, e.end, "pulse");
      return;
    case Kind::kIgnoredBreak:
      LogAt(i, EventKind::kIgnoredBreak, {}, e.at, e.end);
      return;
    case Kind::kInvalidBreak:
      LogAt(i, EventKind::kInvalidBreak, {}, e.at, e.end);
      return;
    case Kind::kInvalidDigit:
      LogAt(i, EventKind::kInvalidDigit, std::to_string(e.pulses) + " pulses", e.at, e.end);
      return;
  }
}

void Exchange::OnPulse(std::size_t i, std::uint64_t at) {
  Subscriber& s = *subs_[i];
  if (!Dialling(s.phase)) return;
  // The first pulse of a digit takes dial tone off, as a DTMF digit does.
  if (s.phase != Phase::kCollecting) {
    SendTone(i, nullptr);
    SetPhase(i, Phase::kCollecting);
  }
  s.last_dial_activity = at;
}

void Exchange::OnDigit(std::size_t i, char digit, std::uint64_t at, std::uint64_t,
                       const std::string& how) {
  Subscriber& s = *subs_[i];
  if (Dialling(s.phase)) {
    if (s.phase != Phase::kCollecting) {
      SendTone(i, nullptr);
      SetPhase(i, Phase::kCollecting);
    }
    s.digits.push_back(digit);
    s.last_dial_activity = now();
    NumberProgress(i);
    return;
  }
  WaitingSignal& w = s.waiting_signal;
  if (w.step == WaitingSignal::Step::kAck && how == "dtmf" && (digit == 'D' || digit == 'A') &&
      !w.ack) {
    w.ack = DtmfTone{digit, static_cast<std::int64_t>(at / kSampleNs), -1};
    return;
  }
  LogAt(i, EventKind::kIgnoredDigit, std::string(1, digit) + " " + how, at);
}

void Exchange::RunTimers(std::size_t i, std::uint64_t now) {
  Subscriber& s = *subs_[i];
  const CountryPlan& plan = config_.plan;
  // A caller-ID signal is logged at its first sample, once the step reaches it.
  if (!s.clip_detail.empty() && s.clip.start <= now_sample()) {
    LogAt(i, EventKind::kCallerId, s.clip_detail, InstantOfSample(s.clip.start));
    s.clip_detail.clear();
  }
  switch (s.phase) {
    case Phase::kAwaitDialTone:
      if (now >= s.seized_at + plan.dial_tone_delay_ms * kNsPerMs) {
        SendTone(i, &plan.dial);
        SetPhase(i, Phase::kDialTone);
      }
      return;
    case Phase::kDialTone:
      if (now >= s.seized_at + plan.first_digit_ms * kNsPerMs) {
        Log(i, EventKind::kNumber, "none dialled");
        Reorder(i);
      }
      return;
    case Phase::kCollecting:
      if (now >= s.last_dial_activity + plan.inter_digit_ms * kNsPerMs) {
        Log(i, EventKind::kNumber, s.digits + " incomplete");
        Reorder(i);
      }
      return;
    case Phase::kIntercept:
      if (s.tone.Done(now_sample())) {
        Reorder(i);
      }
      return;
    case Phase::kReleased:
      if (now >= s.phase_since + plan.release_break_ms * kNsPerMs) {
        EndLoopBreak(i);
        Reorder(i);
      }
      return;
    case Phase::kAlerting:
      UpdateRinging(i);
      return;
    case Phase::kJclipRing:
      UpdateRinging(i);
      if (now >= s.phase_since + kJclipAnswerMs * kNsPerMs) {
        // No answer to the incoming-call ring: ring on without caller ID.
        LogAt(i, EventKind::kCallerId, "jclip not answered", now);
        StopRinging(i);
        SetPhase(i, Phase::kAlerting);
        StartRinging(i, plan.ring_ms, now_sample());
      }
      return;
    case Phase::kJclipData:
      if (now_sample() >= s.clip.end() + LineSamplesInMs(kJclipHoldMs)) {
        // The set stayed off hook after its caller ID: that is an answer.
        Answer(i);
      }
      return;
    case Phase::kTalking:
      RunWaitingSignal(i);
      return;
    default:
      return;
  }
}

void Exchange::Reorder(std::size_t i) {
  SendTone(i, &config_.plan.reorder);
  SetPhase(i, Phase::kReorder);
}

void Exchange::SetPhase(std::size_t i, Phase phase) {
  subs_[i]->phase = phase;
  subs_[i]->phase_since = now();
}

void Exchange::SendTone(std::size_t i, const ToneSpec* tone, bool once) {
  Subscriber& s = *subs_[i];
  if (tone == nullptr) {
    if (s.tone.spec() == nullptr) return;
    s.tone.Stop();
    Log(i, EventKind::kTone, "off");
    return;
  }
  s.tone.Start(*tone, now_sample(), once);
  Log(i, EventKind::kTone, tone->name);
}

void Exchange::Listen(std::size_t i, bool on) {
  Subscriber& s = *subs_[i];
  if (on && !s.dtmf_listening) s.dtmf.Reset(now_sample());
  s.dtmf_listening = on;
}

void Exchange::HangUp(std::size_t i) {
  Subscriber& s = *subs_[i];
  Listen(i, false);
  switch (s.phase) {
    case Phase::kRingback: {
      Call& call = calls_[*s.call];
      call.over = true;
      Log(i, EventKind::kAbandon);
      if (call.callee) WithdrawOffer(*call.callee, *s.call);
      break;
    }
    case Phase::kTalking:
      if (s.partner) Release(i, *s.partner);
      if (s.held) Release(i, OtherParty(*s.held, i));
      break;
    case Phase::kReleased:
      EndLoopBreak(i);
      break;
    case Phase::kJclipData:
      JclipReleased(i);
      return;
    default:
      break;
  }
  const std::optional<std::size_t> waiting = s.waiting;
  SendTone(i, nullptr);
  s.DropClip();
  s.partner.reset();
  s.muted = s.silent_to_partner = false;
  s.call.reset();
  s.held.reset();
  s.waiting.reset();
  s.waiting_signal = {};
  SetPhase(i, Phase::kIdle);
  // A call still waiting rings the subscriber who hung up.
  if (waiting) StartAlerting(i, *waiting);
}

}  // namespace plat::line::exchange
