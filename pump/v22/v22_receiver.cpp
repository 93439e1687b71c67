#include "pump/v22/v22_receiver.h"

#include <algorithm>
#include <cstdlib>

#include "pump/core/dp_status.h"
#include "pump/core/host_interface.h"
#include "pump/core/sine_oscillator.h"
#include "pump/framer/framer.h"
#include "pump/v22/v22_tables.h"
#include "pump/v22/v22_tx_states.h"

namespace pump {
namespace {

constexpr std::int32_t kTapMax = 0x7FFF7FFF;
constexpr std::int32_t kTapMin = static_cast<std::int32_t>(0x80008001u);
constexpr std::int32_t kInner = 1843;
constexpr std::int32_t kOuter = 5529;
constexpr std::int32_t kOuterThreshold = 3685;
constexpr std::int32_t kPresent = 0x500000;
constexpr std::int32_t kAbsent = 0x700001;
constexpr std::int32_t kPatternRun = 24;
constexpr std::int32_t kPatternMax = 128;
constexpr std::int32_t kOnesMax = 900;
constexpr std::int16_t kTimingStep = 77;  // mu's step when the timing phase wraps

std::int16_t Sat16(std::int64_t x) {
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(x, -32768, 32767));
}
std::int32_t Sat32(std::int64_t x) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(x, INT32_MIN, INT32_MAX));
}
std::int32_t SatTap(std::int64_t x) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(x, kTapMin, kTapMax));
}
std::int32_t High(std::int32_t tap) { return static_cast<std::int32_t>((std::int64_t{tap} + 0x8000) >> 16); }
std::int32_t Power(std::int32_t i, std::int32_t q) {  // a square that overflows counts as the largest
  return Sat32(std::int64_t{i} * i + std::int64_t{q} * q);
}

struct Quadrant {
  std::int16_t i;
  std::int16_t q;
  std::uint16_t point;
};
// The 4-point decisions: point 1 of each quadrant.
constexpr V22Decision kFourPoints[4] = {
    {0, 5529, 1843, 6496}, {4, -1843, 5529, 6496}, {12, 1843, -5529, 6496}, {8, -5529, -1843, 6496}};

// The quadrant's index by the signs of I and Q, and the transmitter's
// position bits of (|I| outer, |Q| outer) rotated into the first quadrant.
std::uint16_t QuadrantOf(bool i_negative, bool q_negative) {
  if (!i_negative && !q_negative) return 0;
  if (i_negative && !q_negative) return 4;
  if (i_negative && q_negative) return 8;
  return 12;
}

void Interrupt(DspContext& context) { WriteDspReg(*context.host, kRegDpInterrupt, 1); }

// Baseband filter over the interpolated histories, then the AGC's scaling.
void FilterAndScale(V22RxRecord& rx) {
  const auto& taps = v22::kBasebandFilter;
  std::int64_t si = 0;
  std::int64_t sq = 0;
  const int base = rx.history_index;
  for (int k = 0; k < kV22FilterTaps; ++k) {
    si += std::int64_t{taps[static_cast<std::size_t>(k)]} * rx.history_i[base + k];
    sq += std::int64_t{taps[static_cast<std::size_t>(k)]} * rx.history_q[base + k];
  }
  const std::int32_t i = Sat16(si >> 15);
  const std::int32_t q = Sat16(sq >> 15);
  rx.filtered_power += (Power(i, q) - rx.filtered_power) >> 3;
  rx.filtered_i = V22AgcScale(rx, i);
  rx.filtered_q = V22AgcScale(rx, q);
}

void EqualiserOutput(V22RxRecord& rx) {
  std::int64_t re = 0;
  std::int64_t im = 0;
  for (int k = 0; k < kV22EqualiserTaps; ++k) {
    const std::int32_t tr = High(rx.tap_re[k]);
    const std::int32_t ti = High(rx.tap_im[k]);
    const std::int32_t xi = rx.line_i[rx.line_index + k];
    const std::int32_t xq = rx.line_q[rx.line_index + k];
    re += std::int64_t{tr} * xi - std::int64_t{ti} * xq;
    im += std::int64_t{tr} * xq + std::int64_t{ti} * xi;
  }
  rx.equalised_i = Sat16((re + 0x4000) >> 15);
  rx.equalised_q = Sat16((im + 0x4000) >> 15);
}

