#include "pump/v32/receiver.h"

#include <algorithm>
#include <cstdlib>

#include "pump/v32/agc.h"
#include "pump/v32/carrier_table.h"
#include "pump/v32/encoder.h"
#include "pump/v32/slicer.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

constexpr std::int64_t kTapOne = std::int64_t{1} << 24;
// LMS steps as right shifts: first TRN (two points), then TRN4, then data.
// The two-point part trains fast (2^-12 there left 14400 with errors at
// 30 dB against a far clock 100 ppm off).
constexpr int kTrn2Shift = 10;
constexpr int kTrn4Shift = 12;
constexpr int kDataShift = 15;
constexpr std::int32_t kSamplesOfS = 96;
// Interpolated outputs from the sign change of the two-symbol correlation
// (the first S-bar symbols) to the first TRN symbol's decision: 16 S-bar
// symbols, then 25 measured: the equaliser's delay (24 outputs, the middle
// of its span), the interpolator's and the lag of detecting S-bar (only 25
// trains error-free at every rate).
constexpr std::int32_t kSbarToTrn = 2 * 16 + 25;
// Six samples' power of S sent at unit gain through the front end.
constexpr std::int64_t kUnitSPower = 83349466;
// The equaliser's first taps give back the transmitter's points from a line
// at unit gain; the gain control brings S to its target instead.
const std::int64_t kUnitToAgcQ15 = SquareRoot((kUnitSPower << 30) / 6 / kComplexAgcTarget);
// The shaping pulse (16 symbols) at half-symbol spacing: its three-phase
// taps are a third of a symbol apart, so every second value lies between
// two of them, where the receiver's own interpolator finds it.
constexpr int kPulseTaps = 32;
constexpr int kPulseStart = (kEqualiserTaps - kPulseTaps) / 2;

std::array<std::int64_t, kPulseTaps> HalfSymbolPulse() {
  std::array<std::int32_t, 48> thirds{};  // at sample 3 j + p: phase p of tap 15 - j
  for (int j = 0; j < 16; ++j) {
    for (int p = 0; p < 3; ++p) thirds[3 * j + p] = kShapingTaps[p][15 - j];
  }
  std::array<std::int64_t, kPulseTaps> pulse{};
  for (int m = 0; m < kPulseTaps; ++m) {
    const int sample = 3 * m / 2;
    if (m % 2 == 0) {
      pulse[m] = thirds[sample];
      continue;
    }
    std::array<Complex, 9> around{};
    for (int k = 0; k < 9; ++k) {
      const int n = sample - 4 + k;
      if (n >= 0 && n < 48) around[k].re = thirds[n];
    }
    pulse[m] = Interpolate(around, 1 << 14).re;
  }
  return pulse;
}

constexpr std::int64_t kPhasePerRadian = 21361414;  // 2^27 / (2 pi)

Point Rotate(Complex z, std::uint32_t phase, bool forward) {
  const std::uint32_t index = TableIndex(phase);
  const std::int64_t c = kCosTable[index];
  const std::int64_t s = forward ? kSinTable[index] : -kSinTable[index];
  return {static_cast<std::int32_t>((z.re * c - z.im * s + 0x4000) >> 15),
          static_cast<std::int32_t>((z.im * c + z.re * s + 0x4000) >> 15)};
}

Point TrainingPoint(Receiver& r) {
  const std::uint32_t line = Scramble(r.reference, 3, 2, r.config.far_polynomial);
  if (r.symbol < r.config.trn2_symbols) return (line & 1) != 0 ? kFourPointSet[3] : kFourPointSet[0];
  return kFourPointSet[line];
}

std::uint32_t DecodeUncoded(Receiver& r, unsigned index) {
  const unsigned state = index & 3;
  unsigned pair = 0;
  while (kDifferential[pair][r.previous_pair] != state) ++pair;
  r.previous_pair = static_cast<std::uint8_t>(state);
  return pair | (index & 0xC);
}

std::uint32_t DecodeTrellis(Receiver& r, unsigned index) {
  const unsigned pair = (index >> 1) & 3;
  const unsigned bits = ((pair - r.previous_pair) & 3) | ((index >> 3) << 2);
  r.previous_pair = static_cast<std::uint8_t>(pair);
  return bits;
}

