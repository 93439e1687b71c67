// Call waiting: a talking subscriber called by someone else hears the
// call-waiting tone (the other party held back while it sounds), with the
// option of caller ID off hook: CAS, the set's DTMF acknowledgement within
// kAckWindowMs, then FSK. A flash answers the waiting call and holds the
// other; later flashes swap the two.

#include "platform/line/exchange/exchange.h"

namespace plat::line::exchange {
namespace {

// The acknowledgement is heard two receiver blocks after it begins.
constexpr std::int64_t kAckHeardSamples = 2 * DtmfReceiver::kBlock + 8;
constexpr std::int64_t kAckLongestWaitMs = 500;

}  // namespace

void Exchange::OfferWaiting(std::size_t callee, std::size_t call) {
  Subscriber& t = *subs_[callee];
  t.waiting = call;
  t.waiting_signal = {};
  t.waiting_signal.tone_start = now_sample();
  t.waiting_signal.step = WaitingSignal::Step::kTone;
  SendTone(callee, &config_.plan.call_waiting);
  Log(callee, EventKind::kCallWaiting, "offered by " + subs_[calls_[call].caller]->config.number);
}

void Exchange::RunWaitingSignal(std::size_t i) {
  Subscriber& s = *subs_[i];
  if (!s.waiting) return;
  using Step = WaitingSignal::Step;
  WaitingSignal& w = s.waiting_signal;
  const std::int64_t n = now_sample();
  const CountryPlan& plan = config_.plan;
  switch (w.step) {
    case Step::kTone:
      if (s.config.call_waiting_caller_id && n >= w.tone_start + s.tone.FirstBurst()) {
        s.clip = {RenderTones(kAlertToneHz[0], kAlertToneHz[1], kCasMs, plan.caller_id_dbm0), n};
        w.cas_end = s.clip.end();
        w.step = Step::kCas;
        Listen(i, true);
        Log(i, EventKind::kCallWaiting, "cas");
      }
      break;
    case Step::kCas:
      if (n >= w.cas_end) w.step = Step::kAck;
      break;
    case Step::kAck: {
      const std::int64_t window_end = w.cas_end + LineSamplesInMs(kAckWindowMs);
      if (w.ack && w.ack->on > window_end) w.ack.reset();  // too late to count
      if (!w.ack) {
        if (n > window_end + kAckHeardSamples) {
          w.step = Step::kDone;
          Listen(i, false);
          Log(i, EventKind::kCallWaiting, "no acknowledgement");
        }
        break;
      }
      const std::int64_t send_at =
          w.ack->off >= 0 ? w.ack->off + LineSamplesInMs(kFskAfterAckMs)
                          : w.ack->on + LineSamplesInMs(kAckLongestWaitMs);
      if (n < send_at) break;
      const CallerIdInfo info = CallerOf(calls_[*s.waiting].caller);
      const auto message =
          s.config.caller_id == CallerId::kClassSdmf ? SdmfMessage(info) : MdmfMessage(info);
      const FskTones tones = s.config.caller_id == CallerId::kClip ? kV23Forward : kBell202;
      Log(i, EventKind::kCallWaiting, std::string("acknowledged ") + w.ack->digit);
      s.clip = {OffHookFsk(tones, message, plan.caller_id_dbm0), n};
      s.clip_detail = "off hook " + HexBytes(message);
      w.step = Step::kFsk;
      Listen(i, false);
      break;
    }
    case Step::kFsk:
      if (n >= s.clip.end()) w.step = Step::kDone;
      break;
    case Step::kNone:
    case Step::kDone:
      break;
  }
  const bool signalling = w.step == Step::kCas || w.step == Step::kAck || w.step == Step::kFsk;
  s.muted = signalling || s.tone.Sounding(n);
  s.silent_to_partner = signalling;
}

void Exchange::Swap(std::size_t i) {
  Subscriber& s = *subs_[i];
  if (s.waiting) {
    const std::size_t call = *s.waiting;
    const std::size_t caller = calls_[call].caller;
    if (s.partner) subs_[*s.partner]->partner.reset();
    s.held = s.call;
    s.waiting.reset();
    s.waiting_signal = {};
    s.DropClip();
    Listen(i, false);
    s.call = call;
    calls_[call].answered = true;
    Log(i, EventKind::kSwap, "to " + subs_[caller]->config.number);
    Connect(caller, i);
    return;
  }
  if (!s.held) return;
  if (s.partner) subs_[*s.partner]->partner.reset();
  std::swap(s.call, s.held);
  const std::size_t back = OtherParty(*s.call, i);
  s.partner = back;
  subs_[back]->partner = i;
  Log(i, EventKind::kSwap, "to " + subs_[back]->config.number);
}

}  // namespace plat::line::exchange
