// A subscriber's line card: the exchange's end (side B) of the subscriber's
// line. It keeps what the line delivered until the switch takes it, sends
// what the switch made, and passes a request for its output on to the
// exchange, which runs the whole switch that far.
#pragma once

#include <cstdint>
#include <span>

#include "platform/line/line.h"
#include "platform/line/sample_window.h"

namespace plat::line::exchange {

class Exchange;

class LineCard final : public LineEnd {
 public:
  // Attaches the card at side B of `line`.
  LineCard(Exchange& exchange, Line& line);

  void ProduceUntil(std::int64_t count) override;
  void Hear(std::span<const std::int16_t> samples) override { heard_.Append(samples); }

  Line& line() { return line_; }
  // Copies the samples heard at [from, from + out.size()); they must have been
  // delivered. Samples before `from` are not asked for again.
  void TakeHeard(std::int64_t from, std::span<std::int16_t> out);

 private:
  Exchange& exchange_;
  Line& line_;
  SampleWindow heard_{1};
};

}  // namespace plat::line::exchange
