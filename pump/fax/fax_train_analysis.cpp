#include "pump/fax/fax_train_analysis.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pump/core/sine_oscillator.h"
#include "pump/detect/saturate.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_rx_loops.h"

namespace pump {
namespace {

// atan(2^-k) in 1/65536 turn, for the vectoring rotations.
constexpr std::array<std::int32_t, 14> kAtanSteps = {8192, 4836, 2555, 1297, 651, 326, 163, 81, 41, 20, 10, 5, 3, 1};

// Normalising weights: 16 for DC, 32 for the alternation components.
constexpr std::array<std::int32_t, kFaxComponents> kWeight = {16, 32, 32};

// Flag-combination weights of the countdown.
constexpr std::array<std::int32_t, 8> kWeightsOfThree = {0, 1024, 1024, 2048, 1024, 2560, 2048, 4352};
constexpr std::array<std::int32_t, 4> kWeightsOfTwo = {0, 2048, 2304, 4352};

constexpr std::int32_t kTargetMagnitude = 0x4000;

std::int64_t Power(FaxPair32 v) { return std::int64_t{v.i} * v.i + std::int64_t{v.q} * v.q; }

bool IsV27ter(const FaxRxRecord& rx) { return rx.modulation == kFaxV27ter; }

// Sums of I and Q by buffer position modulo 4 over `count` entries from
// `from` entries past the write position. The delay line's write position
// moves up by two entries a symbol, so going down from it goes back in
// time. V.29 and V.17 count down (group 1 holds symbols 2 to 17 back,
// group 2 the older ones behind it); V.27ter counts up, so that its group
// 1 holds its 8 newest symbols and group 2 the 8 before them.
struct PositionSums {
  std::int64_t i[4];
  std::int64_t q[4];
};

PositionSums SumGroup(const FaxRxRecord& rx, int from, int count) {
  const int direction = rx.modulation == kFaxV27ter ? 1 : -1;
  PositionSums s{};
  for (int j = from; j < from + count; ++j) {
    const int at = ((rx.write_at + direction * j) % kFaxEqTaps + kFaxEqTaps) % kFaxEqTaps;
    s.i[at & 3] += rx.line_i[at];
    s.q[at & 3] += rx.line_q[at];
  }
  return s;
}

void Components(const PositionSums& s, int shift, FaxPair32 (&out)[kFaxComponents]) {
  const auto c = [shift](std::int64_t v) { return Saturate32(v >> shift); };
  const std::int64_t i02 = s.i[0] - s.i[2];
  const std::int64_t i13 = s.i[1] - s.i[3];
  const std::int64_t q02 = s.q[0] - s.q[2];
  const std::int64_t q13 = s.q[1] - s.q[3];
  out[kFaxDc] = {c(-(s.q[0] + s.q[1] + s.q[2] + s.q[3])), c(s.i[0] + s.i[1] + s.i[2] + s.i[3])};
  out[kFaxUpper] = {c(i02 + q13), c(q02 - i13)};
  out[kFaxLower] = {c(i02 - q13), c(q02 + i13)};
}

FaxPair32 Normalised(const FaxTrainRecord& t, int k, FaxPair32 v) {
  const std::int64_t n = std::int64_t{t.normaliser[k]} * kWeight[static_cast<std::size_t>(k)];
  return {Saturate32((v.i * n) >> 10), Saturate32((v.q * n) >> 10)};
}

int NormaliserShift(const FaxTrainRecord& t, int k) {
  const int m = std::max(t.trackers[k].shift, t.trackers[k + 3].shift);
  if (m <= 11) return 13;
  if (m <= 23) return m / 4 + 10;
  return std::min(31, m / 2 + 4);
}

// The phase-locked loops: group 2 rotated by each loop's phase, group 1 by
// the phase less the frequency's advance; the loops turn so that the
// rotated group-2 components lie on the real axis.
void RunLoops(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  for (int k = 0; k < kFaxComponents; ++k) {
    const FaxPair32 g2 = Normalised(t, k, t.group[1][k]);
    const FaxPair32 g1 = Normalised(t, k, t.group[0][k]);
    FaxTrack(t.trackers[k + 3], Power(g2));
    const std::int64_t error = t.trackers[k + 3].magnitude - kTargetMagnitude;
    t.normaliser[k] = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(t.normaliser[k] - ((error * t.normaliser_gain) >> NormaliserShift(t, k)), 0, 0x7FFF));
    t.rotated[1][k] = FaxRotate(g2, t.loop_phase[k]);
    t.rotated[0][k] = FaxRotate(g1, t.loop_phase[k] - t.loop_frequency / 4096);
    // V.27ter's reversals have no DC component: its loop would follow
    // noise and pull the shared frequency away.
    if (k == kFaxDc && IsV27ter(rx)) continue;
    const std::int64_t q = t.rotated[1][k].q;
    const std::int64_t qg = (q * t.loop_gain) >> 15;
    t.loop_frequency = Saturate32(t.loop_frequency + ((t.loop_gain * qg) >> 2));
    t.loop_phase[k] = static_cast<std::int16_t>(t.loop_phase[k] - (t.loop_frequency >> 15) - qg);
  }
}

}  // namespace

