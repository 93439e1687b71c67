#include "pump/fax/fax_rx_equaliser.h"

#include <algorithm>
#include <array>
#include <limits>

#include "pump/core/sine_oscillator.h"
#include "pump/detect/saturate.h"

namespace pump {
namespace {

// x (1 + c / 2^31), rounded, with c used by its high half as a Q15 fraction.
std::int32_t Corrected(std::int32_t x, std::int32_t c) {
  return Saturate32(x + ((std::int64_t{x} * (c >> 16) + 16384) >> 15));
}

std::int64_t PairEnergy(const FaxRxRecord& rx, int at) {
  const auto sq = [](std::int64_t v) { return v * v; };
  return (sq(rx.line_i[at]) + sq(rx.line_q[at]) + sq(rx.line_i[at + 1]) + sq(rx.line_q[at + 1])) >> 5;
}

// 512 cos and sin of 2 pi k / 8.
constexpr std::array<std::int32_t, 8> kCos8 = {512, 362, 0, -362, -512, -362, 0, 362};
constexpr std::array<std::int32_t, 8> kSin8 = {0, 362, 512, 362, 0, -362, -512, -362};

}  // namespace

FaxCosSin FaxCarrier(const FaxRxRecord& rx) {
  const CosSin cs = SineOscillator(static_cast<std::uint16_t>(static_cast<std::uint32_t>(rx.carrier_phase) >> 16));
  return {cs.cos, cs.sin};
}

void FaxEqClear(FaxRxRecord& rx) {
  std::fill(std::begin(rx.tap_i), std::end(rx.tap_i), 0);
  std::fill(std::begin(rx.tap_q), std::end(rx.tap_q), 0);
  std::fill(std::begin(rx.tap_i16), std::end(rx.tap_i16), std::int16_t{0});
  std::fill(std::begin(rx.tap_q16), std::end(rx.tap_q16), std::int16_t{0});
}

void FaxEqPush(FaxRxRecord& rx, const FaxComplex (&pair)[2]) {
  if (rx.reset_pending != 0) {
    std::fill(std::begin(rx.line_i), std::end(rx.line_i), std::int16_t{0});
    std::fill(std::begin(rx.line_q), std::end(rx.line_q), std::int16_t{0});
    rx.write_at = 0;
    rx.energy16 = 0;
    return;
  }
  rx.write_at = (rx.write_at + 2) % kFaxEqTaps;
  // The pair 16 symbols back sits 32 entries behind the write position.
  const int old = (rx.write_at + kFaxEqTaps - 32) % kFaxEqTaps;
  const std::int64_t leaving = PairEnergy(rx, old);
  for (int k = 0; k < 2; ++k) {
    const int at = rx.write_at + k;
    rx.line_i[at] = rx.line_i[at + kFaxEqTaps] = Saturate16(pair[k].i);
    rx.line_q[at] = rx.line_q[at + kFaxEqTaps] = Saturate16(pair[k].q);
  }
  rx.energy16 = Saturate32(std::int64_t{rx.energy16} + PairEnergy(rx, rx.write_at) - leaving);
}

void FaxEqOutput(FaxRxRecord& rx) {
  std::int64_t zi = 0;
  std::int64_t zq = 0;
  for (int k = 0; k < kFaxEqTaps; ++k) {
    const std::int64_t xi = rx.line_i[rx.write_at + k];
    const std::int64_t xq = rx.line_q[rx.write_at + k];
    zi += rx.tap_i16[k] * xi - rx.tap_q16[k] * xq;
    zq += rx.tap_i16[k] * xq + rx.tap_q16[k] * xi;
  }
  std::int32_t i = Corrected(Saturate32((zi + 16384) >> 15), rx.correction1);
  std::int32_t q = Corrected(Saturate32((zq + 16384) >> 15), rx.correction1);
  const FaxCosSin cs = FaxCarrier(rx);
  rx.z_i = Saturate32((cs.c * std::int64_t{i} - cs.s * std::int64_t{q} + 16384) >> 15);
  rx.z_q = Saturate32((cs.s * std::int64_t{i} + cs.c * std::int64_t{q} + 16384) >> 15);
  rx.y_i = Corrected(rx.z_i, rx.correction2);
  rx.y_q = Corrected(rx.z_q, rx.correction2);
}

FaxComplex FaxEqError(const FaxRxRecord& rx) {
  const std::int64_t ei = std::int64_t{rx.z_i} - rx.d_i;
  const std::int64_t eq = std::int64_t{rx.z_q} - rx.d_q;
  const FaxCosSin cs = FaxCarrier(rx);
  const std::int64_t bi = (cs.c * ei + cs.s * eq) >> 15;
  const std::int64_t bq = (cs.c * eq - cs.s * ei) >> 15;
  return {Saturate32((bi * rx.step + 1024) >> 11), Saturate32((bq * rx.step + 1024) >> 11)};
}

void FaxEqAdapt(FaxRxRecord& rx, FaxComplex error) {
  const std::int64_t a = std::clamp<std::int64_t>(-std::int64_t{error.i}, -0x7FFF, 0x7FFF);
  const std::int64_t b = std::clamp<std::int64_t>(-std::int64_t{error.q}, -0x7FFF, 0x7FFF);
  for (int k = 0; k < kFaxEqTaps; ++k) {
    const std::int64_t xi = rx.line_i[rx.write_at + k];
    const std::int64_t xq = rx.line_q[rx.write_at + k];
    rx.tap_i[k] = Saturate32(rx.tap_i[k] + ((a * xi + b * xq + 4) >> 3));
    rx.tap_q[k] = Saturate32(rx.tap_q[k] + ((b * xi - a * xq + 4) >> 3));
    rx.tap_i16[k] = Saturate16((std::int64_t{rx.tap_i[k]} + 0x8000) >> 16);
    rx.tap_q16[k] = Saturate16((std::int64_t{rx.tap_q[k]} + 0x8000) >> 16);
  }
}

void FaxTimingDetector(FaxRxRecord& rx) {
  std::int64_t rc = 0, rs = 0, ic = 0, is = 0, sum_r = 0, sum_i = 0;
  for (int k = 0; k < kFaxEqTaps; ++k) {
    const std::int64_t r = rx.tap_i16[k];
    const std::int64_t im = rx.tap_q16[k];
    rc += r * kCos8[k % 8];
    rs += r * kSin8[k % 8];
    ic += im * kCos8[k % 8];
    is += im * kSin8[k % 8];
    sum_r += r;
    sum_i += im;
  }
  const std::int64_t g = (rc - is) >> 9;
  const std::int64_t h = (rc + is) >> 9;
  const std::int64_t u = (ic - rs) >> 9;
  const std::int64_t w = (rs + ic) >> 9;
  rx.timing_product_i = Saturate32(((w * u) >> 15) + ((g * h) >> 15));
  rx.timing_product_q = Saturate32(((u * g) >> 15) - ((w * h) >> 15));
  // Negative when the taps' spectrum has turned from the reference the
  // way a sampling that falls late turns it (the loop then moves the
  // interpolation phase back), positive for one that falls early.
  rx.timing_error = Saturate32(std::int64_t{rx.timing_product_i} * rx.timing_ref_q -
                         std::int64_t{rx.timing_ref_i} * rx.timing_product_q);
  const std::int64_t power = (std::int64_t{rx.timing_ref_q} * rx.timing_ref_q + std::int64_t{rx.timing_ref_i} * rx.timing_ref_i) >> 15;
  // Held to |m| <= 0x4000 so the correction never turns the reference
  // over, whatever level it was loaded with.
  const std::int64_t m = std::clamp<std::int64_t>((0x6000 - power) >> 2, -0x4000, 0x4000);
  rx.timing_ref_i = Saturate32(rx.timing_ref_i + ((m * rx.timing_ref_i) >> 15));
  rx.timing_ref_q = Saturate32(rx.timing_ref_q + ((m * rx.timing_ref_q) >> 15));
  rx.tap_sum_i = Saturate32(sum_r);
  rx.tap_sum_q = Saturate32(sum_i);
}

}  // namespace pump