Complex EqualiserOutput(const Receiver& r) {
  std::int64_t re = 0;
  std::int64_t im = 0;
  for (int k = 0; k < kEqualiserTaps; ++k) {
    const Complex x = r.line[r.line_pos + k];
    re += r.tap_re[k] * x.re - r.tap_im[k] * x.im;
    im += r.tap_re[k] * x.im + r.tap_im[k] * x.re;
  }
  return {static_cast<std::int32_t>(re >> 24), static_cast<std::int32_t>(im >> 24)};
}

void Adapt(Receiver& r, Point error, int shift) {
  for (int k = 0; k < kEqualiserTaps; ++k) {
    const Complex x = r.line[r.line_pos + k];
    const std::int64_t g_re = static_cast<std::int64_t>(error.i) * x.re + static_cast<std::int64_t>(error.q) * x.im;
    const std::int64_t g_im = static_cast<std::int64_t>(error.q) * x.re - static_cast<std::int64_t>(error.i) * x.im;
    r.tap_re[k] -= g_re >> shift;
    r.tap_im[k] -= g_im >> shift;
  }
}

// The carrier loop's gains on the phase error, as right shifts: the phase
// takes 1/32 of it and the frequency 1/4096 per symbol (twice these cost
// the 12000 and 14400 rates a step of SNR with the equaliser at half
// symbols; the jitter predictor follows the faster phase movements).
constexpr int kPhaseShift = 5;
constexpr int kFrequencyShift = 12;

std::int64_t TrackCarrier(Receiver& r, Point y, Point d) {
  const std::int64_t norm = static_cast<std::int64_t>(d.i) * d.i + static_cast<std::int64_t>(d.q) * d.q;
  if (norm == 0) return 0;
  const std::int64_t cross = static_cast<std::int64_t>(y.q) * d.i - static_cast<std::int64_t>(y.i) * d.q;
  const std::int64_t error = cross * kPhasePerRadian / norm;
  r.frequency += static_cast<std::int32_t>(error >> kFrequencyShift);
  r.carrier = static_cast<std::uint32_t>(r.carrier + static_cast<std::uint32_t>((error >> kPhaseShift) + r.frequency)) & kPhaseMask;
  return error;
}

// The phase-jitter predictor: the carrier's phase (the loop's residual
// error plus what was predicted), less its slow mean, over the last 120
// symbols; taps adapted by normalised LMS once the loop has acquired (from
// TRN symbol 512 on) predict the next symbol's phase, which turns the
// equaliser's output before the decision. The step is 2^-9 of the
// normalised one: larger steps cost the 9600 trellis rate a step of SNR
// on a clean line.
constexpr std::int32_t kJitterFrom = 512;
constexpr int kJitterStepShift = 9;
constexpr int kGainFraction = 20;  // bits of the normalised gain below one

bool Predicting(const Receiver& r) { return r.stage != RxStage::kTrain || r.symbol >= kJitterFrom; }

// Calls use(tap, history index) for every tap, newest phase first, in two
// runs that meet where the history's ring wraps (no division per tap).
template <typename Use>
void ForEachJitterTap(const Receiver& r, Use use) {
  const int first = kJitterTaps - static_cast<int>(r.jitter_pos);
  for (int k = 0; k < first; ++k) use(k, static_cast<int>(r.jitter_pos) + k);
  for (int k = first; k < kJitterTaps; ++k) use(k, k - first);
}

std::int64_t PredictJitter(const Receiver& r) {
  std::int64_t sum = 0;
  ForEachJitterTap(r, [&](int k, int i) { sum += r.jitter_taps[k] * r.jitter_history[i]; });
  return sum >> 24;
}

void LearnJitter(Receiver& r, std::int64_t residual) {
  if (Predicting(r)) {
    // A floor under the history's power (1024 phase units a symbol) keeps
    // the normalised gain bounded on a still line.
    const std::int64_t power = r.jitter_power + (std::int64_t{kJitterTaps} << 20);
    const auto gain = static_cast<std::int64_t>((static_cast<__int128>(residual) << (24 + kGainFraction)) / power);
    ForEachJitterTap(r, [&](int k, int i) {
      r.jitter_taps[k] += (gain * r.jitter_history[i]) >> (kGainFraction + kJitterStepShift);
    });
  }
  const std::int64_t phase = residual + r.prediction;
  r.jitter_mean += phase - (r.jitter_mean >> 6);
  const std::int64_t centred = phase - (r.jitter_mean >> 6);
  r.jitter_pos = (r.jitter_pos + kJitterTaps - 1) % kJitterTaps;
  r.jitter_power += centred * centred - r.jitter_history[r.jitter_pos] * r.jitter_history[r.jitter_pos];
  r.jitter_history[r.jitter_pos] = centred;
}

