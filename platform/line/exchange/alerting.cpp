// Alerting a called subscriber: the ringing cadence on its line and the
// caller ID its standard sends before or after the first ring, or, for
// JCLIP, once the set has answered the incoming-call ring.
#include <chrono>

#include "platform/line/exchange/exchange.h"

namespace plat::line::exchange {
namespace {

std::int64_t Samples(std::uint32_t ms) { return LineSamplesInMs(ms); }

}  // namespace

CallerIdInfo Exchange::CallerOf(std::size_t caller) const {
  using namespace std::chrono;
  const ClockStart& c = config_.clock;
  const sys_seconds start = sys_days{year{c.year} / month{c.month} / day{c.day}} + hours{c.hour} +
                            minutes{c.minute};
  const sys_seconds at = start + duration_cast<seconds>(nanoseconds{now()});
  const sys_days date = floor<days>(at);
  const year_month_day ymd{date};
  const hh_mm_ss time{at - date};
  char text[16];
  std::snprintf(text, sizeof text, "%02u%02u%02d%02d", static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()));
  const SubscriberConfig& s = subs_[caller]->config;
  return {text, s.number, s.name};
}

void Exchange::StartAlerting(std::size_t callee, std::size_t call) {
  Subscriber& t = *subs_[callee];
  const CountryPlan& plan = config_.plan;
  const CallerIdInfo info = CallerOf(calls_[call].caller);
  const std::int64_t n = now_sample();
  const std::int64_t after_first_ring = n + Samples(plan.ring_ms[0] + kFskAfterRingMs);
  t.call = call;
  SetPhase(callee, Phase::kAlerting);
  std::int64_t ring_origin = n;
  switch (t.config.caller_id) {
    case CallerId::kNone:
      break;
    case CallerId::kClassSdmf:
    case CallerId::kClassMdmf: {
      const auto message =
          t.config.caller_id == CallerId::kClassSdmf ? SdmfMessage(info) : MdmfMessage(info);
      t.clip = {OnHookFsk(kBell202, message, plan.caller_id_dbm0), after_first_ring};
      t.clip_detail = "class " + HexBytes(message);
      break;
    }
    case CallerId::kClip: {
      const auto message = MdmfMessage(info);
      t.clip_detail = "clip " + HexBytes(message);
      if (t.config.caller_id_time == CallerIdTime::kAfterFirstRing) {
        t.clip = {OnHookFsk(kV23Forward, message, plan.caller_id_dbm0), after_first_ring};
        break;
      }
      t.clip = {RenderTones(kAlertToneHz[0], kAlertToneHz[1], kAlertToneMs, plan.caller_id_dbm0),
                n};
      Append(t.clip.samples, RenderSilence(kAlertToFskMs));
      Append(t.clip.samples, OnHookFsk(kV23Forward, message, plan.caller_id_dbm0));
      ring_origin = t.clip.end() + Samples(kRingAfterSignalMs);
      break;
    }
    case CallerId::kClipDtmf: {
      const std::string digits = DtmfCallerId(info);
      t.clip = {RenderDtmf(digits, kDtmfDigitMs, kDtmfPauseMs, plan.caller_id_dbm0), n};
      t.clip_detail = "clip dtmf " + digits;
      ring_origin = t.clip.end() + Samples(kRingAfterSignalMs);
      break;
    }
    case CallerId::kJclip:
      t.jclip_frame = JclipFrame(info);
      SetPhase(callee, Phase::kJclipRing);
      StartRinging(callee, jclip_ring_, n);
      return;
  }
  StartRinging(callee, plan.ring_ms, ring_origin);
}

void Exchange::JclipAnswered(std::size_t i) {
  Subscriber& t = *subs_[i];
  StopRinging(i);
  SetPhase(i, Phase::kJclipData);
  t.clip = {JclipFsk(t.jclip_frame, config_.plan.caller_id_dbm0),
            now_sample() + Samples(kJclipDataDelayMs)};
  t.clip_detail = "jclip " + HexBytes(t.jclip_frame);
}

void Exchange::JclipReleased(std::size_t i) {
  Subscriber& t = *subs_[i];
  t.DropClip();
  SetPhase(i, Phase::kAlerting);
  StartRinging(i, config_.plan.ring_ms, now_sample());
}

void Exchange::WithdrawOffer(std::size_t callee, std::size_t call) {
  Subscriber& t = *subs_[callee];
  if (t.waiting == call) {
    t.waiting.reset();
    t.waiting_signal = {};
    t.tone.Stop();
    t.DropClip();
    t.muted = t.silent_to_partner = false;
    Log(callee, EventKind::kCallWaiting, "withdrawn");
    return;
  }
  if (t.call != call) return;
  StopRinging(callee);
  t.DropClip();
  t.call.reset();
  if (t.phase == Phase::kJclipData) {
    // Off hook for its caller ID when the caller left: as after a release.
    BreakLoop(callee);
    return;
  }
  SetPhase(callee, Phase::kIdle);
}

void Exchange::StartRinging(std::size_t i, const std::vector<std::uint32_t>& cadence,
                            std::int64_t origin) {
  Subscriber& s = *subs_[i];
  s.ring_cadence = &cadence;
  s.ring_origin = origin;
  UpdateRinging(i);
}

void Exchange::StopRinging(std::size_t i) {
  Subscriber& s = *subs_[i];
  s.ring_cadence = nullptr;
  if (!s.ring_on) return;
  s.ring_on = false;
  s.card->line().SetRinging(Side::kA, now(), false);
  Log(i, EventKind::kRing, "off");
}

void Exchange::UpdateRinging(std::size_t i) {
  Subscriber& s = *subs_[i];
  if (s.ring_cadence == nullptr) return;
  const std::int64_t n = now_sample();
  bool on = false;
  if (n >= s.ring_origin) {
    std::int64_t cycle = 0;
    for (std::uint32_t ms : *s.ring_cadence) cycle += Samples(ms);
    std::int64_t position = (n - s.ring_origin) % cycle;
    for (std::size_t k = 0; k < s.ring_cadence->size(); ++k) {
      const std::int64_t length = Samples((*s.ring_cadence)[k]);
      if (position < length) {
        on = k % 2 == 0;
        break;
      }
      position -= length;
    }
  }
  if (on == s.ring_on) return;
  s.ring_on = on;
  s.card->line().SetRinging(Side::kA, now(), on);
  Log(i, EventKind::kRing, on ? "on" : "off");
}

}  // namespace plat::line::exchange