std::int16_t FaxAngle(std::int64_t x, std::int64_t y) {
  if (x == 0 && y == 0) return 0;
  // Scaled into range, turned into the right half-plane, then vectored.
  while (std::llabs(x) > (std::int64_t{1} << 28) || std::llabs(y) > (std::int64_t{1} << 28)) {
    x >>= 1;
    y >>= 1;
  }
  std::int32_t angle = 0;
  if (x < 0) {
    angle = 0x8000;
    x = -x;
    y = -y;
  }
  for (std::size_t k = 0; k < kAtanSteps.size(); ++k) {
    const std::int64_t nx = y > 0 ? x + (y >> k) : x - (y >> k);
    const std::int64_t ny = y > 0 ? y - (x >> k) : y + (x >> k);
    angle += y > 0 ? kAtanSteps[k] : -kAtanSteps[k];
    x = nx;
    y = ny;
  }
  return static_cast<std::int16_t>(angle);
}

FaxPair32 FaxRotate(FaxPair32 v, std::int32_t angle) {
  const CosSin cs = SineOscillator(static_cast<std::uint16_t>(angle));
  const std::int64_t x = v.i;
  const std::int64_t y = v.q;
  return {Saturate32((x * cs.cos - y * cs.sin + 16384) >> 15), Saturate32((x * cs.sin + y * cs.cos + 16384) >> 15)};
}

void FaxTrack(FaxMagnitudeTracker& t, std::int64_t power) {
  t.power = power;
  const std::int64_t m2 = std::int64_t{t.magnitude} * t.magnitude;
  const std::int64_t total = power + m2;
  while ((total >> t.shift) > 4 && t.shift < 31) t.shift = std::min(31, t.shift + 2);
  if ((total >> t.shift) <= 0 && t.shift > 1) --t.shift;
  t.shift = std::clamp(t.shift, 1, 31);
  const std::int64_t m = t.magnitude - (((m2 - power) >> (t.shift / 2)) >> 2);
  t.magnitude = static_cast<std::int32_t>(std::clamp<std::int64_t>(m, 0, 0x7FFF));
}

void FaxAnalysisClear(FaxTrainRecord& t) {
  for (auto& g : t.group) std::fill(std::begin(g), std::end(g), FaxPair32{});
  for (auto& g : t.previous) std::fill(std::begin(g), std::end(g), FaxPair32{});
  for (auto& g : t.rotated) std::fill(std::begin(g), std::end(g), FaxPair32{});
  std::fill(std::begin(t.trackers), std::end(t.trackers), FaxMagnitudeTracker{0, 1, 0});
  std::fill(std::begin(t.loop_phase), std::end(t.loop_phase), 0);
  std::fill(std::begin(t.normaliser), std::end(t.normaliser), 0);
  std::fill(std::begin(t.minimum), std::end(t.minimum), 0);
  std::fill(std::begin(t.maximum), std::end(t.maximum), 0);
  std::fill(std::begin(t.quadrature), std::end(t.quadrature), 0);
  std::fill(std::begin(t.spread), std::end(t.spread), 0);
  t.alternation = t.purity = 0;
  t.loop_frequency = 0;
  t.loops_on = 0;
  t.reversal_flags = 0;
  t.countdown = 0x7FFF;
}

