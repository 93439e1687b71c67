// A telephone exchange for simulated lines: it collects DTMF and dial-pulse
// digits, routes numbers by its dial plan, sends the country's progress
// tones, rings called lines with caller ID, connects calls through an 8 kHz
// G.711 switch and releases them, with extensions and call waiting.
//
//   plat::line::Line a_line, b_line;                   // one line per subscriber
//   ExchangeConfig config;                             // US plan by default
//   config.subscribers = {{.number = "5551001", .line = &a_line},
//                         {.number = "5551002", .line = &b_line, .caller_id = CallerId::kClassMdmf}};
//   auto built = Exchange::Build(config);              // refuses a plan that cannot work
//   ASSERT_TRUE(built.ok()) << built.error;
//   Exchange& exchange = *built.exchange;
//   // side A of each line: a machine (MachineConfig::line, side kA) or a PeerEnd
//   a_line.RunUntil(LineSamplesInMs(10'000));          // peers only: run 10 s
//   exchange.log().Of(EventKind::kAnswer);
//
// Each subscriber's line card is the end at side B of the subscriber's line,
// so the line's analog segment (gain, noise, hybrid echo, hook, ringing,
// extension reading, dead line) stays the line's. The switch runs in steps
// of 1 ms (8 samples), lazily: asked for a card's output up to sample n, it
// runs every step up to the one that contains n. Step k first lets every
// line's far end act up to the step's first instant (Line::CatchUp) and
// takes what it sent up to there (Line::DeliverUntil), then works on that
// input and makes the output of samples [8k, 8k + 8). What it does therefore
// depends on nothing but what was sent before, whichever end asks first.
//
// The exchange owns no randomness: noise is the lines' own. Everything it
// did is in its log, in virtual time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/line/exchange/caller_id.h"
#include "platform/line/exchange/event_log.h"
#include "platform/line/exchange/exchange_config.h"
#include "platform/line/exchange/subscriber.h"
#include "platform/line/scripted_peer.h"
#include "platform/line/taps.h"

namespace plat::line::exchange {

inline constexpr std::int64_t kStepSamples = 8;

class Exchange {
 public:
  struct Built {
    std::unique_ptr<Exchange> exchange;
    std::string error;  // why the configuration was refused
    bool ok() const { return exchange != nullptr; }
  };
  // Checks `config` (CheckConfig) and builds the exchange, attaching a line
  // card at side B of every subscriber's line. Nothing is attached when the
  // configuration is refused.
  static Built Build(ExchangeConfig config);
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  const EventLog& log() const { return log_; }
  // The subscriber with `number`, by its index in the configuration.
  std::optional<std::size_t> SubscriberWith(const std::string& number) const;
  // Line samples the switch has sent on every card.
  std::int64_t produced() const { return steps_ * kStepSamples; }

  // What the switch sends toward a subscriber, as G.711 decoded, before the
  // line card's analog side (null: none).
  void TapSent(std::size_t subscriber, SampleSink* sink);
  // A script step for the extension of `subscriber`: its hook goes off or on.
  ScriptedPeer::Action ExtensionHookAction(std::size_t subscriber, bool off_hook);

  // Runs the switch until every card has sent at least `count` samples
  // (the line cards' LineEnd::ProduceUntil).
  void ProduceUntil(std::int64_t count);

 private:
  explicit Exchange(ExchangeConfig config);
  void Step();

  // ---- per subscriber, each step (signalling.cpp)
  void ReadLoop(std::size_t i, std::uint64_t now);
  void OnHookEvent(std::size_t i, const HookEvent& e);
  void OnDigit(std::size_t i, char digit, std::uint64_t at, std::uint64_t end,
               const std::string& how);
  void OnPulse(std::size_t i, std::uint64_t at);
  void RunTimers(std::size_t i, std::uint64_t now);
  void SetPhase(std::size_t i, Phase phase);
  void SendTone(std::size_t i, const ToneSpec* tone, bool once = false);
  void Listen(std::size_t i, bool on);
  void HangUp(std::size_t i);
  void Reorder(std::size_t i);

  // ---- numbers and calls (calls.cpp)
  void NumberProgress(std::size_t i);
  void RouteTo(std::size_t caller, std::size_t callee);
  void StartAlerting(std::size_t callee, std::size_t call);
  void StartRinging(std::size_t i, const std::vector<std::uint32_t>& cadence,
                    std::int64_t origin);
  void StopRinging(std::size_t i);
  void UpdateRinging(std::size_t i);
  void Answer(std::size_t callee);
  void Connect(std::size_t a, std::size_t b);
  void Release(std::size_t left, std::size_t other);
  void BreakLoop(std::size_t i);
  void EndLoopBreak(std::size_t i);
  void OfferWaiting(std::size_t callee, std::size_t call);
  void WithdrawOffer(std::size_t callee, std::size_t call);
  std::size_t OtherParty(std::size_t call, std::size_t one) const;
  void RunWaitingSignal(std::size_t i);
  void Swap(std::size_t i);
  void JclipAnswered(std::size_t i);
  void JclipReleased(std::size_t i);
  CallerIdInfo CallerOf(std::size_t caller) const;
  std::size_t NewCall(std::size_t caller, std::optional<std::size_t> callee);

  // ---- the switch (exchange.cpp)
  void TakeInput(std::size_t i, std::int64_t from);
  void MakeOutput(std::size_t i, std::int64_t from);

  void Log(std::size_t i, EventKind kind, std::string detail = {});
  void LogAt(std::size_t i, EventKind kind, std::string detail, std::uint64_t at,
             std::uint64_t end = 0);
  std::uint64_t now() const;
  std::int64_t now_sample() const { return steps_ * kStepSamples; }

  ExchangeConfig config_;
  std::vector<std::unique_ptr<Subscriber>> subs_;
  std::vector<Call> calls_;
  EventLog log_;
  std::int64_t steps_ = 0;  // steps done; step k makes samples [8k, 8k + 8)
  bool in_step_ = false;
  std::vector<std::int16_t> block_;
  std::vector<HookEvent> hook_events_;
  const std::vector<std::uint32_t> jclip_ring_ = {kJclipRingMs, kJclipRingMs};
};

}  // namespace plat::line::exchange