// Derotation by the carrier phase, the decision, the error and the phase error.
void Decide(V22RxRecord& rx) {
  const CosSin cs = SineOscillator(static_cast<std::uint16_t>(rx.carrier_phase));
  rx.carrier_cos = cs.cos;
  rx.carrier_sin = cs.sin;
  const std::int32_t zi = rx.equalised_i;
  const std::int32_t zq = rx.equalised_q;
  rx.derotated_i = Sat16((zi * cs.cos - zq * cs.sin + 0x4000) >> 15);
  rx.derotated_q = Sat16((zq * cs.cos + zi * cs.sin + 0x4000) >> 15);
  const V22Decision d = V22Decide((rx.control & kV22SixteenPoint) != 0, rx.derotated_i, rx.derotated_q);
  rx.point = d.point;
  rx.decided_i = d.i;
  rx.decided_q = d.q;
  rx.point_weight = d.weight;
  rx.error_i = Sat16(std::int32_t{d.i} - rx.derotated_i);
  rx.error_q = Sat16(std::int32_t{d.q} - rx.derotated_q);
  const std::int32_t distance = Power(rx.error_i, rx.error_q);
  rx.decision_error += (distance / 2 - rx.decision_error) >> 3;
  const std::int64_t cross =
      (std::int64_t{d.q} * rx.derotated_i - std::int64_t{rx.derotated_q} * d.i) >> 15;
  const std::int64_t w = d.weight;
  rx.phase_error = Sat16((((cross << 9) * w >> 15) * w) >> 15);
}

void BackRotate(V22RxRecord& rx) {
  const std::int32_t ei = rx.error_i;
  const std::int32_t eq = rx.error_q;
  rx.back_error_i = Sat16((ei * rx.carrier_cos + eq * rx.carrier_sin + 0x4000) >> 15);
  rx.back_error_q = Sat16((eq * rx.carrier_cos - ei * rx.carrier_sin + 0x4000) >> 15);
}

void UpdateEqualiser(V22RxRecord& rx) {
  const std::int32_t b = (rx.back_error_i * rx.equaliser_step + 0x4000) >> 15;
  const std::int32_t c = (rx.back_error_q * rx.equaliser_step + 0x4000) >> 15;
  for (int k = 0; k < kV22EqualiserTaps; ++k) {
    const std::int64_t xi = rx.line_i[rx.line_index + k];
    const std::int64_t xq = rx.line_q[rx.line_index + k];
    rx.tap_re[k] = SatTap(rx.tap_re[k] + 2 * (b * xi + c * xq));
    rx.tap_im[k] = SatTap(rx.tap_im[k] + 2 * (c * xi - b * xq));
  }
}

void CarrierLoop(V22RxRecord& rx) {
  rx.carrier_integrator = SatTap(rx.carrier_integrator + 2 * std::int64_t{rx.phase_error} * rx.g1);
  const std::int64_t step =
      ((std::int64_t{rx.carrier_integrator} + 0x8000) >> 16) * 2730 + std::int64_t{rx.phase_error} * rx.g2;
  const std::int32_t doubled = Sat32(2 * step);
  rx.carrier_phase = static_cast<std::int16_t>(
      static_cast<std::uint16_t>(rx.carrier_phase) + static_cast<std::uint16_t>((std::int64_t{doubled} + 0x8000) >> 16));
}

void Restart(DspContext& context, std::int32_t index) {
  SetStateMachine(context.v22.rx_machine, StateOp::kRestartAt, {}, index);
}

