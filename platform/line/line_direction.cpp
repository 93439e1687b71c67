#include "platform/line/line_direction.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/line/det_math.h"
#include "platform/line/levels.h"

namespace plat::line {
namespace {

constexpr double kQ16 = 65536.0;

std::int64_t CheckedDelay(std::int64_t samples, const char* what) {
  if (samples < 1) {
    diag::Fatal("line-delay", std::string(what) + " of " + std::to_string(samples) +
                                  " samples: a line delays by at least one sample");
  }
  return samples;
}

std::int64_t AmplitudeQ16(double db) {
  return static_cast<std::int64_t>(std::nearbyint(DbToAmplitude(db) * kQ16));
}

}  // namespace

LineDirection::LineDirection(const LineDirectionConfig& config)
    : delay_(CheckedDelay(config.delay_samples, "bulk delay")),
      echo_delay_(CheckedDelay(config.echo_delay_samples, "echo delay")),
      companding_(config.companding),
      gain_q16_(AmplitudeQ16(config.gain_db)),
      noise_(config.seed, config.direction),
      far_(static_cast<int>(delay_)),
      near_(static_cast<int>(echo_delay_)) {
  if (config.echo_erl_db) echo_q16_ = AmplitudeQ16(-*config.echo_erl_db);
  if (config.noise_dbm0) noise_rms_q16_ = RmsAt(*config.noise_dbm0) * kQ16;
}

void LineDirection::AddBreak(std::int64_t from, std::int64_t to) {
  if (to > from) breaks_.push_back({from, to});
}

void LineDirection::SendFar(std::span<const std::int16_t> samples) { far_.Append(samples); }

void LineDirection::SendNear(std::span<const std::int16_t> samples) { near_.Append(samples); }

std::int64_t LineDirection::FarSamplesNeeded(std::int64_t end) const {
  return std::max<std::int64_t>(0, end - delay_);
}

std::int64_t LineDirection::NearSamplesNeeded(std::int64_t end) const {
  return echo_q16_ ? std::max<std::int64_t>(0, end - echo_delay_) : 0;
}

void LineDirection::Receive(std::span<std::int16_t> out) {
  const std::int64_t end = received_ + static_cast<std::int64_t>(out.size());
  if (FarSamplesNeeded(end) > far_sent() || NearSamplesNeeded(end) > near_sent()) {
    diag::Fatal("line-causality", "line instant " + std::to_string(end - 1) +
                                      " received before the ends sent what it depends on");
  }
  for (std::int16_t& y : out) {
    const std::int64_t t = received_++;
    std::int64_t acc = gain_q16_ * Compand(companding_, *far_.At(t - delay_));
    if (noise_rms_q16_) {
      acc += static_cast<std::int64_t>(std::nearbyint(noise_.Next() * *noise_rms_q16_));
    }
    if (echo_q16_) acc += *echo_q16_ * *near_.At(t - echo_delay_);
    const bool broken = std::any_of(breaks_.begin(), breaks_.end(),
                                    [t](const Break& b) { return t >= b.from && t < b.to; });
    const std::int64_t value = (acc + (1 << 15)) >> 16;
    y = broken ? 0 : static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
  }
  std::erase_if(breaks_, [this](const Break& b) { return b.to <= received_; });
  far_.DropBefore(received_ - delay_);
  near_.DropBefore(received_ - echo_delay_);
}

}  // namespace plat::line
