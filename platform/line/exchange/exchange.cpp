// The exchange's frame and its switch: building, the 1 ms step, and the G.711
// core that carries each subscriber's input to the party it talks to.
#include "platform/line/exchange/exchange.h"

#include <algorithm>
#include <cmath>

#include "platform/line/levels.h"

namespace plat::line::exchange {
namespace {

std::int16_t Saturated(double v) {
  return static_cast<std::int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
}

std::int16_t Saturated(std::int32_t v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

}  // namespace

Exchange::Built Exchange::Build(ExchangeConfig config) {
  std::string error = CheckConfig(config);
  if (!error.empty()) return {nullptr, std::move(error)};
  return {std::unique_ptr<Exchange>(new Exchange(std::move(config))), {}};
}

Exchange::Exchange(ExchangeConfig config) : config_(std::move(config)) {
  for (const SubscriberConfig& c : config_.subscribers) {
    auto s = std::make_unique<Subscriber>(c, config_.plan);
    s->card = std::make_unique<LineCard>(*this, *c.line);
    s->core_history = SampleWindow(static_cast<int>(c.core_delay_samples));
    s->extension_said.assign(kStepSamples, 0);
    s->sent_before.assign(kStepSamples, 0);
    subs_.push_back(std::move(s));
  }
  block_.resize(kStepSamples);
}

std::optional<std::size_t> Exchange::SubscriberWith(const std::string& number) const {
  for (std::size_t i = 0; i < subs_.size(); ++i) {
    if (subs_[i]->config.number == number) return i;
  }
  return std::nullopt;
}

void Exchange::TapSent(std::size_t subscriber, SampleSink* sink) {
  subs_.at(subscriber)->sent_tap = sink;
}

ScriptedPeer::Action Exchange::ExtensionHookAction(std::size_t subscriber, bool off_hook) {
  Subscriber* s = subs_.at(subscriber).get();
  return [s, off_hook](std::int64_t instant) {
    s->extension_hook.Set(InstantOfSample(instant), off_hook);
    s->card->line().SetExtensionOffHook(Side::kA, InstantOfSample(instant), off_hook);
  };
}

std::uint64_t Exchange::now() const { return InstantOfSample(now_sample()); }

void Exchange::Log(std::size_t i, EventKind kind, std::string detail) {
  log_.Add({now(), 0, i, kind, std::move(detail)});
}

void Exchange::LogAt(std::size_t i, EventKind kind, std::string detail, std::uint64_t at,
                     std::uint64_t end) {
  log_.Add({at, end, i, kind, std::move(detail)});
}

void Exchange::ProduceUntil(std::int64_t count) {
  // Inside a step every card has sent what a causal line can ask for; a
  // request beyond it is the line's to report.
  if (in_step_) return;
  // Step k runs once a sample of it is asked for, and also when the request
  // ends where it begins: what the step decides happens at its first
  // instant, which a reader at that instant must see.
  while (produced() <= count) Step();
}

void Exchange::Step() {
  in_step_ = true;
  const std::int64_t first = now_sample();
  const std::uint64_t at = now();
  for (auto& s : subs_) {
    Line& line = s->card->line();
    line.CatchUp(Side::kB, at);
    line.DeliverUntil(Side::kB, first);
  }
  for (std::size_t i = 0; i < subs_.size(); ++i) TakeInput(i, first - kStepSamples);
  for (std::size_t i = 0; i < subs_.size(); ++i) {
    ReadLoop(i, at);
    RunTimers(i, at);
  }
  for (std::size_t i = 0; i < subs_.size(); ++i) MakeOutput(i, first);
  ++steps_;
  in_step_ = false;
}

void Exchange::TakeInput(std::size_t i, std::int64_t from) {
  Subscriber& s = *subs_[i];
  if (from < 0) {
    // The first step has heard nothing; the extension speaks from the start.
    if (ScriptedPeer* extension = s.config.extension) extension->Generate(s.extension_said);
    return;
  }
  std::int16_t heard[kStepSamples];
  s.card->TakeHeard(from, heard);
  // The pair carries the set and the extension; the card's codec hears both.
  std::int16_t digital[kStepSamples];
  for (std::size_t n = 0; n < kStepSamples; ++n) {
    digital[n] = Compand(config_.plan.law, Saturated(std::int32_t{heard[n]} + s.extension_said[n]));
  }
  s.core_history.Append(digital);
  s.core_history.DropBefore(from - s.config.core_delay_samples - kStepSamples);
  if (s.dtmf_listening) {
    s.dtmf.Feed(
        digital,
        [&](const DtmfTone& t) {
          OnDigit(i, t.digit, InstantOfSample(t.on), 0, "dtmf");
        },
        [&](const DtmfTone& t) {
          LogAt(i, EventKind::kDigit, std::string(1, t.digit) + " dtmf", InstantOfSample(t.on),
                InstantOfSample(t.off));
          if (s.waiting_signal.ack && s.waiting_signal.ack->on == t.on) s.waiting_signal.ack = t;
        });
  }
  if (ScriptedPeer* extension = s.config.extension) {
    // The extension hears the pair: what the card sent and what the set said.
    std::int16_t pair[kStepSamples];
    for (std::size_t n = 0; n < kStepSamples; ++n) {
      pair[n] = Saturated(std::int32_t{s.sent_before[n]} + heard[n]);
    }
    extension->Hear(pair);
    extension->Generate(s.extension_said);
  }
}

void Exchange::MakeOutput(std::size_t i, std::int64_t from) {
  Subscriber& s = *subs_[i];
  const Subscriber* partner = s.partner ? subs_[*s.partner].get() : nullptr;
  const double pad = partner ? DbToAmplitude(-partner->config.loss_pad_db) : 0.0;
  std::int16_t digital[kStepSamples];
  for (std::size_t n = 0; n < kStepSamples; ++n) {
    const std::int64_t t = from + static_cast<std::int64_t>(n);
    double v = s.tone.At(t) + s.clip.At(t);
    if (partner && !s.muted && !partner->silent_to_partner) {
      v += pad * *partner->core_history.At(t - partner->config.core_delay_samples);
    }
    digital[n] = Compand(config_.plan.law, Saturated(v));
  }
  if (s.sent_tap) s.sent_tap->Write(digital);
  for (std::size_t n = 0; n < kStepSamples; ++n) {
    s.sent_before[n] = Saturated(std::int32_t{digital[n]} + s.extension_said[n]);
  }
  s.card->line().Send(Side::kB, s.sent_before);
}

}  // namespace plat::line::exchange