// The level of the filtered sample, the gain it needs, signal presence
// and carrier loss, and the AGC's adaptation.
void Agc(DspContext& context) {
  V22RxRecord& rx = context.v22.rx;
  const std::int32_t ai = std::abs(std::int32_t{rx.filtered_i});
  const std::int32_t aq = std::abs(std::int32_t{rx.filtered_q});
  const std::int32_t m = std::min(ai + aq - std::min(ai, aq) / 2, 32767);
  // The weights add up to more than one (the level settles at 1.6 m): held at 32766.
  rx.level = static_cast<std::int16_t>(std::min((rx.level * 0x7000 + m * 6656) >> 15, 32766));
  std::int64_t gain = std::int64_t{rx.mantissa} * rx.agc_target / (rx.level + 1);
  if (rx.exponent > 0) gain <<= rx.exponent;
  if (gain < kPresent) {
    rx.status |= kV22SignalPresent;
    rx.loss_countdown = kV22LossSymbols;
  } else if (gain >= kAbsent) {
    gain = kAbsent;
    rx.status = static_cast<std::uint16_t>(rx.status & ~kV22SignalPresent);
    if ((rx.control & kV22CarrierLossCount) != 0 && --rx.loss_countdown <= 0) {
      rx.control = static_cast<std::uint16_t>(rx.control & ~kV22CarrierLossCount);
      Restart(context, kV22RxEndIndex);
    }
  }
  rx.required_gain = static_cast<std::int32_t>(gain);
  if ((rx.control & kV22AgcAdapt) == 0) return;
  std::int32_t mantissa = rx.mantissa + (((rx.level - rx.agc_target) * rx.agc_step) >> 15);
  mantissa = std::clamp(mantissa, 1536, 32767);
  if (mantissa > 0x6000 && rx.exponent < 14) {
    ++rx.exponent;
    mantissa /= 2;
  } else if (mantissa < 0x3000 && rx.exponent >= -9) {
    --rx.exponent;
    mantissa *= 2;
  }
  rx.mantissa = static_cast<std::int16_t>(mantissa);
}

void PushLine(V22RxRecord& rx) {
  rx.line_index = static_cast<std::int16_t>((rx.line_index + kV22EqualiserTaps - 1) % kV22EqualiserTaps);
  rx.line_i[rx.line_index] = rx.line_i[rx.line_index + kV22EqualiserTaps] = rx.filtered_i;
  rx.line_q[rx.line_index] = rx.line_q[rx.line_index + kV22EqualiserTaps] = rx.filtered_q;
}

// Unscrambled ones turn the symbol by 270 degrees (two symbols: 180); S1
// by +-90 alternately (two symbols: back where it was).
void PatternDetectors(V22RxRecord& rx) {
  const int n = rx.line_index;  // the newest entry; older ones follow it
  const std::int32_t i0 = rx.line_i[n], q0 = rx.line_q[n];
  const std::int32_t i1 = rx.line_i[n + 1], q1 = rx.line_q[n + 1];
  const std::int32_t i4 = rx.line_i[n + 4], q4 = rx.line_q[n + 4];
  rx.sum_power += (Power(i0 + i1, q0 + q1) - rx.sum_power) >> 2;
  rx.older_sum_power += (Power(i0 + i4, q0 + q4) - rx.older_sum_power) >> 2;
  rx.difference_power += (Power(i4 - i0, q4 - q0) - rx.difference_power) >> 2;
  const bool present = (rx.status & kV22SignalPresent) != 0;
  const std::int32_t quarter = rx.sum_power / 4;
  if (present && rx.older_sum_power < quarter) {
    rx.unscrambled_ones = std::min(rx.unscrambled_ones + 1, kPatternMax);
    if (rx.unscrambled_ones > kPatternRun) rx.status |= kV22UnscrambledOnes;
  } else {
    rx.unscrambled_ones = 0;
    rx.status = static_cast<std::uint16_t>(rx.status & ~kV22UnscrambledOnes);
  }
  if (present && rx.difference_power < quarter) {
    rx.s1_count = static_cast<std::uint16_t>(std::min<std::int32_t>(rx.s1_count + 1, kPatternMax));
    if (rx.s1_count > kPatternRun) {
      rx.s1_latched = 1;
      rx.status |= kV22S1Present;
    }
  } else {
    rx.s1_count = 0;
    rx.status = static_cast<std::uint16_t>(rx.status & ~kV22S1Present);
  }
}

