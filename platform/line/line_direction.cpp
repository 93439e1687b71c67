#include "platform/line/line_direction.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

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

constexpr double kPi = 3.14159265358979323846;
constexpr double kLineRate = 8000.0;

// An odd-length Hilbert transformer, 2 / (pi n) at odd lags n from the
// centre, under a Blackman window; index k is lag k - kShiftDelaySamples.
std::vector<double> HilbertTaps() {
  constexpr std::int64_t half = kShiftDelaySamples;
  std::vector<double> taps(2 * half + 1, 0.0);
  for (std::int64_t k = 0; k <= 2 * half; ++k) {
    const std::int64_t n = k - half;
    if (n % 2 == 0) continue;
    const double x = static_cast<double>(k) / static_cast<double>(2 * half);
    const double window = 0.42 - 0.5 * std::cos(2 * kPi * x) + 0.08 * std::cos(4 * kPi * x);
    taps[static_cast<std::size_t>(k)] = 2.0 / (kPi * static_cast<double>(n)) * window;
  }
  return taps;
}

// The clock interpolator: a Blackman-windowed sinc at kClockPhases + 1
// fractions of a sample (0 to 1 inclusive), taps for lags -15 .. 16 around
// the sample at or before the instant.
constexpr int kClockPhases = 512;
constexpr int kClockTaps = 2 * kClockHalfTaps;

std::vector<double> SincTaps() {
  std::vector<double> taps((kClockPhases + 1) * kClockTaps, 0.0);
  for (int p = 0; p <= kClockPhases; ++p) {
    const double frac = static_cast<double>(p) / kClockPhases;
    for (int k = 0; k < kClockTaps; ++k) {
      // Tap k weighs the sample at floor + k - (kClockHalfTaps - 1).
      const double x = frac - static_cast<double>(k - (kClockHalfTaps - 1));
      const double sinc = x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
      const double w = (x + kClockHalfTaps) / (2.0 * kClockHalfTaps);  // 0 .. 1 over the span
      const double window = 0.42 - 0.5 * std::cos(2 * kPi * w) + 0.08 * std::cos(4 * kPi * w);
      taps[static_cast<std::size_t>(p * kClockTaps + k)] = sinc * window;
    }
  }
  return taps;
}

std::int64_t AmplitudeQ16(double db) {
  return static_cast<std::int64_t>(std::nearbyint(DbToAmplitude(db) * kQ16));
}

}  // namespace

LineDirection::LineDirection(const LineDirectionConfig& config)
    : delay_(CheckedDelay(config.delay_samples, "bulk delay")),
      echo_delay_(CheckedDelay(config.echo_delay_samples, "echo delay")),
      companding_(config.companding),
      offset_radians_(2 * kPi * config.frequency_offset_hz / kLineRate),
      clock_ratio_(config.clock_ratio),
      gain_q16_(AmplitudeQ16(config.gain_db)),
      noise_(config.seed, config.direction),
      far_(static_cast<int>(FarHistory())),
      near_(static_cast<int>(echo_delay_)),
      reflected_(static_cast<int>(FarHistory())) {
  far_end_reflects_ = config.far_end_reflects;
  if (config.reflection_erl_db) {
    reflection_gain_ = DbToAmplitude(config.gain_db) * DbToAmplitude(-*config.reflection_erl_db);
  }
  if (!(clock_ratio_ > 0.99 && clock_ratio_ < 1.01)) {
    diag::Fatal("line-clock", "clock ratio " + std::to_string(clock_ratio_) +
                                  " is outside 0.99 to 1.01");
  }
  if (clock_ratio_ != 1 && offset_radians_ != 0) {
    diag::Fatal("line-clock", "a clock ratio and a frequency offset on one direction");
  }
  if (config.echo_erl_db) echo_q16_ = AmplitudeQ16(-*config.echo_erl_db);
  SetNoise(config.noise_dbm0);
  if (offset_radians_ != 0) hilbert_ = HilbertTaps();
  if (clock_ratio_ != 1) sinc_ = SincTaps();
}

std::int64_t LineDirection::FarHistory() const {
  if (offset_radians_ != 0) return delay_ + 2 * kShiftDelaySamples;
  if (clock_ratio_ != 1) return delay_ + kClockLeadSamples + kClockHalfTaps;
  return delay_;
}

double LineDirection::ClockedInstant(std::int64_t t) const {
  return clock_ratio_ * static_cast<double>(t) - static_cast<double>(delay_ + kClockLeadSamples);
}

double LineDirection::FarSample(std::int64_t index, bool reflection) const {
  std::int32_t x = *far_.At(index);
  if (reflection && far_end_reflects_) x += *reflected_.At(index);
  return Compand(companding_, static_cast<std::int16_t>(std::clamp(x, -32768, 32767)));
}

double LineDirection::Arrived(std::int64_t t, bool reflection) const {
  if (offset_radians_ != 0) return Far(t, reflection);
  if (clock_ratio_ != 1) return FarBetween(ClockedInstant(t), reflection);
  return FarSample(t - delay_, reflection);
}

