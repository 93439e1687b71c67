#include "pump/fax/fax_rx_front_end.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "pump/core/sine_oscillator.h"
#include "pump/detect/saturate.h"
#include "pump/fax/fax_area.h"

namespace pump {
namespace {

// V.29's carrier: 1700 Hz as 65536ths of a turn per sample, turned back.
constexpr std::uint16_t kV29DemodStep = static_cast<std::uint16_t>(-11605);
constexpr int kSineSteps1800 = 12;  // 64ths of a turn per sample at 1800 Hz

// The gain's mantissa thresholds (low 16 bits clear) against dB.
constexpr std::array<std::uint32_t, 12> kMantissaDb = {0x3C460000, 0x35B80000, 0x2FE10000, 0x2AAC0000,
                                                       0x26080000, 0x21E50000, 0x1E350000, 0x1AED0000,
                                                       0x17FF0000, 0x15630000, 0x13100000, 0x10FD0000};

}  // namespace

std::int16_t FaxDcRemove(FaxDcState& state, std::int16_t x) {
  const std::int64_t a = std::int64_t{x} * 16384 - 3 * std::int64_t{state.t2} - 3 * std::int64_t{state.t1};
  state.t1 = Saturate32(state.t1 + (a >> 4));
  state.t2 = Saturate32(state.t2 + state.t1 / 8);
  return Saturate16(a >> 14);
}

void FaxDemodulate(FaxRxRecord& rx, std::span<const std::int16_t> samples) {
  const std::size_t room = static_cast<std::size_t>(kFaxDemodSamples - rx.demod_fill);
  samples = samples.first(std::min(samples.size(), room));
  for (const std::int16_t x : samples) {
    std::int32_t c;
    std::int32_t s;
    if (rx.modulation == kFaxV29) {
      rx.demod_phase = static_cast<std::uint16_t>(rx.demod_phase + kV29DemodStep);
      const CosSin cs = SineOscillator(rx.demod_phase);
      c = cs.cos;
      s = cs.sin;  // the phase turns backwards: this is -sin wt
    } else {
      rx.demod_phase = static_cast<std::uint16_t>((rx.demod_phase + kSineSteps1800) & 63);
      c = kSineTable[rx.demod_phase + 16u];
      s = -kSineTable[rx.demod_phase];
    }
    rx.demod_i[rx.demod_fill] = static_cast<std::int16_t>((x * c) >> 15);
    rx.demod_q[rx.demod_fill] = static_cast<std::int16_t>((x * s) >> 15);
    ++rx.demod_fill;
  }
}

std::int32_t FaxInterpolate(std::int32_t before, std::int32_t at, std::int32_t after, std::int32_t phase) {
  // Weights in Q15: w+ = mu^2 / 2, w- = (1 - mu)^2 / 2, w0 = 1 - w+ - w-.
  const std::int64_t mu = phase >> 15;  // Q15
  const std::int64_t plus = (mu * mu) >> 16;
  const std::int64_t one_minus = 32768 - mu;
  const std::int64_t minus = (one_minus * one_minus) >> 16;
  const std::int64_t centre = 32768 - plus - minus;
  return static_cast<std::int32_t>((minus * before + centre * at + plus * after) >> 15);
}

void FaxPushInterpolated(FaxRxRecord& rx, std::int32_t i, std::int32_t q) {
  rx.interp_at = (rx.interp_at + 1) % kFaxMatchedTaps;
  const std::int16_t i16 = Saturate16(i);
  const std::int16_t q16 = Saturate16(q);
  rx.interp_i[rx.interp_at] = rx.interp_i[rx.interp_at + kFaxMatchedTaps] = i16;
  rx.interp_q[rx.interp_at] = rx.interp_q[rx.interp_at + kFaxMatchedTaps] = q16;
}

FaxComplex FaxMatchedFilter(const FaxRxRecord& rx) {
  // Entry interp_at + 32 - k is the sample k steps before the newest.
  std::int64_t si = 0;
  std::int64_t sq = 0;
  const int newest = rx.interp_at + kFaxMatchedTaps;
  for (int k = 0; k < kFaxMatchedTaps; ++k) {
    const std::int64_t h = (std::int64_t{rx.matched[k]} * rx.matched_gain) >> 15;
    si += h * rx.interp_i[newest - k];
    sq += h * rx.interp_q[newest - k];
  }
  return {Saturate32(si), Saturate32(sq)};
}

std::int16_t FaxLevelDb(std::int32_t shift, std::int32_t mantissa, std::int16_t receive_gain) {
  const std::uint32_t m = static_cast<std::uint32_t>(mantissa) & 0xFFFF0000u;
  int g = 6;
  for (std::size_t k = 0; k < kMantissaDb.size(); ++k) {
    if (m > kMantissaDb[k]) {
      g = static_cast<int>(k) - 6;
      break;
    }
  }
  return static_cast<std::int16_t>(6 * shift + g - receive_gain - 107);
}

void FaxGainStep(FaxRxRecord& rx, FaxComplex (&pair)[2]) {
  std::int64_t c = 0;
  for (const FaxComplex& p : pair) {
    const std::int64_t x = std::llabs(p.i);
    const std::int64_t y = std::llabs(p.q);
    c += x + y - std::min(x, y) / 2;
  }
  const std::int32_t e = c >= 0x200000 ? 0x7FFF : static_cast<std::int32_t>(c >> 6);
  const std::int32_t gain = rx.gain_mantissa >> 16;
  std::int64_t d = 0;
  for (FaxComplex& p : pair) {
    const std::int64_t xi = std::clamp<std::int64_t>(std::int64_t{p.i} >> rx.gain_shift, -0x7FFF, 0x7FFF);
    const std::int64_t xq = std::clamp<std::int64_t>(std::int64_t{p.q} >> rx.gain_shift, -0x7FFF, 0x7FFF);
    p.i = static_cast<std::int32_t>((gain * xi + 2048) >> 12);
    p.q = static_cast<std::int32_t>((gain * xq + 2048) >> 12);
    const std::int64_t ai = std::llabs(p.i);
    const std::int64_t aq = std::llabs(p.q);
    d += ai + aq - std::min(ai, aq) / 2;
  }
  rx.magnitude = static_cast<std::int32_t>(std::min<std::int64_t>(d, 0x7FFF));
  rx.block_magnitude = Saturate32(std::int64_t{rx.block_magnitude} + rx.magnitude);
  rx.level_average = static_cast<std::int16_t>(std::min(0x7FFF, rx.level_average + ((e - rx.level_average) >> 2)));
  if (rx.level_average < 8192 && rx.gain_shift > 0) --rx.gain_shift;
  if (rx.gain_rate != 0) {
    std::int64_t m = rx.gain_mantissa + ((std::int64_t{rx.gain_rate} >> 16) + 63) * (8192 - rx.magnitude);
    if (m > 0x40000000) {
      if (rx.gain_shift - 1 < 5) {
        rx.gain_shift = 5;
        m = 0x40000000;
      } else {
        --rx.gain_shift;
        m /= 2;
      }
    } else if (m <= 0) {
      m = kFaxGainUnity;
      rx.gain_shift = std::min(16, rx.gain_shift + 4);
    } else if (m < 0x8000000) {
      if (rx.gain_shift < 16) {
        m = m * 4 + 0x8000000;
        rx.gain_shift = std::min(16, rx.gain_shift + 2);
      }
    } else if (m < 0x10000000) {
      if (rx.gain_shift < 16) {
        m *= 2;
        ++rx.gain_shift;
      }
    } else {
      rx.gain_rate -= rx.gain_rate >> rx.gain_rate_decay;
    }
    rx.gain_mantissa = static_cast<std::int32_t>(m);
  }
  rx.level_db = FaxLevelDb(rx.gain_shift, rx.gain_mantissa, rx.receive_gain);
}

}  // namespace pump