void CountOnes(V22RxRecord& rx) {
  for (int k = 0; k < rx.bits_per_symbol; ++k) {
    if (((rx.descrambled >> k) & 1u) != 0) {
      rx.decoded_ones = std::min(rx.decoded_ones + 1, kOnesMax);
    } else {
      rx.decoded_ones = 0;
    }
  }
  if (rx.decoded_ones > 32 && (rx.control & kV22SixteenPoint) != 0) rx.status |= kV22Ones32In16Point;
  if (rx.decoded_ones > 64) rx.status |= kV22Ones64;
}

// The quadrant change to the first bit pair: 0 degrees 01, 90 00, 180 10, 270 11.
constexpr std::uint32_t kChangeBits[4] = {1, 0, 2, 3};

void Decode(DspContext& context) {
  V22RxRecord& rx = context.v22.rx;
  const std::uint16_t quadrant = rx.point & 12u;
  const std::uint32_t change = ((quadrant - rx.previous_quadrant) & 12u) >> 2;
  rx.previous_quadrant = quadrant;
  rx.decoded = static_cast<std::uint16_t>(kChangeBits[change] << 2 | (rx.point & 3u));
  rx.descrambled = V22Descramble(rx, rx.decoded, rx.bits_per_symbol);
  if ((rx.control & kV22Deliver) != 0) FramerPutRxBits(context, rx.bits_per_symbol, rx.descrambled);
}

std::int16_t Mul15(std::int32_t a, std::int32_t b) { return Sat16((std::int64_t{a} * b) >> 15); }

// Correlation phasors 0.5 e^(-j pi k / 4).
constexpr std::int16_t kPhasorRe[8] = {16384, 11586, 0, -11586, -16384, -11586, 0, 11586};
constexpr std::int16_t kPhasorIm[8] = {0, -11586, -16384, -11586, 0, 11586, 16384, 11586};

void TimingCorrelation(V22RxRecord& rx) {
  const int k = rx.tap_position;
  const std::int32_t tr = High(rx.tap_re[k]);
  const std::int32_t ti = High(rx.tap_im[k]);
  const std::int32_t pr = kPhasorRe[k % 8];
  const std::int32_t pi = kPhasorIm[k % 8];
  // X += p tap, Y += conj(p) tap; 16-bit sums.
  rx.x_re = static_cast<std::int16_t>(rx.x_re + ((pr * tr - pi * ti) >> 15));
  rx.x_im = static_cast<std::int16_t>(rx.x_im + ((pr * ti + pi * tr) >> 15));
  rx.y_re = static_cast<std::int16_t>(rx.y_re + ((pr * tr + pi * ti) >> 15));
  rx.y_im = static_cast<std::int16_t>(rx.y_im + ((pr * ti - pi * tr) >> 15));
  if (++rx.tap_position < kV22EqualiserTaps) return;
  rx.tap_position = 0;
  rx.c = Mul15(rx.n1, rx.x_im);
  rx.d = Mul15(rx.n1, rx.x_re);
  rx.f = Mul15(rx.n2, rx.y_im);
  rx.g = Mul15(rx.n2, rx.y_re);
  rx.n1 = Sat16(std::int32_t{rx.n1} + 4096 - ((rx.c * rx.c) >> 15) - ((rx.d * rx.d) >> 15));
  rx.n2 = Sat16(std::int32_t{rx.n2} + 4096 - ((rx.f * rx.f) >> 15) - ((rx.g * rx.g) >> 15));
  const std::int32_t m = (rx.c * rx.reference_q + rx.d * rx.reference_i) >> 15;
  const std::int32_t l = (rx.c * rx.reference_i - rx.d * rx.reference_q) >> 15;
  if (rx.timing_enable != 0) {
    // Turned against the formula taken as written: our delay line's taps
    // age with their index (as in V22LoadInitialTaps), which reverses the
    // phase slope a timing shift gives the correlations; unturned, the loop
    // fed back its own error and ran away within seconds with a 1 Hz
    // carrier offset.
    rx.timing_error = Sat16(-4 * ((rx.f * m - rx.g * l) >> 15));
    rx.timing_integrator = Sat32(rx.timing_integrator + ((std::int32_t{rx.gain_b} * rx.timing_error) >> 15));
  }
  rx.x_re = rx.x_im = rx.y_re = rx.y_im = 0;
}

