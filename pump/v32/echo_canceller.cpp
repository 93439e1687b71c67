#include "pump/v32/echo_canceller.h"

#include <algorithm>
#include <cstdlib>

#include "pump/v32/carrier_table.h"
#include "pump/v32/receiver.h"

namespace pump::v32 {
namespace {

constexpr std::int64_t RoundShift15(std::int64_t v) { return (v + 16384) >> 15; }

std::int32_t Saturate32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

std::int16_t Saturate16(std::int64_t v) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

// The tap's Q15 value.
constexpr std::int64_t TapValue(std::int32_t tap) { return tap >> 16; }

// The history's symbol `k` symbols before the one `delay` entries behind
// the newest; every index wraps, so any delay stays in the history.
Complex HistoryAt(const EchoCanceller& ec, std::uint32_t delay, int k) {
  const std::uint32_t at = (ec.newest - delay - 2u * static_cast<std::uint32_t>(k)) & kEchoIndexMask;
  return {ec.history[at], ec.history[at + 1]};
}

// A 32-bit phase (2^32 a turn) as the carrier tables' cosine and sine.
std::uint32_t TurnIndex(std::int32_t phase) {
  return ((static_cast<std::uint32_t>(phase) + (1u << 20)) >> 21) & 0x7FF;
}

Complex Turn(Complex v, std::int32_t c, std::int32_t s) {
  return {static_cast<std::int32_t>(RoundShift15(std::int64_t{v.re} * c - std::int64_t{v.im} * s)),
          static_cast<std::int32_t>(RoundShift15(std::int64_t{v.re} * s + std::int64_t{v.im} * c))};
}

// Re and Im of the sum over the taps of tap x history, rounded Q15.
Complex TapSum(const EchoCanceller& ec, const std::array<std::int32_t, 2 * kEchoTaps>& taps,
               std::uint32_t delay) {
  std::int64_t re = 0;
  std::int64_t im = 0;
  for (int k = 0; k < kEchoTaps; ++k) {
    const Complex h = HistoryAt(ec, delay, k);
    const std::int64_t tr = TapValue(taps[2 * k]);
    const std::int64_t ti = TapValue(taps[2 * k + 1]);
    re += tr * h.re - ti * h.im;
    im += tr * h.im + ti * h.re;
  }
  return {Saturate32(RoundShift15(re)), Saturate32(RoundShift15(im))};
}

void EstimateSymbol(EchoCanceller& ec) {
  const std::uint32_t index = TurnIndex(ec.rotator.phase);
  ec.turn_cos = kCosTable[index];
  ec.turn_sin = kSinTable[index];
  for (int p = 0; p < kEchoPhases; ++p) {
    const Complex near = TapSum(ec, ec.near_taps[p], ec.near_delay);
    const Complex far = Turn(TapSum(ec, ec.far_taps[p], ec.far_delay), ec.turn_cos, ec.turn_sin);
    ec.far_estimate[p] = far;
    ec.estimate[p] = Saturate16(std::int64_t{near.re} + far.re);
    ec.far_power = (std::int64_t{far.re} * far.re + std::int64_t{far.im} * far.im) >> 7;
    ec.far_power_average += (ec.far_power - ec.far_power_average) >> 8;
  }
}

// The error's analytic value through the Hilbert pair (nine samples late).
Complex AnalyticError(EchoCanceller& ec, std::int16_t error) {
  std::copy(ec.error_ring.begin() + 1, ec.error_ring.end(), ec.error_ring.begin());
  ec.error_ring[18] = error;
  std::int32_t sum = 0;
  for (int j = 0; j < 10; ++j) sum += (kHilbertTaps[j] * ec.error_ring[2 * j]) >> 2;
  // The pair's taps give the negative of the quadrature.
  return {ec.error_ring[9], -((sum + 4096) >> 13)};
}

// One sample of the far rotator's loop: the far echo heard (the error's
// analytic value less the cancelling estimate of nine samples earlier)
// against the echo estimated then.
void TrackFarEcho(EchoCanceller& ec, int phase, std::int16_t error) {
  const Complex analytic = AnalyticError(ec, error);
  const Complex cancel = ec.far_ring[ec.far_ring_next];
  ec.far_ring[ec.far_ring_next] = ec.far_estimate[phase];
  ec.far_ring_next = (ec.far_ring_next + 1) % ec.far_ring.size();
  FarRotator& r = ec.rotator;
  const std::int64_t est_re = -std::int64_t{cancel.re};
  const std::int64_t est_im = -std::int64_t{cancel.im};
  const std::int64_t heard_re = analytic.re + est_re;
  const std::int64_t heard_im = analytic.im + est_im;
  const std::int64_t dot = heard_re * est_re + heard_im * est_im;
  const std::int64_t cross = heard_im * est_re - heard_re * est_im;
  std::int64_t diff = 0;
  if (ec.far_power_average > 0 && (dot != 0 || cross != 0)) diff = PhaseOf(dot, cross);
  r.frequency = Saturate32(r.frequency + ((diff * r.frequency_gain) >> 31));
  const std::int64_t step = std::int64_t{r.frequency} + ((diff * r.phase_gain) >> 31);
  r.phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.phase) + static_cast<std::uint32_t>(step));
}

}  // namespace

