#include "pump/v32/tone_reversal.h"

#include <algorithm>

namespace pump::v32 {
namespace {

// Power of six comb outputs at which a tone counts as there (the comb
// doubles the tone it keeps: about -45 dBm0 at the line).
constexpr std::int64_t kTonePower = 6'000'000;

}  // namespace

void ResetToneReversal(ToneReversal& t, ToneKind kind) {
  t = ToneReversal{};
  t.kind = kind;
}

ToneEvent ToneReversalStep(ToneReversal& t, Complex z, int window) {
  // recent[8] is the newest sample; recent[5] one symbol (three samples) back.
  std::copy(t.recent.begin() + 1, t.recent.end(), t.recent.begin());
  t.recent[8] = z;
  const Complex& back = t.recent[5];
  const std::int64_t sign = t.kind == ToneKind::kCarrier ? 1 : -1;
  const std::int64_t re = std::int64_t{z.re} + sign * back.re;
  const std::int64_t im = std::int64_t{z.im} + sign * back.im;
  // The comb's output two symbols back, from the samples kept.
  const Complex& z6 = t.recent[2];
  const Complex& z9 = t.recent[0];
  const std::int64_t re6 = std::int64_t{z6.re} + sign * z9.re;
  const std::int64_t im6 = std::int64_t{z6.im} + sign * z9.im;
  const std::int64_t product = (re * re6 + im * im6) >> 2;
  const std::int64_t power = (re * re + im * im) >> 2;
  t.correlation += product - t.products[t.index];
  t.products[t.index] = product;
  t.power += power - t.powers[t.index];
  t.powers[t.index] = power;
  t.index = (t.index + 1) % 6;

  ToneEvent event;
  if (t.held >= window) {
    event.present = true;
    if (t.correlation < 0) {
      event.reversal = true;
      t.held = 0;
    }
    return event;
  }
  t.held = (t.power > kTonePower && 2 * t.correlation > t.power) ? t.held + 1 : 0;
  event.present = t.held >= window;
  return event;
}

}  // namespace pump::v32
