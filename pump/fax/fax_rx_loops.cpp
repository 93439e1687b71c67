#include "pump/fax/fax_rx_loops.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

#include "pump/detect/saturate.h"

namespace pump {
namespace {

constexpr std::array<std::int16_t, 64> kReciprocals = [] {
  std::array<std::int16_t, 64> t{};
  for (int k = 0; k < 64; ++k) t[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(k == 0 ? 32767 : std::min(32767, 262144 / k));
  return t;
}();

std::int64_t Magnitude(std::int64_t i, std::int64_t q) {
  const std::int64_t x = std::llabs(i);
  const std::int64_t y = std::llabs(q);
  return x + y - std::min(x, y) / 2;
}

}  // namespace

std::int32_t FaxReciprocal(std::int32_t m) {
  std::int32_t index = std::max(0, m) >> 7;
  int halvings = 0;
  while (index >= 32) {
    index >>= 1;
    ++halvings;
  }
  return kReciprocals[static_cast<std::size_t>(index)] >> halvings;
}

void FaxJitterPredict(FaxRxRecord& rx) {
  if (rx.enables.jitter_tracking == 0) {
    rx.prediction = rx.previous_prediction = rx.raw_prediction = rx.previous_raw_prediction = 0;
    return;
  }
  rx.previous_prediction = rx.prediction;
  if ((rx.symbol_parity & 1) == 0) {
    std::int64_t t = 0;
    for (int j = 0; j < kFaxJitterTaps; ++j) {
      t += std::int64_t{rx.jitter_coeff[j]} * rx.jitter_history[rx.jitter_index + j + 1];
    }
    rx.previous_raw_prediction = rx.raw_prediction;
    rx.raw_prediction = Saturate32(t >> 2);
    rx.prediction = Saturate32((std::int64_t{rx.raw_prediction} + rx.previous_raw_prediction) / 2);
  } else {
    rx.prediction = rx.raw_prediction;
  }
}

void FaxLoops(FaxRxRecord& rx) {
  const std::int64_t ei = std::int64_t{rx.y_i} - rx.d_i;
  const std::int64_t eq = std::int64_t{rx.y_q} - rx.d_q;
  const std::int64_t n = FaxReciprocal(static_cast<std::int32_t>(std::min<std::int64_t>(Magnitude(rx.d_i, rx.d_q), 0x7FFFFFFF)));
  if (rx.enables.adaptation != 0 && rx.valid != 0) {
    rx.error_average = Saturate32(rx.error_average + ((std::llabs(ei) + std::llabs(eq) - rx.error_average) >> 4));
  }
  const std::int64_t fi = (n * rx.d_i) >> 11;
  const std::int64_t fq = (n * rx.d_q) >> 11;
  const std::int64_t h = std::clamp<std::int64_t>((eq * fi - ei * fq + 256) >> 11, -0x7FFF, 0x7FFF);
  const std::int64_t a = std::clamp<std::int64_t>((eq * fq + ei * fi + 256) >> 11, -0x7FFF, 0x7FFF);
  if (rx.valid != 0 && rx.enables.carrier_loop != 0) {
    rx.carrier_frequency = Saturate32(rx.carrier_frequency - ((h * (rx.frequency_gain >> 16)) >> rx.frequency_shift));
    rx.carrier_phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(rx.carrier_phase) -
                                                 static_cast<std::uint32_t>((h * (rx.phase_gain >> 16) + 128) >> rx.phase_shift));
  }
  if (rx.valid != 0 && rx.enables.amplitude_loop != 0 && rx.amplitude_shift != 0) {
    const std::int64_t c = rx.correction2 - ((a << rx.amplitude_shift) + (rx.correction2 >> 10));
    rx.correction2 = static_cast<std::int32_t>(std::clamp<std::int64_t>(c, -0x40000000, 0x40000000));
  }
  rx.previous_phase_error = rx.phase_error;
  rx.phase_error = rx.valid != 0 ? static_cast<std::int32_t>((h * n) >> 15) : 0;
  std::uint32_t phase = static_cast<std::uint32_t>(rx.carrier_phase) + static_cast<std::uint32_t>(rx.carrier_frequency >> 5);
  if (rx.enables.jitter_tracking != 0) {
    phase += static_cast<std::uint32_t>(rx.prediction - rx.previous_prediction);
  }
  rx.carrier_phase = static_cast<std::int32_t>(phase);
}

void FaxJitterAdapt(FaxRxRecord& rx) {
  const bool second = (rx.symbol_parity & 1) == 0;
  const std::int64_t p = std::llabs(rx.phase_error);
  if (rx.enables.jitter_adaptation != 0) {
    rx.phase_error_average = Saturate32(rx.phase_error_average + ((p * 512 - rx.phase_error_average) >> 7));
    if (second && rx.valid != 0) {
      if (p < (rx.phase_error_average >> 15) + 64) {
        const std::int64_t e = (std::int64_t{rx.phase_error} + rx.previous_phase_error) >> 15;
        const std::int64_t g = -(((e * (rx.jitter_gain >> 15)) >> 15) >> rx.jitter_shift);
        for (int j = 0; j < kFaxJitterTaps; ++j) {
          const std::int64_t c = rx.jitter_coeff[j] + ((g * rx.jitter_history[rx.jitter_index + j]) >> 4);
          rx.jitter_coeff[j] = static_cast<std::int16_t>(std::clamp<std::int64_t>(c, -0x4000, 0x4000));
        }
      } else {
        rx.phase_error_average = Saturate32(rx.phase_error_average + (rx.phase_error_average >> 4));
      }
      // Conditioning of one coefficient: towards its neighbours' curve,
      // away from a common offset, and pulled 16 toward zero.
      const int i = rx.jitter_index;
      const std::int64_t ci = rx.jitter_coeff[i];
      rx.coeff_mean = Saturate32(rx.coeff_mean + ((ci * 65536 - rx.coeff_mean) >> 10));
      const std::int64_t left = i > 0 ? rx.jitter_coeff[i - 1] : 0;
      const std::int64_t right = i + 1 < kFaxJitterTaps ? rx.jitter_coeff[i + 1] : 0;
      const std::int64_t curve = left - 2 * ci + right;
      std::int64_t c = ((curve - ci + 16) >> 5) - (rx.coeff_mean >> 16) + ci + 32;
      c += c > 0 ? -16 : 16;
      rx.jitter_coeff[i] = static_cast<std::int16_t>(std::clamp<std::int64_t>(c, -0x4000, 0x4000));
    } else {
      const std::int64_t g = rx.jitter_gain - ((((std::int64_t{rx.jitter_gain} >> 16) * (rx.history_power >> 16)) >> 16) + 2048);
      rx.jitter_gain = static_cast<std::int32_t>(std::clamp<std::int64_t>(g, 0x800000, 0x40000000));
    }
  }
  const std::int32_t previous_sample = rx.jitter_sample;
  rx.jitter_sample = p < (rx.phase_error_average >> 14) + 128 ? (rx.prediction >> 16) - rx.phase_error : rx.prediction >> 16;
  if (second) {
    rx.jitter_index = (rx.jitter_index + 1) % kFaxJitterTaps;
    const std::int64_t w = std::clamp<std::int64_t>(std::int64_t{rx.jitter_sample} + previous_sample - (rx.history_mean >> 16), -32768, 32767);
    rx.jitter_history[rx.jitter_index] = rx.jitter_history[rx.jitter_index + kFaxJitterTaps] = static_cast<std::int16_t>(w);
    rx.history_mean = Saturate32(rx.history_mean + ((w * 256 - rx.history_mean) >> 10));
    if (rx.enables.jitter_adaptation != 0) {
      rx.history_power = Saturate32(rx.history_power + ((std::llabs(w) * 2048 - rx.history_power) >> 5));
    }
  }
}

}  // namespace pump
