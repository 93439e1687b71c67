#include "platform/line/line.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/diag/fatal.h"

namespace plat::line {
namespace {

const char* SideName(Side side) { return side == Side::kA ? "A" : "B"; }

LineDirectionConfig ForHearingEnd(const LineConfig& line, Side hearing) {
  const auto index = [](Side side) { return static_cast<std::size_t>(side); };
  LineDirectionConfig config = line.heard_at[index(hearing)];
  config.seed = line.seed;
  config.direction = static_cast<std::uint64_t>(hearing);
  const double near = line.clock_ppm[index(hearing)];
  const double far = line.clock_ppm[index(FarSide(hearing))];
  if (near != far) config.clock_ratio = (1 + far * 1e-6) / (1 + near * 1e-6);
  config.far_end_reflects = line.heard_at[index(FarSide(hearing))].reflection_erl_db.has_value();
  return config;
}

// The samples at instants up to one sample before `at`.
std::int64_t SamplesBefore(std::uint64_t at) { return static_cast<std::int64_t>(at / kSampleNs); }

}  // namespace

Line::Line(const LineConfig& config)
    : directions_{LineDirection(ForHearingEnd(config, Side::kA)),
                  LineDirection(ForHearingEnd(config, Side::kB))} {}

void Line::Attach(Side side, LineEnd& end) {
  if (ends_[Index(side)] != nullptr || ends_[Index(FarSide(side))] == &end) {
    diag::Fatal("line-end-attached-twice",
                std::string("an end attached at side ") + SideName(side) + ", which " +
                    (ends_[Index(side)] != nullptr ? "has an end already"
                                                   : "is the far side of the same end"));
  }
  ends_[Index(side)] = &end;
}

void Line::Send(Side from, std::span<const std::int16_t> samples) {
  directions_[Index(FarSide(from))].SendFar(samples);
  directions_[Index(from)].SendNear(samples);
}

std::int64_t Line::sent(Side side) const { return directions_[Index(side)].near_sent(); }

void Line::ProduceUntil(Side side, std::int64_t count) {
  if (sent(side) >= count) return;
  if (LineEnd* end = ends_[Index(side)]) {
    end->ProduceUntil(count);
    if (sent(side) < count) {
      diag::Fatal("line-causality", std::string("end ") + SideName(side) + " sent " +
                                        std::to_string(sent(side)) + " samples, the line needs " +
                                        std::to_string(count));
    }
    return;
  }
  silence_.assign(static_cast<std::size_t>(count - sent(side)), 0);
  Send(side, silence_);
}

void Line::Reflect(Side at, std::int64_t count) {
  LineDirection& direction = directions_[Index(at)];
  if (direction.reflected_until() >= count) return;
  ProduceUntil(FarSide(at), direction.FarSamplesNeeded(count));
  direction.ReflectUntil(count);
  ForwardReflection(at);
}

void Line::ForwardReflection(Side at) {
  const std::vector<std::int16_t> reflection = directions_[Index(at)].TakeReflection();
  if (!reflection.empty()) directions_[Index(FarSide(at))].SendReflected(reflection);
}

void Line::DeliverUntil(Side to, std::int64_t count) {
  LineDirection& direction = directions_[Index(to)];
  if (direction.received() >= count) return;
  ProduceUntil(FarSide(to), direction.FarSamplesNeeded(count));
  if (direction.far_end_reflects()) Reflect(FarSide(to), direction.FarSamplesNeeded(count));
  ProduceUntil(to, direction.NearSamplesNeeded(count));
  // Producing may have delivered part of the span already (an end that hears
  // before it speaks); deliver the rest in order.
  const std::int64_t from = direction.received();
  if (from >= count) return;
  std::vector<std::int16_t> heard(static_cast<std::size_t>(count - from));
  direction.Receive(heard);
  ForwardReflection(to);
  for (std::size_t i = 0; i < heard.size(); ++i) {
    if (dead_.At(InstantOfSample(from + static_cast<std::int64_t>(i)))) heard[i] = 0;
  }
  if (SampleSink* tap = taps_[Index(to)]) tap->Write(heard);
  if (LineEnd* end = ends_[Index(to)]) end->Hear(heard);
}

void Line::CatchUp(Side side, std::uint64_t at) { ProduceUntil(FarSide(side), SamplesBefore(at)); }

void Line::RunUntil(std::int64_t count) {
  constexpr std::int64_t kStep = 80;
  for (std::int64_t n = std::min(kStep, count);; n = std::min(n + kStep, count)) {
    DeliverUntil(Side::kA, n);
    DeliverUntil(Side::kB, n);
    if (n == count) return;
  }
}

void Line::AddBreak(Side hearing, std::int64_t from, std::int64_t to) {
  directions_[Index(hearing)].AddBreak(from, to);
}

void Line::SetHook(Side side, std::uint64_t at, bool off_hook) {
  hook_[Index(side)].Set(at, off_hook);
}

void Line::SetRinging(Side side, std::uint64_t at, bool ringing) {
  ringing_[Index(side)].Set(at, ringing);
}

void Line::SetExtensionOffHook(Side side, std::uint64_t at, bool off_hook) {
  extension_[Index(side)].Set(at, off_hook);
}

void Line::SetDead(std::uint64_t at, bool dead) { dead_.Set(at, dead); }

sim::LineConditions Line::Conditions(Side side, std::uint64_t at) const {
  if (dead_.At(at)) return {};
  const bool off_hook = OffHook(side, at);
  const bool extension = extension_[Index(side)].At(at);
  std::int32_t millivolts = kOnHookMillivolts;
  if (extension) {
    millivolts = kExtensionOffHookMillivolts;
  } else if (off_hook) {
    millivolts = kOffHookMillivolts;
  }
  return {off_hook, millivolts, ringing_[Index(side)].At(at)};
}

ScriptedPeer::Condition Line::HookIs(Side side, bool off_hook) const {
  return [this, side, off_hook](std::int64_t instant) {
    return OffHook(side, InstantOfSample(instant)) == off_hook;
  };
}

ScriptedPeer::Condition Line::HookChanges(Side side) const {
  return [this, side, first = std::optional<bool>()](std::int64_t instant) mutable {
    const bool now = OffHook(side, InstantOfSample(instant));
    if (!first) first = now;
    return now != *first;
  };
}

ScriptedPeer::Action Line::HookAction(Side side, bool off_hook) {
  return [this, side, off_hook](std::int64_t instant) {
    SetHook(side, InstantOfSample(instant), off_hook);
  };
}

ScriptedPeer::Action Line::RingAction(Side side, bool ringing) {
  return [this, side, ringing](std::int64_t instant) {
    SetRinging(side, InstantOfSample(instant), ringing);
  };
}

}  // namespace plat::line
