// The receiver core's front end measured on tones at known line levels:
// the baseband filter's response through the mixer and the interpolator,
// the AGC's output level, and the signal-present and carrier-loss
// thresholds in dBm0. The expected figures are worked out from the
// receiver's stated constants (the filter's design gains, the mixer's
// half, the level average's weights, the AGC target and the two
// required-gain thresholds) and the line's scale (a full-scale sine is
// +3.14 dBm0; the front end hands the line's samples on at that scale).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/line/levels.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/v22/v22_receiver.h"
#include "pump/v22/v22_rx_states.h"

namespace pump {
namespace {

constexpr double kCorePi = 3.14159265358979323846;
constexpr double kCoreRate = 9600;
constexpr double kCoreCarrier = 1200;  // the answerer's receive oscillator
constexpr std::int16_t kCoreIncrement = 8192;

// The filter's design figures: 0.99 at DC, 0.70 at 300 Hz, under 0.001
// from 600 Hz.
constexpr double kFilterDc = 0.99;
constexpr double kFilter300 = 0.70;
constexpr double kFilterStop = 0.001;

// Required-gain thresholds: present below, absent from.
constexpr double kPresentBelow = 0x500000;
constexpr double kAbsentFrom = 0x700001;
// The level average: level = (level x 0x7000 + m x 6656) >> 15, whose
// fixed point is level = m x 6656 / (32768 - 0x7000).
constexpr double kLevelPerM = 6656.0 / (32768.0 - 0x7000);
constexpr double kTarget = 8192;

// A tone at the receiver's input, phase continuous across calls.
struct CoreTone {
  double hz;
  double peak;
  std::int64_t n = 0;
  std::int16_t Next() {
    const double v = peak * std::cos(2 * kCorePi * hz * static_cast<double>(n++) / kCoreRate);
    return static_cast<std::int16_t>(std::lround(v));
  }
};

double CorePeakAt(double dbm0) { return plat::line::SinePeak(dbm0); }
double CoreDbm0Of(double peak) { return 20 * std::log10(peak / plat::line::SinePeak(0)); }

// m = |I| + |Q| - min(|I|, |Q|) / 2 of a unit phasor, averaged over its
// phase: a tone off the carrier turns through every phase.
double MeanMagnitudeEstimate() {
  constexpr int kSteps = 100000;
  double sum = 0;
  for (int k = 0; k < kSteps; ++k) {
    const double phi = (k + 0.5) * (kCorePi / 2) / kSteps;
    const double c = std::cos(phi);
    const double s = std::sin(phi);
    sum += c + s - std::min(c, s) / 2;
  }
  return sum / kSteps;
}

// The receiver's gain from the line to the filter's input at `offset_hz`
// from the carrier: the mixer's half (its cosine peaks at 32767), the
// interpolator at mu = 0 averaging the two older mixed samples (weights
// 16285 each: a half-sample delay whose response is cos(pi f / 9600)).
double FrontGain(double offset_hz) {
  return 0.5 * (32767.0 / 32768) * (2 * 16285.0 / 32768) * std::cos(kCorePi * offset_hz / kCoreRate);
}

// The line level (dBm0) of a tone `offset_hz` off the carrier at which
// the required gain reaches `threshold`: the AGC's scaled level settles
// where level = m x 6656 / 4096 with m = MeanMagnitudeEstimate() x |z|, and
// the required gain is then 32768 x target / (that per unit gain of
// |z|), whatever gain the AGC holds (while its exponent is positive).
double ThresholdDbm0(double threshold, double offset_hz) {
  const double filtered = 32768 * kTarget / (kLevelPerM * MeanMagnitudeEstimate() * threshold);
  return CoreDbm0Of(filtered / (FrontGain(offset_hz) * kFilterDc));
}

// A fresh receive record as the receive sequence's start leaves it, the
// oscillator on 1200 Hz; `body` runs with the context.
void RunCore(const std::function<void(DspContext&, V22RxRecord&)>& body) {
  testing::PumpHarness harness;
  harness.Run([&] {
    harness.Controller().Post(0x60, {0});
    harness.RunBlocks(1);
    DspContext& context = harness.Context();
    V22RxRecord& rx = context.v22.rx;
    rx = {};
    rx.oscillator_increment = kCoreIncrement;
    rx.mantissa = 32767;
    rx.agc_step = -6144;
    rx.agc_target = kV22AgcTarget;
    rx.control = kV22AgcAdapt;
    rx.ring_read = 8;
    rx.loss_countdown = kV22LossSymbols;
    body(context, rx);
  });
}

// Feeds `samples` input samples one at a time; `each_symbol` runs after
// every tick 1 (the AGC and signal detection), `each_output` after every
// filter output (ticks 0, 4, 8 and 12) with the input sample's index.
struct CoreFeed {
  std::function<void()> each_symbol = {};
  std::function<void(std::int64_t)> each_output = {};
};
void Feed(DspContext& context, CoreTone& tone, std::int64_t samples, const CoreFeed& feed = {}) {
  const V22RxRecord& rx = context.v22.rx;
  for (std::int64_t k = 0; k < samples; ++k) {
    const std::int16_t s[1] = {tone.Next()};
    V22ReceiveSamples(context, s);
    if (rx.tick == 2 && feed.each_symbol) feed.each_symbol();
    if (rx.tick % 4 == 1 && feed.each_output) feed.each_output(tone.n);
  }
}

// The baseband filter in place: tones at offsets from the carrier go
// through the mixer, the interpolator and the filter with the AGC at unit
// gain; the filtered phasor's size at the offset, divided by the mixer's
// and the interpolator's gains, is the filter's response there. (At the
// filter's output rate, 2400 Hz, the mixer's image at twice the carrier
// falls on the same frequency, so a stopband figure bounds both.)
TEST(V22Receiver, BasebandFilterMeasuredThroughTheCore) {
  struct Case {
    double offset_hz;
    double low;
    double high;
  };
  const Case cases[] = {
      {10, kFilterDc - 0.005, kFilterDc + 0.005},   {-10, kFilterDc - 0.005, kFilterDc + 0.005},
      {100, kFilterDc - 0.005, kFilterDc + 0.005},  {-200, kFilterDc - 0.005, kFilterDc + 0.005},
      {300, kFilter300 - 0.01, kFilter300 + 0.01},  {-300, kFilter300 - 0.01, kFilter300 + 0.01},
      {600, 0, kFilterStop},                        {-700, 0, kFilterStop},
      {900, 0, kFilterStop},                        {-1100, 0, kFilterStop},
  };
  constexpr double kPeak = 20000;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.offset_hz << " Hz from the carrier");
    RunCore([&](DspContext& context, V22RxRecord& rx) {
      rx.control = 0;  // the AGC held at unit gain: exponent 0, mantissa 32767
      CoreTone tone{kCoreCarrier + c.offset_hz, kPeak};
      Feed(context, tone, 960);  // the filter's 128 taps filled
      std::complex<double> sum = 0;
      int outputs = 0;
      Feed(context, tone, 9600, {.each_output = [&](std::int64_t n) {
             const std::complex<double> z(rx.filtered_i, rx.filtered_q);
             sum += z * std::polar(1.0, -2 * kCorePi * c.offset_hz * static_cast<double>(n) / kCoreRate);
             ++outputs;
           }});
      const double response = std::abs(sum) / outputs / (kPeak * FrontGain(c.offset_hz));
      EXPECT_GE(response, c.low);
      EXPECT_LE(response, c.high);
    });
  }
}