std::int32_t PhaseOf(std::int64_t dot, std::int64_t cross) {
  constexpr std::int64_t kQ15 = 32768;
  constexpr std::int64_t kHalfTurn = std::int64_t{1} << 31;
  constexpr std::int64_t kQuarterTurn = std::int64_t{1} << 30;
  constexpr std::int64_t kTurnsPerRadianQ15 = 683565276;  // 2^32 / (2 pi)
  // Shifted so that the ratio's product cannot overflow.
  while (std::llabs(dot) >= (std::int64_t{1} << 46) || std::llabs(cross) >= (std::int64_t{1} << 46)) {
    dot /= 2;
    cross /= 2;
  }
  const std::int64_t a = std::llabs(dot);
  const std::int64_t b = std::llabs(cross);
  if (a == 0 && b == 0) return 0;
  const bool steep = b > a;
  const std::int64_t x = steep ? a * kQ15 / b : b * kQ15 / a;  // 0..1 in Q15
  const std::int64_t x2 = x * x / kQ15;
  // x (1 - x^2 (0.3318 - x^2 (0.1845 - 0.0794 x^2))), Q15.
  std::int64_t poly = 6046 - 2602 * x2 / kQ15;
  poly = 10872 - poly * x2 / kQ15;
  poly = kQ15 - poly * x2 / kQ15;
  const std::int64_t radians = x * poly / kQ15;
  std::int64_t angle = radians * kTurnsPerRadianQ15 / kQ15;
  if (steep) angle = kQuarterTurn - angle;
  if (dot < 0) angle = kHalfTurn - angle;
  if (cross < 0) angle = -angle;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(angle));
}

void ResetEchoCanceller(EchoCanceller& ec, std::uint32_t near_delay, bool adapt) {
  ec = EchoCanceller{};
  ec.near_delay = near_delay & kEchoIndexMask & ~1u;
  ec.far_delay = ec.near_delay;
  ec.adapt = adapt ? 1 : 0;
}

void SetFarEchoDelay(EchoCanceller& ec, std::uint32_t far_delay) {
  ec.far_delay = far_delay & kEchoIndexMask & ~1u;
}

void SetEchoSteps(EchoCanceller& ec, std::int32_t near_step, std::int32_t far_step) {
  ec.near_step = near_step;
  ec.far_step = far_step;
}

void SetFarLoopGains(EchoCanceller& ec, std::int32_t frequency_gain, std::int32_t phase_gain) {
  ec.rotator.frequency_gain = frequency_gain;
  ec.rotator.phase_gain = phase_gain;
}

void EndEchoTraining(EchoCanceller& ec) {
  SetEchoSteps(ec, 0, 0);
  SetFarLoopGains(ec, 0, kFarPhaseGainData);
  if (std::abs(ec.rotator.frequency) < kFarFrequencyFloor) {
    ec.rotator.frequency = 0;
    ec.rotator.phase = 0;
    ec.far_step = 0;
  }
}

void PushEchoSymbol(EchoCanceller& ec, Point symbol, std::uint32_t carrier) {
  const std::uint32_t index = TableIndex(carrier);
  const Complex turned = Turn({symbol.i, symbol.q}, kCosTable[index], kSinTable[index]);
  ec.newest = (ec.newest + 2) & kEchoIndexMask;
  ec.history[ec.newest] = turned.re;
  ec.history[ec.newest + 1] = turned.im;
  EstimateSymbol(ec);
}

std::int16_t CancelEcho(EchoCanceller& ec, int phase, std::int16_t sample) {
  const std::int32_t error = std::int32_t{sample} + ec.estimate[phase];
  ec.error[phase] = error;
  const std::int16_t out = Saturate16(error);
  TrackFarEcho(ec, phase, out);
  return ec.output_enabled != 0 ? out : sample;
}

void AdaptEcho(EchoCanceller& ec) {
  if (ec.adapt == 0) return;
  for (int p = 0; p < kEchoPhases; ++p) {
    const std::int64_t near_gain = RoundShift15(std::int64_t{ec.near_step} * ec.error[p]);
    const std::int64_t far_gain = RoundShift15(std::int64_t{ec.far_step} * ec.error[p]);
    std::array<std::int32_t, 2 * kEchoTaps>& near = ec.near_taps[p];
    std::array<std::int32_t, 2 * kEchoTaps>& far = ec.far_taps[p];
    for (int k = 0; k < kEchoTaps; ++k) {
      // The estimate is Re(tap x history): the imaginary tap moves with the
      // history's conjugate.
      if (near_gain != 0) {
        const Complex h = HistoryAt(ec, ec.near_delay, k);
        near[2 * k] = Saturate32(near[2 * k] + near_gain * h.re);
        near[2 * k + 1] = Saturate32(near[2 * k + 1] - near_gain * h.im);
      }
      if (far_gain != 0) {
        const Complex h = Turn(HistoryAt(ec, ec.far_delay, k), ec.turn_cos, ec.turn_sin);
        far[2 * k] = Saturate32(far[2 * k] + far_gain * h.re);
        far[2 * k + 1] = Saturate32(far[2 * k + 1] - far_gain * h.im);
      }
    }
  }
}

}  // namespace pump::v32