double LineDirection::FarBetween(double at, bool reflection) const {
  const double floor = std::floor(at);
  const auto phase = static_cast<std::size_t>(std::lround((at - floor) * kClockPhases));
  const double* taps = sinc_.data() + phase * kClockTaps;
  const std::int64_t first = static_cast<std::int64_t>(floor) - (kClockHalfTaps - 1);
  double sum = 0;
  for (int k = 0; k < kClockTaps; ++k) sum += taps[k] * FarSample(first + k, reflection);
  return sum;
}

double LineDirection::Far(std::int64_t t, bool reflection) const {
  // The analytic signal x + jH(x), both delayed by the transformer's half
  // length, turned by the offset: x cos - H(x) sin.
  const std::int64_t oldest = t - delay_ - 2 * kShiftDelaySamples;
  const auto last = static_cast<std::int64_t>(hilbert_.size()) - 1;
  double quadrature = 0;
  for (std::size_t k = 0; k < hilbert_.size(); ++k) {
    if (hilbert_[k] == 0) continue;
    // Tap k is lag k - half: window index 2 half - k holds that lag.
    quadrature += hilbert_[k] * FarSample(oldest + last - static_cast<std::int64_t>(k), reflection);
  }
  const double in_phase = FarSample(oldest + kShiftDelaySamples, reflection);
  const double phase = std::fmod(offset_radians_ * static_cast<double>(t), 2 * kPi);
  return in_phase * std::cos(phase) - quadrature * std::sin(phase);
}

void LineDirection::AddBreak(std::int64_t from, std::int64_t to) {
  if (to > from) breaks_.push_back({from, to});
}

void LineDirection::SetNoise(std::optional<double> dbm0) {
  noise_rms_q16_.reset();
  if (dbm0) noise_rms_q16_ = RmsAt(*dbm0) * kQ16;
}

void LineDirection::SendFar(std::span<const std::int16_t> samples) { far_.Append(samples); }

void LineDirection::SendNear(std::span<const std::int16_t> samples) { near_.Append(samples); }

void LineDirection::SendReflected(std::span<const std::int16_t> samples) { reflected_.Append(samples); }

void LineDirection::ReflectUntil(std::int64_t end) {
  if (end <= reflected_until_) return;
  if (!reflection_gain_) {
    reflected_until_ = end;
    return;
  }
  if (FarSamplesNeeded(end) > far_sent()) {
    diag::Fatal("line-causality", "reflection at line instant " + std::to_string(end - 1) +
                                      " asked before the far end sent what it depends on");
  }
  for (std::int64_t t = reflected_until_; t < end; ++t) {
    const double value = std::nearbyint(*reflection_gain_ * Arrived(t, false));
    reflection_out_.push_back(static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0)));
  }
  reflected_until_ = end;
}

std::vector<std::int16_t> LineDirection::TakeReflection() { return std::exchange(reflection_out_, {}); }

std::int64_t LineDirection::FarSamplesNeeded(std::int64_t end) const {
  if (clock_ratio_ != 1 && end > 0) {
    const auto newest = static_cast<std::int64_t>(std::floor(ClockedInstant(end - 1))) + kClockHalfTaps;
    return std::max<std::int64_t>(0, newest + 1);
  }
  return std::max<std::int64_t>(0, end - delay_);
}

std::int64_t LineDirection::NearSamplesNeeded(std::int64_t end) const {
  return echo_q16_ ? std::max<std::int64_t>(0, end - echo_delay_) : 0;
}

void LineDirection::Receive(std::span<std::int16_t> out) {
  const std::int64_t end = received_ + static_cast<std::int64_t>(out.size());
  if (clock_ratio_ != 1 && FarSamplesNeeded(end) > std::max<std::int64_t>(0, end - delay_)) {
    diag::Fatal("line-clock", "the far clock ran " + std::to_string(kClockLeadSamples - kClockHalfTaps) +
                                  " samples ahead of the bulk delay by line instant " +
                                  std::to_string(end - 1));
  }
  if (FarSamplesNeeded(end) > far_sent() || NearSamplesNeeded(end) > near_sent() ||
      (far_end_reflects_ && FarSamplesNeeded(end) > reflected_sent())) {
    diag::Fatal("line-causality", "line instant " + std::to_string(end - 1) +
                                      " received before the ends sent what it depends on");
  }
  ReflectUntil(end);
  for (std::int16_t& y : out) {
    const std::int64_t t = received_++;
    const double far = Arrived(t, true);
    std::int64_t acc =
        offset_radians_ == 0 && clock_ratio_ == 1
            ? gain_q16_ * static_cast<std::int64_t>(far)
            : static_cast<std::int64_t>(std::nearbyint(static_cast<double>(gain_q16_) * far));
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
  if (clock_ratio_ != 1) {
    const auto oldest = static_cast<std::int64_t>(std::floor(ClockedInstant(received_))) - kClockHalfTaps;
    far_.DropBefore(oldest);
    reflected_.DropBefore(oldest);
  } else {
    const std::int64_t oldest = received_ - delay_ - (offset_radians_ != 0 ? 2 * kShiftDelaySamples : 0);
    far_.DropBefore(oldest);
    reflected_.DropBefore(oldest);
  }
  near_.DropBefore(received_ - echo_delay_);
}

}  // namespace plat::line