// The AGC brings a tone at any level in its range to its target: the level
// average settles on 8192, so the scaled phasor's size is 8192 / (6656 /
// 4096 x MeanMagnitudeEstimate()); the required gain it reports is then
// the gain that line level needs.
TEST(V22Receiver, AgcSettlesEveryLevelOnItsTarget) {
  const double scaled = kTarget / (kLevelPerM * MeanMagnitudeEstimate());
  constexpr double kOffset = 25;
  for (const double dbm0 : {-48.0, -40.0, -30.0, -20.0, -10.0, 0.0}) {
    SCOPED_TRACE(::testing::Message() << dbm0 << " dBm0");
    RunCore([&](DspContext& context, V22RxRecord& rx) {
      CoreTone tone{kCoreCarrier + kOffset, CorePeakAt(dbm0)};
      Feed(context, tone, 9600);
      double power = 0;
      double level = 0;
      double required = 0;
      int symbols = 0;
      Feed(context, tone, 9600, {.each_symbol = [&] {
             power += std::norm(std::complex<double>(rx.filtered_i, rx.filtered_q));
             level += rx.level;
             required += rx.required_gain;
             ++symbols;
           }});
      EXPECT_NEAR(level / symbols, kTarget, 0.03 * kTarget);
      EXPECT_NEAR(20 * std::log10(std::sqrt(power / symbols) / scaled), 0, 0.3);
      EXPECT_NE(rx.status & kV22SignalPresent, 0);
      if (rx.exponent > 0) {
        const double filtered = CorePeakAt(dbm0) * FrontGain(kOffset) * kFilterDc;
        const double needed = 32768 * kTarget / (kLevelPerM * MeanMagnitudeEstimate() * filtered);
        EXPECT_NEAR(20 * std::log10(required / symbols / needed), 0, 0.3);
      }
    });
  }
}

