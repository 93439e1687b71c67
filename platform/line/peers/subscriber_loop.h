// The line the peers' tests and benchmarks put a modem on: a subscriber loop
// with 3 dB of loss each way, noise at -55 dBm0, 2.5 ms of delay each way,
// and the modem's own signal back through the hybrid 15 dB down.
#pragma once

#include <cstdint>

#include "platform/line/line.h"

namespace plat::line::peers {

inline LineConfig SubscriberLoop(std::uint64_t seed) {
  LineConfig config;
  config.seed = seed;
  for (LineDirectionConfig& d : config.heard_at) {
    d.gain_db = -3.0;
    d.noise_dbm0 = -55.0;
    d.delay_samples = 20;
  }
  config.heard_at[0].echo_erl_db = 15.0;
  return config;
}

}  // namespace plat::line::peers