std::optional<RxOutput> Deliver(Receiver& r, std::uint32_t bits) {
  const int n = ModeOf(r.rate).bits;
  const std::uint32_t data = Descramble(r.descrambler, bits, n, r.config.far_polynomial);
  if (r.ones_left > 0) {
    --r.ones_left;
    return std::nullopt;
  }
  return RxOutput{data, n};
}

// A symbol of a rate word or E: four points, differentially decoded and
// descrambled two bits at a time.
void DecideWordSymbol(Receiver& r, Point y, Point& d) {
  const Candidate c = NearestPoint(DataRate::k4800, y);
  d = kFourPointSet[c.index];
  const std::uint32_t pair = Descramble(r.descrambler, DecodeUncoded(r, c.index), 2, r.config.far_polynomial);
  const auto word = DetectRateWord(r.words, pair, r.stage == RxStage::kAwaitE);
  if (!word) return;
  if (r.stage == RxStage::kRateWord) {
    r.rate_word = *word;
    r.stage = RxStage::kAwaitE;
    return;
  }
  const auto mode = ModeOfE(*word);
  if (!mode) return;
  r.e_word = *word;
  r.rate = mode->rate;
  r.stage = RxStage::kData;
  r.ones_left = kOnesBeforeData;
  ResetViterbi(r.viterbi);
}

// The timing loop's reference is the band-edge beat over TRN's two-point
// part (past the filters' settling); the loop runs from the next symbol.
constexpr std::int32_t kEdgeSettling = 16;

void SteerTiming(Receiver& r) {
  if (r.stage == RxStage::kTrain && r.symbol < r.config.trn2_symbols) {
    if (r.symbol >= kEdgeSettling) AddToReference(r.timing_loop);
    if (r.symbol + 1 == r.config.trn2_symbols) CloseReference(r.timing_loop);
    return;
  }
  r.timing.instant += TimingCorrection(r.timing_loop, r.stage == RxStage::kTrain);
}

