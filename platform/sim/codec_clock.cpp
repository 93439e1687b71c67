#include "platform/sim/codec_clock.h"

#include <array>

namespace plat::sim {
namespace {

constexpr std::array<Rate, kRateCodeCount> kRates{{
    {7200, 1},
    {8000, 1},
    {57600, 7},
    {8400, 1},
    {9000, 1},
    {9600, 1},
    {72000, 7},
    {16000, 1},
    {96000, 7},
}};

}  // namespace

Rate RateForCode(std::uint8_t code) { return code < kRates.size() ? kRates[code] : Rate{}; }

void CodecClock::Restart(Instant origin, Rate rate) {
  origin_ = origin;
  rate_ = rate;
  next_tick_ = 0;
}

Instant CodecClock::InstantOf(std::uint64_t tick) const {
  const unsigned __int128 scaled =
      static_cast<unsigned __int128>(tick) * rate_.denominator * hal::kSecond;
  return origin_ + static_cast<Instant>(scaled / rate_.numerator);
}

}  // namespace plat::sim
