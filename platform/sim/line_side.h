// The line side of the controller's DAA, as the telephone line sees it. The
// controller reports hook changes and clock restarts with their instants,
// asks for the line's conditions when a register reads them, takes one input
// sample and gives one output sample at every codec sample instant, in order.
// Output given for an instant is final; the line may make the controller
// produce everything up to a past instant with Controller::AdvanceTo.
#pragma once

#include <cstdint>

#include "platform/sim/codec_clock.h"

namespace plat::sim {

struct LineConditions {
  bool loop_current = false;
  std::int32_t millivolts = 0;  // loop voltage across the DAA
  bool ringing = false;
  friend bool operator==(const LineConditions&, const LineConditions&) = default;
};

class LineSide {
 public:
  virtual ~LineSide() = default;
  virtual void HookChanged(Instant at, bool off_hook) = 0;
  // The codec clock (re)starts at `at`: samples fall at at + floor(k / rate).
  virtual void ClockStarted(Instant at, Rate rate) = 0;
  virtual LineConditions Conditions(Instant at) = 0;
  virtual std::int16_t Input(Instant at) = 0;
  virtual void Output(Instant at, std::int16_t sample) = 0;
};

}  // namespace plat::sim
