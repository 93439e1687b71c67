// The line port of one machine's front end: the simulated controller's line
// side on one end of a line. The codec side runs at the controller's clock
// (every tick gives one DAC sample and takes one ADC sample), the line side
// at 8000 Hz through a LinePort, whose resamplers switch at the instant each
// rate change applies. Hook changes go to the line's log; the conditions a
// register reads (loop current, voltage, ringing) come from the line.
//
// The line asks this end for its output lazily: when the far end needs it up
// to a past instant, the port makes the controller run up to that instant.
// Inside a controller tick it never does (the controller is busy); causality
// guarantees the samples are there already, and their absence is fatal.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/line/line.h"
#include "platform/line/line_port.h"
#include "platform/line/resampler_design.h"
#include "platform/sim/controller.h"
#include "platform/sim/line_side.h"

namespace plat::line {

class FrontEndPort final : public sim::LineSide, public LineEnd {
 public:
  // Attaches the port to `line` at `side`; the line must outlive the port.
  FrontEndPort(Line& line, Side side);

  // The controller whose clock this port follows and which it may run to a
  // past instant (null: none; the port then sends silence).
  void SetController(sim::Controller* controller) { controller_ = controller; }
  Line& line() { return line_; }
  Side side() const { return side_; }

  // sim::LineSide
  void HookChanged(sim::Instant at, bool off_hook) override;
  void ClockStarted(sim::Instant at, sim::Rate rate) override;
  sim::LineConditions Conditions(sim::Instant at) override;
  std::int16_t Input(sim::Instant at) override;
  void Output(sim::Instant at, std::int16_t sample) override;

  // LineEnd
  void ProduceUntil(std::int64_t count) override;
  void Hear(std::span<const std::int16_t> samples) override { port_.WriteLine(samples); }

 private:
  // The controller's clock since its last start: codec sample `base` at `origin`.
  struct Clock {
    sim::Instant origin = 0;
    sim::Rate rate;
    std::int64_t base = 0;
  };
  sim::Instant InstantOfCodecSample(std::int64_t index) const;
  // Codec samples before the clock first started were silence.
  void FillSilenceTo(std::int64_t codec_index);

  Line& line_;
  Side side_;
  sim::Controller* controller_ = nullptr;
  ResamplerDesigns designs_;
  LinePort port_;
  std::optional<Clock> clock_;
  bool in_tick_ = false;  // between a tick's Input and its Output
  std::vector<std::int16_t> block_;
};

// Sends a controller's codec streams (DAC, ADC, speaker) to sinks (null: none).
class CodecTaps final : public sim::CodecTap {
 public:
  CodecTaps(SampleSink* dac, SampleSink* adc, SampleSink* speaker)
      : dac_(dac), adc_(adc), speaker_(speaker) {}
  void Sample(sim::Instant, std::int16_t dac, std::int16_t adc, std::int16_t speaker) override {
    if (dac_ != nullptr) dac_->Write({&dac, 1});
    if (adc_ != nullptr) adc_->Write({&adc, 1});
    if (speaker_ != nullptr) speaker_->Write({&speaker, 1});
  }

 private:
  SampleSink* dac_;
  SampleSink* adc_;
  SampleSink* speaker_;
};

}  // namespace plat::line
