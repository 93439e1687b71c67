#include "pump/v32/timing_loop.h"

#include <algorithm>
#include <cstdlib>

namespace pump::v32 {
namespace {

// 1200 Hz turns a quarter of a circle between outputs half a symbol apart.
// The band-edge filters' leak per output (2^-6: about 12 Hz either side),
// narrow against the shaping's 1100-1350 Hz roll-off so that the beat
// keeps a steady phase under random data.
constexpr int kEdgeShift = 6;
// The error grows by about 68600 per sample of instant (2 pi / 3 of the
// beat's phase, in Q15). In data the proportional gain corrects 0.002 of
// the instant's error per symbol and the integrator (kept 2^8 finer) gives
// a damping near 1: a loop about 1.5 Hz wide that averages out the beat's
// data noise. While TRN still runs (the equaliser following at its
// training step) the gains are 2 and 4 times those, so the integrator has
// mostly learnt the clock offset before data.
struct LoopGains {
  std::int64_t proportional;
  std::int64_t integral;
};
constexpr LoopGains kTrainingGains{256, 64};
constexpr LoopGains kDataGains{128, 16};

// One output into a band-edge filter at +1200 Hz (up) or -1200 Hz.
void EdgeStep(std::int64_t& re, std::int64_t& im, bool up, Complex z) {
  const std::int64_t turned_re = up ? -im : im;
  const std::int64_t turned_im = up ? re : -re;
  re = turned_re + ((static_cast<std::int64_t>(z.re) * 256 - turned_re) >> kEdgeShift);
  im = turned_im + ((static_cast<std::int64_t>(z.im) * 256 - turned_im) >> kEdgeShift);
}

// upper x conj(lower), brought to about the square of a sample's level.
void Beat(const TimingLoop& loop, std::int64_t& re, std::int64_t& im) {
  const std::int64_t ur = loop.upper_re >> 8, ui = loop.upper_im >> 8;
  const std::int64_t lr = loop.lower_re >> 8, li = loop.lower_im >> 8;
  re = ur * lr + ui * li;
  im = ui * lr - ur * li;
}

}  // namespace

void BandEdgeStep(TimingLoop& loop, Complex z) {
  EdgeStep(loop.upper_re, loop.upper_im, true, z);
  EdgeStep(loop.lower_re, loop.lower_im, false, z);
}

void AddToReference(TimingLoop& loop) {
  std::int64_t re = 0, im = 0;
  Beat(loop, re, im);
  loop.reference_re += re;
  loop.reference_im += im;
  ++loop.reference_symbols;
}

void CloseReference(TimingLoop& loop) {
  if (loop.reference_symbols == 0) return;
  loop.reference_re /= loop.reference_symbols;
  loop.reference_im /= loop.reference_symbols;
  while (std::max(std::abs(loop.reference_re), std::abs(loop.reference_im)) >= (std::int64_t{1} << 24)) {
    loop.reference_re >>= 1;
    loop.reference_im >>= 1;
    ++loop.reference_shift;
  }
  loop.reference_power = (loop.reference_re * loop.reference_re + loop.reference_im * loop.reference_im) >> 15;
}

std::int32_t TimingError(const TimingLoop& loop) {
  if (loop.reference_power == 0) return 0;
  std::int64_t re = 0, im = 0;
  Beat(loop, re, im);
  constexpr std::int64_t kLimit = std::int64_t{1} << 30;
  re = std::clamp<std::int64_t>(re >> loop.reference_shift, -kLimit, kLimit);
  im = std::clamp<std::int64_t>(im >> loop.reference_shift, -kLimit, kLimit);
  const std::int64_t cross = im * loop.reference_re - re * loop.reference_im;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(cross / loop.reference_power, -(1 << 20), 1 << 20));
}

std::int64_t TimingCorrection(TimingLoop& loop, bool training) {
  const std::int64_t e = TimingError(loop);
  const LoopGains& gains = training ? kTrainingGains : kDataGains;
  loop.integrator += e * gains.integral;
  return -(e * gains.proportional + (loop.integrator >> 8));
}

}  // namespace pump::v32
