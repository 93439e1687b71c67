// What the exchange keeps per subscriber: its line card, the receivers that
// read its line, where it stands in a call, and what it is sent.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/line/exchange/dtmf_receiver.h"
#include "platform/line/exchange/exchange_config.h"
#include "platform/line/exchange/hook_analyzer.h"
#include "platform/line/exchange/line_card.h"
#include "platform/line/exchange/tone_player.h"
#include "platform/line/sample_window.h"
#include "platform/line/state_log.h"

namespace plat::line::exchange {

enum class Phase : std::uint8_t {
  kIdle,            // on hook, no call
  kAlerting,        // on hook, rung for an incoming call
  kJclipRing,       // rung with the incoming-call signal, waiting for the set to answer it
  kJclipData,       // off hook for the caller ID, which comes; ringing follows the hang-up
  kAwaitDialTone,   // off hook, dial tone not yet on
  kDialTone,
  kCollecting,      // digits came, the number is not complete
  kRingback,        // the call is offered; the caller hears ringback
  kBusy,
  kReorder,
  kIntercept,       // special information tone, then reorder
  kTalking,
  kReleased,        // the other party left: silence and a loop-current break, then reorder
};

// A sample stream rendered ahead (caller ID, alerting tones), sent from a
// given line sample on.
struct Clip {
  std::vector<std::int16_t> samples;
  std::int64_t start = 0;
  double At(std::int64_t n) const {
    const std::int64_t i = n - start;
    return i >= 0 && i < static_cast<std::int64_t>(samples.size())
               ? samples[static_cast<std::size_t>(i)]
               : 0.0;
  }
  std::int64_t end() const { return start + static_cast<std::int64_t>(samples.size()); }
};

// The call-waiting signal of a talking subscriber called by someone else.
struct WaitingSignal {
  std::int64_t tone_start = 0;  // the call-waiting tone's cadence (line sample)
  // Caller ID on call waiting: CAS, then the set's acknowledgement, then FSK.
  enum class Step : std::uint8_t { kNone, kTone, kCas, kAck, kFsk, kDone } step = Step::kNone;
  std::int64_t cas_end = 0;
  std::optional<DtmfTone> ack;
  std::int64_t fsk_end = 0;
};

struct Subscriber {
  Subscriber(const SubscriberConfig& c, const CountryPlan& plan) : config(c), hook(plan.hook) {}

  SubscriberConfig config;
  std::unique_ptr<LineCard> card;

  // The loop: the set's hook from the line's log, the extension's from ours.
  StateLog<bool> extension_hook;
  std::size_t hook_changes_seen = 0;
  std::size_t extension_changes_seen = 0;
  bool set_off_hook = false;
  bool extension_off_hook = false;
  HookAnalyzer hook;
  DtmfReceiver dtmf;
  bool dtmf_listening = false;

  Phase phase = Phase::kIdle;
  std::uint64_t phase_since = 0;  // ns
  std::uint64_t seized_at = 0;    // ns
  std::string digits;
  std::uint64_t last_dial_activity = 0;  // the latest digit or pulse (ns)
  std::optional<std::size_t> call;     // the call in the foreground
  std::optional<std::size_t> held;     // a call on hold after a swap
  std::optional<std::size_t> waiting;  // a call offered while talking

  // What it is sent: a tone, a clip, the party it talks to.
  TonePlayer tone;
  Clip clip;
  std::string clip_detail;  // logged when the clip starts (none: empty)
  void DropClip() {
    clip = {};
    clip_detail.clear();
  }
  std::optional<std::size_t> partner;
  bool muted = false;         // the partner's speech is held back from this subscriber
  bool silent_to_partner = false;  // this subscriber's speech is held back from the partner
  WaitingSignal waiting_signal;

  std::vector<std::uint8_t> jclip_frame;  // sent once the set answers the incoming-call ring

  // Ringing: the cadence running from `ring_origin` (line sample).
  const std::vector<std::uint32_t>* ring_cadence = nullptr;
  std::int64_t ring_origin = 0;
  bool ring_on = false;

  // The switch's record of what it heard: G.711 samples by line sample.
  SampleWindow core_history{1};
  // This step's and the previous step's samples of the extension.
  std::vector<std::int16_t> extension_said;
  std::vector<std::int16_t> extension_said_before;
  std::vector<std::int16_t> sent_before;  // the card's output of the previous step
  SampleSink* sent_tap = nullptr;
};

// A call between two subscribers, or from one to a route.
struct Call {
  std::size_t caller = 0;
  std::optional<std::size_t> callee;
  bool answered = false;
  bool over = false;
};

}  // namespace plat::line::exchange