// Signal present comes on below the first required gain and goes off
// from the second, with the hysteresis between them: a slow ramp up from
// silence and back down (0.1 dB every 60 symbols) finds both levels near
// the ones the thresholds give, and a level between them keeps whichever
// state it found. A crossing comes at the extreme of the required gain's
// ripple, not at its mean: the turning tone's m varies by 12 % over a
// quarter turn (the level average keeps about a fifth of that), and the
// 16-bit stages' truncations leave about 1 LSB of offset under a phasor of
// 20 to 30 LSB (up to 0.4 dB as the phasor turns against it).
TEST(V22Receiver, SignalPresentThresholdsInDbm0) {
  constexpr double kOffset = 25;
  constexpr double kCrossingDb = 0.75;
  const double on = ThresholdDbm0(kPresentBelow, kOffset);
  const double off = ThresholdDbm0(kAbsentFrom, kOffset);
  ASSERT_GT(on - off, 2.5) << "the hysteresis";
  RunCore([&](DspContext& context, V22RxRecord& rx) {
    CoreTone tone{kCoreCarrier + kOffset, 0};
    Feed(context, tone, 4800);
    ASSERT_EQ(rx.status & kV22SignalPresent, 0);
    const auto present = [&] { return (rx.status & kV22SignalPresent) != 0; };
    double came_on = 0;
    for (double dbm0 = off - 1; dbm0 < on + 2 && came_on == 0; dbm0 += 0.1) {
      tone.peak = CorePeakAt(dbm0);
      Feed(context, tone, 960);
      if (present()) came_on = dbm0;
    }
    EXPECT_NEAR(came_on, on, kCrossingDb);
    double went_off = 0;
    for (double dbm0 = came_on; dbm0 > off - 2 && went_off == 0; dbm0 -= 0.1) {
      tone.peak = CorePeakAt(dbm0);
      Feed(context, tone, 960);
      if (!present()) went_off = dbm0;
    }
    EXPECT_NEAR(went_off, off, kCrossingDb);
    // Between the two: the state stays as the last crossing left it.
    const double between = (on + off) / 2;
    tone.peak = CorePeakAt(between);
    Feed(context, tone, 9600);
    EXPECT_FALSE(present()) << "rising into the hysteresis";
    tone.peak = CorePeakAt(on + 3);
    Feed(context, tone, 4800);
    tone.peak = CorePeakAt(between);
    Feed(context, tone, 9600);
    EXPECT_TRUE(present()) << "falling into the hysteresis";
  });
}

// Carrier loss in data (the AGC frozen, countdown on): a signal under the
// absent threshold for 600 symbols restarts the receive sequence at its
// end state; one still above it, or back before the count runs out, does
// not. Counted in symbols from the drop.
TEST(V22Receiver, CarrierLossAfter600SymbolsUnderTheThreshold) {
  constexpr double kOffset = 25;
  const double off = ThresholdDbm0(kAbsentFrom, kOffset);
  struct Step {
    double dbm0;  // -100: silence
    int symbols;
  };
  struct Case {
    const char* name;
    std::vector<Step> after;  // after a second at -30 dBm0
    int drop_symbol;          // the last fall under the threshold, from the start of `after`; -1: none
  };
  const Case cases[] = {
      {"silence", {{-100, 700}}, 0},
      {"1 dB under the threshold", {{off - 1, 700}}, 0},
      {"1 dB over the threshold", {{off + 1, 900}}, -1},
      {"back after 500 symbols", {{-100, 500}, {-30, 100}, {-100, 700}}, 600},
  };
  // The level average (a pole of 0.875 a symbol) falls through the
  // threshold within this many symbols of the drop.
  constexpr int kDetectionSymbols = 45;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunCore([&](DspContext& context, V22RxRecord& rx) {
      StateMachine<DspContext>& machine = context.v22.rx_machine;
      SetStateMachine(machine, StateOp::kGo, V22RxTable(), 0);
      CoreTone tone{kCoreCarrier + kOffset, CorePeakAt(-30)};
      Feed(context, tone, 9600);
      rx.control = kV22CarrierLossCount;  // data: the AGC no longer adapts
      int symbol = 0;
      int absent_since = -1;
      int restarted_at = -1;
      for (const Step& step : c.after) {
        tone.peak = step.dbm0 < -99 ? 0 : CorePeakAt(step.dbm0);
        Feed(context, tone, static_cast<std::int64_t>(step.symbols) * kV22SamplesPerSymbol,
             {.each_symbol = [&] {
               ++symbol;
               if ((rx.status & kV22SignalPresent) != 0) {
                 absent_since = -1;
               } else if (absent_since < 0) {
                 absent_since = symbol;
               }
               if (restarted_at < 0 && machine.position == kV22RxEndIndex - 1 &&
                   machine.remaining_count == 0) {
                 restarted_at = symbol;
               }
             }});
      }
      if (c.drop_symbol < 0) {
        EXPECT_EQ(restarted_at, -1);
        EXPECT_NE(rx.control & kV22CarrierLossCount, 0);
        return;
      }
      // The countdown: the 600th symbol without the signal restarts.
      EXPECT_EQ(restarted_at - absent_since, kV22LossSymbols - 1) << "absent from symbol " << absent_since;
      EXPECT_GT(absent_since, c.drop_symbol);
      EXPECT_LE(absent_since, c.drop_symbol + kDetectionSymbols);
      EXPECT_EQ(rx.control & kV22CarrierLossCount, 0) << "the countdown runs once";
    });
  }
}

}  // namespace
}  // namespace pump
