// A point-to-point telephone line between two ends, A and B: each end a
// machine's front-end port or a scripted peer. The line carries 8000 Hz
// samples each way through its own LineDirection (gain, noise, bulk delay,
// G.711, the hearing end's hybrid echo and its reflection of the far
// signal back toward the far end, breaks) and keeps the line's state:
// each end's hook with its log of changes, ringing at each end, an extension
// phone off hook beside each end, and a dead line.
//
// Causality: what an end hears at sample n depends only on what was sent up
// to n - 1. Ends produce their output lazily: when an end must hear up to n,
// the line asks the far end (and, for the echo, the end itself) for its
// output up to the past instant it needs, so the result never depends on the
// order in which machines take turns.
//
// Instants: line sample n is at n x 125 us on the simulation's timeline; state
// changes carry timeline instants in ns.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/line/line_direction.h"
#include "platform/line/scripted_peer.h"
#include "platform/line/state_log.h"
#include "platform/line/taps.h"
#include "platform/sim/line_side.h"

namespace plat::line {

enum class Side : std::uint8_t { kA = 0, kB = 1 };

inline constexpr Side FarSide(Side side) { return side == Side::kA ? Side::kB : Side::kA; }
inline constexpr std::uint64_t kSampleNs = 125'000;
inline constexpr std::uint64_t InstantOfSample(std::int64_t n) {
  return static_cast<std::uint64_t>(n) * kSampleNs;
}

// What the line needs of an end.
class LineEnd {
 public:
  virtual ~LineEnd() = default;
  // The end sends (Line::Send) until it has sent `count` samples in all.
  virtual void ProduceUntil(std::int64_t count) = 0;
  // What the end hears, in order, as the line delivers it.
  virtual void Hear(std::span<const std::int16_t> samples) = 0;
};

// Loop voltages across an end's DAA, in millivolts.
inline constexpr std::int32_t kOnHookMillivolts = 48'000;
inline constexpr std::int32_t kOffHookMillivolts = 16'000;
inline constexpr std::int32_t kExtensionOffHookMillivolts = 6'000;

struct LineConfig {
  // What each end hears (index 0: end A, 1: end B): the far end's signal
  // impaired, and the end's own hybrid echo. Their `seed` and `direction`
  // are set by the line from `seed` and the hearing end.
  std::array<LineDirectionConfig, 2> heard_at{};
  std::uint64_t seed = 0;  // the simulation's seed
  // Each end's sample clock off its nominal rate, in ppm (index 0: end A).
  // An end hears the other's signal on its own clock: the line sets each
  // direction's clock ratio from the two.
  std::array<double, 2> clock_ppm{};
};

class Line {
 public:
  explicit Line(const LineConfig& config = {});
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // `end` becomes the line's end at `side`; a side that has one already, or an
  // end attached anywhere before, is fatal. A side without an end is silent.
  void Attach(Side side, LineEnd& end);

  // ---- signal
  // The end at `from` sends its next samples.
  void Send(Side from, std::span<const std::int16_t> samples);
  std::int64_t sent(Side side) const;
  // Delivers to the end at `to` what it hears until it has heard `count`
  // samples, asking the ends for their output as far as that needs.
  void DeliverUntil(Side to, std::int64_t count);
  std::int64_t delivered(Side side) const { return directions_[Index(side)].received(); }
  // Lets the far end of `side` act (send, and run its script) up to the
  // sample before `at`, so the state `side` sees at `at` is complete.
  void CatchUp(Side side, std::uint64_t at);
  // Runs both ends until each has heard `count` samples (lines of peers).
  void RunUntil(std::int64_t count);
  // The end at `hearing` hears silence over samples [from, to).
  void AddBreak(Side hearing, std::int64_t from, std::int64_t to);
  // The end at `hearing` hears noise at `dbm0` (none: none) from the next
  // sample the line delivers to it.
  void SetNoise(Side hearing, std::optional<double> dbm0) { directions_[Index(hearing)].SetNoise(dbm0); }

  // ---- state
  void SetHook(Side side, std::uint64_t at, bool off_hook);
  bool OffHook(Side side, std::uint64_t at) const { return hook_[Index(side)].At(at); }
  const std::vector<StateLog<bool>::Change>& HookLog(Side side) const {
    return hook_[Index(side)].changes();
  }
  // Ringing at an end: the voltage reading is invalid and, on hook, the DAA
  // hears the ring (the exchange's cadence is the caller's business).
  void SetRinging(Side side, std::uint64_t at, bool ringing);
  void SetExtensionOffHook(Side side, std::uint64_t at, bool off_hook);
  void SetDead(std::uint64_t at, bool dead);
  sim::LineConditions Conditions(Side side, std::uint64_t at) const;

  // ---- taps: what the end at `hearing` hears (null: none)
  void TapHeard(Side hearing, SampleSink* sink) { taps_[Index(hearing)] = sink; }

  // ---- script steps for a peer on this line
  ScriptedPeer::Condition HookIs(Side side, bool off_hook) const;
  // True once the hook at `side` differs from what it was when first asked.
  ScriptedPeer::Condition HookChanges(Side side) const;
  ScriptedPeer::Action HookAction(Side side, bool off_hook);
  ScriptedPeer::Action RingAction(Side side, bool ringing);

 private:
  static std::size_t Index(Side side) { return static_cast<std::size_t>(side); }
  void ProduceUntil(Side side, std::int64_t count);
  // The end at `at` reflects what it hears toward the far end until
  // instant `count`; the reflection joins the far end's heard signal.
  void Reflect(Side at, std::int64_t count);
  void ForwardReflection(Side at);

  std::array<LineDirection, 2> directions_;  // by hearing end
  std::array<LineEnd*, 2> ends_{};
  std::array<StateLog<bool>, 2> hook_;
  std::array<StateLog<bool>, 2> ringing_;
  std::array<StateLog<bool>, 2> extension_;
  StateLog<bool> dead_;
  std::array<SampleSink*, 2> taps_{};
  std::vector<std::int16_t> silence_;
};

}  // namespace plat::line