void WatchS1(DspContext& context) {
  V22RxRecord& rx = context.v22.rx;
  V22TxRecord& tx = context.v22.tx;
  if (rx.s1_latched == 0 || (rx.control & kV22WatchS1) == 0 || tx.retrain_started != 0) return;
  tx.retrain_started = 1;
  SetDpStatus(*context.host, kStatusRetraining, true);
  Interrupt(context);
  SetStateMachine(context.v22.tx_machine, StateOp::kGo, V22RetrainTable());
  // Left as they were, the receiver decided 16 points on the far end's
  // 1200 bit/s signal and took the old ones for new ones.
  V22ForgetTraining(rx);
  Restart(context, kV22RxUsb1OffIndex);
}

void Step(DspContext& context) {
  V22RxRecord& rx = context.v22.rx;
  const bool decode = (rx.control & kV22Decode) != 0;
  switch (rx.tick) {
    case 0:
      FilterAndScale(rx);
      EqualiserOutput(rx);
      break;
    case 1:
      Decide(rx);
      Agc(context);
      break;
    case 2:
      BackRotate(rx);
      break;
    case 3:
      UpdateEqualiser(rx);
      break;
    case 4:
    case 12:
      FilterAndScale(rx);
      PushLine(rx);
      break;
    case 5:
    case 13:
      PatternDetectors(rx);
      break;
    case 8:
      FilterAndScale(rx);
      break;
    case 9:
      if (decode) {
        CountOnes(rx);
        CarrierLoop(rx);
      }
      break;
    case 10:
      if (decode) Decode(context);
      break;
    case 14:
      if ((rx.control & kV22TimingCorrelation) != 0) TimingCorrelation(rx);
      break;
    case 15:
      WatchS1(context);
      break;
    default:
      break;
  }
}

void Mix(V22RxRecord& rx) {
  rx.oscillator_phase = static_cast<std::int16_t>(static_cast<std::uint16_t>(rx.oscillator_phase) +
                                                  static_cast<std::uint16_t>(rx.oscillator_increment));
  const CosSin cs = SineOscillator(static_cast<std::uint16_t>(rx.oscillator_phase));
  rx.oscillator_cos = cs.cos;
  rx.oscillator_sin = cs.sin;
  rx.sample = rx.ring[rx.ring_read & 15];
  rx.ring_read = static_cast<std::int16_t>((rx.ring_read + 1) & 15);
  const std::int32_t i = (cs.cos * rx.sample) >> 15;
  const std::int32_t q = -((cs.sin * rx.sample) >> 15);
  rx.mixer_index = static_cast<std::uint16_t>((rx.mixer_index + 3) % 4);
  rx.mixed_i[rx.mixer_index] = rx.mixed_i[rx.mixer_index + 4] = static_cast<std::int16_t>(i);
  rx.mixed_q[rx.mixer_index] = rx.mixed_q[rx.mixer_index + 4] = static_cast<std::int16_t>(q);
  rx.mixer_power += (i * i + q * q - rx.mixer_power) >> 8;
}

// Quadratic weights over the three newest mixed samples: the oldest
// (1 - x)^2 / 2, the middle 1/2 + x - x^2, the newest x^2 / 2, x = mu / 23100.
// The point they give moves on smoothly through mu's wraps.
void Interpolate(V22RxRecord& rx) {
  const std::int32_t mu = rx.mu;
  const std::int32_t w0 = (mu * mu) >> 15;
  const std::int32_t c = ((mu * kV22SampleFraction) >> 15) << 1;
  rx.w0 = static_cast<std::int16_t>(w0);
  rx.w2 = static_cast<std::int16_t>(w0 - c + 16285);
  rx.w1 = static_cast<std::int16_t>(c - 2 * w0 + 16285);
  const int n = rx.mixer_index;
  const auto weigh = [&](const std::int16_t* x) {
    return Sat16(((rx.w2 * x[n + 2]) >> 15) + ((rx.w1 * x[n + 1]) >> 15) + ((rx.w0 * x[n]) >> 15));
  };
  rx.history_index = (rx.history_index + kV22FilterTaps - 1) % kV22FilterTaps;
  rx.history_i[rx.history_index] = rx.history_i[rx.history_index + kV22FilterTaps] = weigh(rx.mixed_i);
  rx.history_q[rx.history_index] = rx.history_q[rx.history_index + kV22FilterTaps] = weigh(rx.mixed_q);
}