void FaxSegmentAnalysis(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  const bool v27 = IsV27ter(rx);
  const int first = v27 ? 36 : 4;
  const int count1 = v27 ? 16 : 32;
  FaxPair32 now[2][kFaxComponents];
  Components(SumGroup(rx, first, count1), 5, now[0]);
  Components(SumGroup(rx, first + count1, 16), v27 ? 5 : 6, now[1]);
  for (int g = 0; g < 2; ++g) {
    for (int k = 0; k < kFaxComponents; ++k) {
      t.group[g][k] = {Saturate32(std::int64_t{now[g][k].i} + t.previous[g][k].i),
                       Saturate32(std::int64_t{now[g][k].q} + t.previous[g][k].q)};
      t.previous[g][k] = now[g][k];
    }
  }
  std::int64_t a = 0;
  for (int k = 0; k < kFaxComponents; ++k) {
    const std::int64_t p = Power(t.group[0][k]);
    FaxTrack(t.trackers[k], p);
    if (t.loops_on == 0) FaxTrack(t.trackers[k + 3], Power(t.group[1][k]));
    a += p;
  }
  FaxTrack(t.trackers[kFaxTrackerA], a);
  FaxTrack(t.trackers[kFaxTrackerB], Power(t.group[0][kFaxUpper]) + Power(t.group[0][kFaxLower]));
  FaxTrack(t.trackers[kFaxTrackerE], rx.energy16);
  const std::int32_t ma = t.trackers[kFaxTrackerA].magnitude;
  t.alternation = t.trackers[kFaxTrackerB].magnitude - ma / 16;
  t.purity = ma + ma / 4 - t.trackers[kFaxTrackerE].magnitude;
  if (t.loops_on != 0) RunLoops(rx);
}

bool FaxAlternationAbsent(const FaxTrainRecord& t) { return t.alternation < -32 || t.purity < -128; }

void FaxLoadNormalisers(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  for (int k = 0; k < kFaxComponents; ++k) {
    const std::int32_t m = static_cast<std::int32_t>(
        (std::int64_t{kWeight[static_cast<std::size_t>(k)]} * t.trackers[k + 3].magnitude) >> 5);
    t.normaliser[k] = std::min(0x7FFF, FaxReciprocal(m) >> 6);
  }
  t.loops_on = 1;
}

void FaxLoadLoopPhases(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  for (int k = 0; k < kFaxComponents; ++k) t.loop_phase[k] = -FaxAngle(t.group[1][k].i, t.group[1][k].q);
}

void FaxTrackRotated(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  if (t.reversal_flags != 0) return;
  const int s = t.tracker_shift;
  for (int k = 0; k < kFaxComponents; ++k) {
    const std::int32_t re = t.rotated[1][k].i;
    const std::int32_t quad = std::abs(t.rotated[1][k].q);
    if (re < t.minimum[k]) t.minimum[k] += (re - t.minimum[k]) >> s;
    if (re > t.maximum[k]) t.maximum[k] += (re - t.maximum[k]) >> s;
    if (quad > t.quadrature[k]) t.quadrature[k] += (quad - t.quadrature[k]) >> s;
    t.spread[k] = std::max(std::abs(t.maximum[k] - t.minimum[k]) / 2, t.quadrature[k]);
  }
}

bool FaxReversalCountdown(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  const bool v27 = IsV27ter(rx);
  std::uint32_t flags = 0;
  const int first = v27 ? kFaxUpper : kFaxDc;
  for (int k = first; k < kFaxComponents; ++k) {
    if (t.rotated[0][k].i < -(t.spread[k] / 2)) flags |= 1u << (k - first);
  }
  t.reversal_flags = flags;
  if (flags == 0) {
    t.countdown = 0x7FFF;
  } else {
    const std::int32_t w = v27 ? kWeightsOfTwo[flags] : kWeightsOfThree[flags];
    t.countdown = std::max(0, t.countdown - w);
  }
  return t.countdown == 0;
}

bool FaxEarlyReversal(const FaxRxRecord& rx) {
  const FaxTrainRecord& t = rx.train;
  const std::int64_t dc = t.rotated[1][kFaxDc].i;
  const std::int64_t alternation = std::int64_t{t.rotated[1][kFaxUpper].i} + t.rotated[1][kFaxLower].i;
  if (IsV27ter(rx)) return alternation < -64;
  return dc < -64 || alternation < -64 || dc + alternation < -64;
}

void FaxLoopGainDecay(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  const int shift = IsV27ter(rx) ? 3 : 5;
  t.loop_gain -= (t.loop_gain - 512) >> shift;
  t.normaliser_gain -= (t.normaliser_gain - 512) >> shift;
}

}  // namespace pump
