// A line without a far end, for tests: settable conditions and input, a log
// of hook changes and clock starts, and every output sample recorded.
#pragma once

#include <functional>
#include <vector>

#include "platform/sim/line_side.h"

namespace plat::sim {

class StubLine : public LineSide {
 public:
  struct HookEvent {
    Instant at;
    bool off_hook;
    friend bool operator==(const HookEvent&, const HookEvent&) = default;
  };
  struct ClockEvent {
    Instant at;
    Rate rate;
  };
  struct OutputSample {
    Instant at;
    std::int16_t sample;
    friend bool operator==(const OutputSample&, const OutputSample&) = default;
  };

  // Conditions: loop current and the off-hook voltage while off hook on a
  // live line, the on-hook voltage otherwise; a dead line has neither.
  std::int32_t on_hook_millivolts = 48'000;
  std::int32_t off_hook_millivolts = 16'000;
  bool dead = false;
  bool ringing = false;
  bool record_output = true;  // long runs may turn the recording off
  // The input at each sample instant; silence when empty.
  std::function<std::int16_t(Instant)> input;

  void HookChanged(Instant at, bool off_hook) override;
  void ClockStarted(Instant at, Rate rate) override { clocks_.push_back({at, rate}); }
  LineConditions Conditions(Instant at) override;
  std::int16_t Input(Instant at) override { return input ? input(at) : 0; }
  void Output(Instant at, std::int16_t sample) override {
    if (record_output) output_.push_back({at, sample});
  }

  bool off_hook() const { return off_hook_; }
  const std::vector<HookEvent>& hook_log() const { return hook_log_; }
  const std::vector<ClockEvent>& clocks() const { return clocks_; }
  const std::vector<OutputSample>& output() const { return output_; }
  void ClearOutput() { output_.clear(); }

 private:
  bool off_hook_ = false;
  std::vector<HookEvent> hook_log_;
  std::vector<ClockEvent> clocks_;
  std::vector<OutputSample> output_;
};

}  // namespace plat::sim