void AdvanceTiming(V22RxRecord& rx) {
  rx.previous_timing_phase = rx.timing_phase;
  std::int32_t phase = rx.timing_phase + ((8192 * rx.timing_integrator) >> 15) +
                       ((std::int32_t{rx.gain_a} * rx.timing_error) >> 15);
  if (phase > 32767) {
    phase -= 32767;
    rx.mu = static_cast<std::int16_t>(rx.mu + kTimingStep);
  } else if (phase < 0) {
    phase += 32767;
    rx.mu = static_cast<std::int16_t>(rx.mu - kTimingStep);
  }
  rx.timing_phase = Sat16(phase);
}

void Acquire(V22RxRecord& rx) {
  if ((rx.control & kV22Acquisition) == 0 || rx.acquisition_countdown <= 0) return;
  --rx.acquisition_countdown;
  if (rx.tick % 4 != 0) return;
  const std::int32_t i = rx.filtered_i;
  const std::int32_t q = rx.filtered_q;
  const std::int32_t p = (i * i / 2 + q * q / 2) >> 15;
  switch (rx.tick) {
    case 0: rx.acquisition_a = Sat16(std::int32_t{rx.acquisition_a} + p); break;
    case 4: rx.acquisition_b = Sat16(std::int32_t{rx.acquisition_b} + p); break;
    case 8: rx.acquisition_a = Sat16(std::int32_t{rx.acquisition_a} - p); break;
    default: rx.acquisition_b = Sat16(std::int32_t{rx.acquisition_b} - p); break;
  }
}

void Tick(DspContext& context) {
  V22RxRecord& rx = context.v22.rx;
  if (rx.mu < 0) {
    rx.mu = static_cast<std::int16_t>(rx.mu + kV22SampleFraction);
  } else {
    if (rx.mu > kV22SampleFraction) {
      rx.mu = static_cast<std::int16_t>(rx.mu - kV22SampleFraction);
      Mix(rx);
      --rx.credit;
    }
    Mix(rx);
    --rx.credit;
  }
  Interpolate(rx);
  Step(context);
  AdvanceTiming(rx);
  Acquire(rx);
  rx.tick = static_cast<std::uint16_t>((rx.tick + 1) % kV22TicksPerSymbol);
}

}  // namespace

V22Decision V22Decide(bool sixteen, std::int16_t i, std::int16_t q) {
  if (!sixteen) {
    V22Decision best = kFourPoints[0];
    std::int64_t nearest = INT64_MAX;
    for (const V22Decision& p : kFourPoints) {
      const std::int64_t di = std::int64_t{p.i} - i;
      const std::int64_t dq = std::int64_t{p.q} - q;
      if (di * di + dq * dq < nearest) {
        nearest = di * di + dq * dq;
        best = p;
      }
    }
    return best;
  }
  const bool i_outer = std::abs(std::int32_t{i}) > kOuterThreshold;
  const bool q_outer = std::abs(std::int32_t{q}) > kOuterThreshold;
  const std::uint16_t quadrant = QuadrantOf(i < 0, q < 0);
  // In the first quadrant bit 0 is I outer, bit 1 Q outer; each quarter
  // turn swaps the roles of I and Q.
  const bool swapped = quadrant == 4 || quadrant == 12;
  const bool first_outer = swapped ? q_outer : i_outer;
  const bool second_outer = swapped ? i_outer : q_outer;
  const std::uint16_t position = static_cast<std::uint16_t>((first_outer ? 1 : 0) | (second_outer ? 2 : 0));
  const std::int16_t weight = i_outer && q_outer ? 4842 : (i_outer || q_outer ? 6496 : 14526);
  const auto coordinate = [](bool negative, bool outer) {
    const std::int32_t v = outer ? kOuter : kInner;
    return static_cast<std::int16_t>(negative ? -v : v);
  };
  return {static_cast<std::uint16_t>(quadrant | position), coordinate(i < 0, i_outer),
          coordinate(q < 0, q_outer), weight};
}