std::optional<RxOutput> DecideSymbol(Receiver& r) {
  const Complex z = EqualiserOutput(r);
  r.prediction = Predicting(r) ? PredictJitter(r) : 0;
  const std::uint32_t phase = static_cast<std::uint32_t>(r.carrier + static_cast<std::uint32_t>(r.prediction)) & kPhaseMask;
  const Point y = Rotate(z, phase, false);
  const bool training = r.stage == RxStage::kTrain;
  Point d{};
  std::optional<RxOutput> out;
  const bool words = r.stage == RxStage::kRateWord || r.stage == RxStage::kAwaitE;
  if (training) {
    d = TrainingPoint(r);
  } else if (words) {
    DecideWordSymbol(r, y, d);
  } else if (ModeOf(r.rate).trellis) {
    const auto subsets = SubsetCandidates(r.rate, y);
    const auto best = std::min_element(subsets.begin(), subsets.end(),
                                       [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    d = PointOf(r.rate, best->index);
    if (const auto decided = ViterbiStep(r.viterbi, subsets)) out = Deliver(r, DecodeTrellis(r, *decided));
  } else {
    const Candidate c = NearestPoint(r.rate, y);
    d = PointOf(r.rate, c.index);
    out = Deliver(r, DecodeUncoded(r, c.index));
  }
  const Point e{y.i - d.i, y.q - d.q};
  r.error_average += (std::abs(e.i) + std::abs(e.q) - r.error_average) >> 6;
  LearnJitter(r, TrackCarrier(r, y, d));
  // The equaliser holds still through the rate words.
  if (!words) {
    const int shift = !training ? kDataShift : r.symbol < r.config.trn2_symbols ? kTrn2Shift : kTrn4Shift;
    Adapt(r, Rotate({e.i, e.q}, phase, true), shift);
  }
  SteerTiming(r);
  if (training && ++r.symbol == r.config.trn2_symbols + r.config.trn4_symbols) {
    r.stage = RxStage::kRateWord;
  }
  return out;
}

// S: symbols two apart are equal, so the two-symbol correlation of the
// baseband samples stays near their power; S-bar turns it negative.
void DetectS(Receiver& r, Complex z) {
  const Complex old = r.recent[0];
  std::copy(r.recent.begin() + 1, r.recent.end(), r.recent.begin());
  r.recent[5] = z;
  const std::int64_t product = static_cast<std::int64_t>(z.re) * old.re + static_cast<std::int64_t>(z.im) * old.im;
  const std::int64_t power = static_cast<std::int64_t>(z.re) * z.re + static_cast<std::int64_t>(z.im) * z.im;
  r.correlation += product - r.products[r.product_index];
  r.products[r.product_index] = product;
  r.power += power - r.powers[r.product_index];
  r.powers[r.product_index] = power;
  r.product_index = (r.product_index + 1) % 6;

  if (r.stage == RxStage::kWaitS) {
    r.count = (r.power > 6'000'000 && 2 * r.correlation > r.power) ? r.count + 1 : 0;
    if (r.count >= kSamplesOfS) r.stage = RxStage::kInS;
  } else if (r.stage == RxStage::kInS && r.correlation < 0) {
    r.stage = RxStage::kSbar;
    r.count = -1;  // the output of this sample is not yet S-bar's
  }
}

// One interpolated output: into the equaliser's line; a symbol is decided on every second output from TRN on.
std::optional<RxOutput> TakeOutput(Receiver& r, Complex z) {
  BandEdgeStep(r.timing_loop, z);
  r.line_pos = (r.line_pos + kEqualiserTaps - 1) % kEqualiserTaps;
  r.line[r.line_pos] = z;
  r.line[r.line_pos + kEqualiserTaps] = z;
  switch (r.stage) {
    case RxStage::kWaitS:
    case RxStage::kInS:
      return std::nullopt;
    case RxStage::kSbar:
      if (++r.count == kSbarToTrn) {
        r.stage = RxStage::kTrain;
        r.sample_phase = 0;
        return DecideSymbol(r);
      }
      return std::nullopt;
    case RxStage::kTrain:
    case RxStage::kRateWord:
    case RxStage::kAwaitE:
    case RxStage::kData:
      r.sample_phase ^= 1;
      if (r.sample_phase != 0) return std::nullopt;
      return DecideSymbol(r);
  }
  return std::nullopt;
}

}  // namespace

void ResetReceiver(Receiver& r, const ReceiverConfig& config) {
  r = Receiver{};
  r.config = config;
  // The equaliser starts as the filter matched to the transmitter's shaping
  // at half-symbol spacing, in the middle of its span, scaled to give back
  // the point: training then only removes what the line adds.
  const std::array<std::int64_t, kPulseTaps> pulse = HalfSymbolPulse();
  std::int64_t energy = 0;
  for (const std::int64_t p : pulse) energy += p * p;
  for (int k = 0; k < kPulseTaps; ++k) {
    r.tap_re[kPulseStart + k] = pulse[kPulseTaps - 1 - k] * kUnitToAgcQ15 * kTapOne / energy;
  }
  InitTonePath(r.tone);
  ResetViterbi(r.viterbi);
}

Complex FrontEndStep(FrontEnd& f, std::int16_t x) {
  std::copy(f.ring.begin() + 1, f.ring.end(), f.ring.begin());
  f.ring[18] = x;
  std::int32_t sum = 0;
  for (int j = 0; j < 10; ++j) sum += (kHilbertTaps[j] * f.ring[2 * j]) >> 2;
  const std::int32_t q = (sum + 4096) >> 13;
  const std::int32_t i = f.ring[9];
  static constexpr std::int32_t kCos[4] = {1, 0, -1, 0};
  static constexpr std::int32_t kSin[4] = {0, 1, 0, -1};
  const std::int32_t c = kCos[f.quarter];
  const std::int32_t s = kSin[f.quarter];
  f.quarter = (f.quarter + 1) & 3;
  return {i * c - q * s, -(q * c + i * s)};
}

std::optional<RxOutput> ReceiverStep(Receiver& r, std::int16_t x) {
  const Complex raw = FrontEndStep(r.front, x);
  DetectS(r, raw);
  const Complex z = AgcStep(r.agc, raw);
  // The gain finds the level of S and holds from the first TRN symbol on
  // (the equaliser then owns the scale; a gain still moving during TRN
  // cost the fastest rates a step of SNR against a drifting far clock).
  if (r.stage < RxStage::kTrain) AgcAdapt(r.agc);
  Complex outputs[2];
  const int n = TimingStep(r.timing, z, outputs);
  std::optional<RxOutput> delivered;
  for (int k = 0; k < n; ++k) {
    if (auto out = TakeOutput(r, outputs[k])) delivered = out;
  }
  return delivered;
}

}  // namespace pump::v32
