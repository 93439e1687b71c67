// The codec's sample clock: the nine rates of register 55 as exact
// rationals, and tick instants in integer nanoseconds computed from a tick
// counter, so no rounding error ever accumulates.
#pragma once

#include <cstdint>

#include "platform/hal/instant.h"

namespace plat::sim {

using hal::Instant;

struct Rate {
  std::uint32_t numerator = 9600;  // Hz = numerator / denominator
  std::uint32_t denominator = 1;
  friend bool operator==(const Rate&, const Rate&) = default;
};

inline constexpr std::uint8_t kRateCodeCount = 9;

// Codes 0-8; any other code runs at 9600 Hz.
Rate RateForCode(std::uint8_t code);

class CodecClock {
 public:
  // Tick k of the new clock falls at origin + floor(k / rate).
  void Restart(Instant origin, Rate rate);
  Instant NextTick() const { return InstantOf(next_tick_); }
  // The instant of the tick `ahead` ticks after the next one.
  Instant TickAfterNext(std::uint64_t ahead) const { return InstantOf(next_tick_ + ahead); }
  void Consume() { ++next_tick_; }
  Rate rate() const { return rate_; }
  Instant origin() const { return origin_; }

 private:
  Instant InstantOf(std::uint64_t tick) const;

  Instant origin_ = 0;
  Rate rate_;
  std::uint64_t next_tick_ = 0;
};

}  // namespace plat::sim