std::uint32_t V22Descramble(V22RxRecord& rx, std::uint32_t group, int bits) {
  std::uint32_t out = 0;
  for (int k = 0; k < bits; ++k) {
    const std::uint32_t bit = (group >> (3 - k)) & 1u;
    std::uint32_t o = bit ^ (rx.descrambler & 1u) ^ ((rx.descrambler >> 3) & 1u);
    if (rx.ones == 64) {
      o ^= 1u;
      rx.ones = 0;
    }
    rx.descrambler = (rx.descrambler >> 1) | (bit << 16);
    rx.ones = bit != 0 ? static_cast<std::uint16_t>(rx.ones + 1) : 0;
    out = (out >> 1) | (o << 3);
  }
  return bits == 2 ? out >> 2 : out;
}

std::int16_t V22AgcScale(const V22RxRecord& rx, std::int32_t x) {
  if (rx.exponent > 0) {
    const std::int64_t shifted = std::int64_t{x} << (rx.exponent - 1);
    return Sat16(((shifted * rx.mantissa) >> 15) << 1);
  }
  return Sat16(((x >> -rx.exponent) * std::int64_t{rx.mantissa}) >> 15);
}

void V22LoadInitialTaps(V22RxRecord& rx) {
  std::fill(std::begin(rx.tap_re), std::end(rx.tap_re), 0);
  std::fill(std::begin(rx.tap_im), std::end(rx.tap_im), 0);
  const std::int32_t a = (rx.acquisition_a * 23170) >> 15;  // 0.707
  // B with its sign turned: the delay line's taps age with their index, so
  // a symbol peak that comes later sits at a lower tap, while the rule below
  // moves to higher taps as the peak's phase (B against A) grows; without
  // the turn one timing phase in four started on the sample between two
  // symbols and never trained.
  const std::int32_t b = -((rx.acquisition_b * 23170) >> 15);
  // Real taps: a start turned by 45 degrees would put the 4-point
  // constellation on its decision boundaries, and training by decisions
  // would not converge from there.
  const auto set = [&](int k, std::int32_t v) { rx.tap_re[k] = v; };
  if (a - b >= 0) {
    set(9, 0x60000000);
    if (a + b >= 0) set(10, 0x60000000);
  } else if (a + b < 0) {
    set(8, 0x30000000);
    set(9, 0x30000000);
  } else {
    set(8, 0x60000000);
  }
}

void V22TakeTimingReference(V22RxRecord& rx) {
  rx.reference_i = Sat16(4 * ((std::int32_t{rx.c} * rx.f + std::int32_t{rx.g} * rx.d) >> 15));
  rx.reference_q = Sat16(4 * ((std::int32_t{rx.c} * rx.g - std::int32_t{rx.f} * rx.d) >> 15));
}

void V22ForgetTraining(V22RxRecord& rx) {
  rx.control = kV22AgcAdapt;
  rx.bits_per_symbol = 2;
  rx.status = static_cast<std::uint16_t>(rx.status & ~(kV22Ones64 | kV22Ones32In16Point));
  rx.decoded_ones = 0;
  rx.signal_blocks = 0;
  // The timing loop followed that signal too: off and at rest, as at the start.
  rx.timing_integrator = 0;
  rx.timing_error = 0;
  rx.timing_enable = 0;
  rx.gain_a = rx.gain_b = 0;
  rx.n1 = rx.n2 = 0;
  rx.x_re = rx.x_im = rx.y_re = rx.y_im = 0;
  rx.c = rx.d = rx.f = rx.g = 0;
  rx.reference_i = rx.reference_q = 0;
  rx.tap_position = 0;
}

void V22ReceiveSamples(DspContext& context, std::span<const std::int16_t> samples) {
  V22RxRecord& rx = context.v22.rx;
  for (const std::int16_t s : samples) {
    rx.ring[rx.ring_write & 15] = s;
    rx.ring_write = static_cast<std::int16_t>((rx.ring_write + 1) & 15);
    ++rx.credit;
    while (rx.credit > 0) Tick(context);
  }
}

}  // namespace pump
