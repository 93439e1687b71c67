// Filters of the line port's resamplers, one design per codec rate.
//
// Each rate converts through a grid of 8000 x up Hz, on which a codec sample
// falls every `down` ticks and a line sample every `up` ticks. One linear-phase
// low-pass prototype on that grid (a Kaiser-windowed sinc) serves both
// directions: split into `up` phases it interpolates the line to the codec
// rate, split into `down` phases it decimates the codec rate to the line.
// Every rate's prototype is centred on the same instant, kResamplerDelay line
// samples after its newest input, so a change of rate keeps the signal's timing.
// Coefficients are Q30 integers rounded once at design time; filtering is exact
// integer arithmetic.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/line/codec_rates.h"

namespace plat::line {

// The group delay of every resampler, in line samples (125 us each).
inline constexpr int kResamplerDelay = 38;

inline constexpr int kCoefficientBits = 30;

// One direction's filter split into phases; each phase's taps are stored
// oldest-input first, so the output is a forward dot product with the input.
class PolyphaseBank {
 public:
  PolyphaseBank() = default;
  PolyphaseBank(std::span<const double> prototype, int phases, double gain);

  int phases() const { return phases_; }
  int taps() const { return taps_; }
  std::span<const std::int32_t> Phase(int phase) const {
    return {coefficients_.data() + static_cast<std::size_t>(phase) * taps_,
            static_cast<std::size_t>(taps_)};
  }

 private:
  int phases_ = 0;
  int taps_ = 0;
  std::vector<std::int32_t> coefficients_;
};

class ResamplerDesign {
 public:
  explicit ResamplerDesign(const CodecRate& rate);

  const CodecRate& rate() const { return rate_; }
  // Grid ticks of pure delay ahead of the taps (the 8000 Hz rate is a delay only).
  std::int64_t lead() const { return lead_; }
  // The prototype on the grid, with unit gain at DC.
  std::span<const double> prototype() const { return prototype_; }
  const PolyphaseBank& to_codec() const { return to_codec_; }
  const PolyphaseBank& to_line() const { return to_line_; }
  // The Kaiser window's shape parameter (0 for the delay-only design).
  double kaiser_beta() const { return beta_; }

 private:
  CodecRate rate_;
  std::int64_t lead_ = 0;
  double beta_ = 0.0;
  std::vector<double> prototype_;
  PolyphaseBank to_codec_;
  PolyphaseBank to_line_;
};

// The designs of all nine rates, made once per owner (a port, a machine).
class ResamplerDesigns {
 public:
  ResamplerDesigns();
  // Fatal for a code that names no codec rate.
  const ResamplerDesign& ForCode(std::uint8_t code) const;

 private:
  std::vector<ResamplerDesign> designs_;
};

}  // namespace plat::line
