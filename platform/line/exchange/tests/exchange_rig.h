// Test support for the exchange: subscribers played by scripts on lines of
// their own, an exchange over them, and the measurements the tests check
// the exchange with (a Goertzel filter, segments of sound and silence, spandsp
// as a DTMF source and a caller-ID decoder).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/line/exchange/exchange.h"
#include "platform/line/peer_end.h"

namespace plat::line::exchange::testing {

inline constexpr std::int64_t Ms(std::int64_t ms) { return LineSamplesInMs(ms); }
inline constexpr std::uint64_t NsOfMs(std::int64_t ms) { return static_cast<std::uint64_t>(ms) * 1'000'000; }

// A subscriber's telephone: its line, the script at side A, what it hears.
struct Phone {
  explicit Phone(const LineConfig& config) : line(config), end(line, Side::kA, peer) {
    peer.RecordTo(&heard);
  }
  // Script steps: the hook, a pause.
  Phone& OffHook() { peer.Do(line.HookAction(Side::kA, true)); return *this; }
  Phone& OnHook() { peer.Do(line.HookAction(Side::kA, false)); return *this; }
  Phone& Wait(std::int64_t ms) { peer.Silence(Ms(ms)); return *this; }
  Phone& WaitForRing() {
    peer.WaitUntil([this](std::int64_t n) {
      return line.Conditions(Side::kA, InstantOfSample(n)).ringing;
    });
    return *this;
  }
  // DTMF digits from spandsp's dtmf_tx.
  Phone& Dtmf(const std::string& digits, int dbm0 = -10, int on_ms = 50, int off_ms = 50);
  // Dial pulses: each break and make as given, then the pause between digits.
  Phone& Pulses(const std::string& digits, int break_ms = 60, int make_ms = 40,
                int between_ms = 700);

  Line line;
  ScriptedPeer peer;
  PeerEnd end;
  MemoryTap heard;
};

// `count` subscribers 5551001, 5551002, ... on lines with `line` (a clean
// line of one sample's delay by default), the exchange built from `config`
// with them added. The first `bare` lines have no phone: their side A is
// free for a machine.
class Rig {
 public:
  explicit Rig(std::size_t count, const LineConfig& line = {}, std::size_t bare = 0);
  // Adds the subscribers to `config` and builds; the test fails when refused.
  Exchange& Build(ExchangeConfig config = {});
  Exchange& exchange() { return *exchange_; }
  Phone& phone(std::size_t i) { return *phones_.at(i - bare_lines_.size()); }
  Line& bare_line(std::size_t i) { return *bare_lines_.at(i); }
  SubscriberConfig& subscriber(std::size_t i) { return subscribers_[i]; }
  // Runs every line for `ms` of virtual time from the start.
  void RunTo(std::int64_t ms);

 private:
  std::vector<std::unique_ptr<Line>> bare_lines_;
  std::vector<std::unique_ptr<Phone>> phones_;
  std::vector<SubscriberConfig> subscribers_;
  std::unique_ptr<Exchange> exchange_;
};

std::string NumberOf(std::size_t i);

// The amplitude of `hz` in samples[from, to) (a sine of amplitude A gives A).
double Amplitude(const std::vector<std::int16_t>& samples, std::int64_t from, std::int64_t to,
                 double hz);
// A level in dBm0 from an amplitude on the line's scale.
double DbmOf(double amplitude);
// Stretches of sound (any sample not 0) and of silence, each at least
// `min_gap` samples of silence apart.
struct Stretch {
  std::int64_t from;
  std::int64_t to;
};
std::vector<Stretch> SoundStretches(const std::vector<std::int16_t>& samples, std::int64_t from,
                                    std::int64_t to, std::int64_t min_gap = Ms(5));

// spandsp's caller-ID receiver over `samples`: the messages it delivers.
std::vector<std::vector<std::uint8_t>> DecodeCallerId(const std::vector<std::int16_t>& samples,
                                                      int standard);
// spandsp's DTMF receiver over `samples`, with the twist and level limits of
// the line card's: the digits.
std::string SpandspDigits(const std::vector<std::int16_t>& samples);
// spandsp's DTMF transmitter: `digits` at `dbm0` (low group), `twist` dB more
// in the high group, `on_ms` and `off_ms`.
std::vector<std::int16_t> SpandspDtmf(const std::string& digits, int dbm0, int twist,
                                      int on_ms, int off_ms);

}  // namespace plat::line::exchange::testing
