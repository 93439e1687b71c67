#include "pump/tests/support/fax_rx_test_training.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_rx.h"
#include "pump/fax/fax_rx_decisions.h"
#include "pump/fax/fax_rx_equaliser.h"
#include "pump/fax/fax_rx_trellis.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/fax/fax_train.h"
#include "pump/framer/framer.h"

namespace pump::testing {
namespace {

FaxRxRecord& Rx(DspContext& context) { return context.fax.rx; }

bool FirstSymbol(const FaxRxRecord& rx) {
  return rx.machine.remaining_count == rx.machine.table[static_cast<std::size_t>(rx.machine.position)].count;
}

// The equaliser's step by modulation: V.29 0x3000, the others 6144.
std::int32_t TrainingStep(const FaxRxRecord& rx) { return rx.modulation == kFaxV29 ? 0x3000 : 6144; }

void SetCarrierGains(FaxRxRecord& rx, std::int32_t phase, int phase_shift, std::int32_t frequency, int frequency_shift) {
  rx.phase_gain = phase;
  rx.phase_shift = static_cast<std::uint8_t>(phase_shift);
  rx.frequency_gain = frequency;
  rx.frequency_shift = static_cast<std::uint8_t>(frequency_shift);
}

// The gain settles on the tone and the alternation; the delay line fills.
void TestSettle(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    // What a new burst starts from, as the receiver's training does it:
    // the loops and the jitter state cleared, the equaliser reset.
    FaxTrainingRearm(rx);
    FaxTrainingClearCarrier(rx);
    FaxTrainingClearEqualiser(rx);
    return;
  }
  // Rearmed on a quiet line, so that the gain adapts fast when the tone
  // and the alternation come.
  if (rx.level_average < 8192) {
    rx.gain_rate = rx.modulation == kFaxV27ter ? 0x30000000 : 0x20000000;
    rx.gain_rate_decay = 5;
  }
  rx.reset_pending = 0;
  rx.enables = {};
}

// The conditioning: the equaliser from cleared taps on the known points,
// the gain frozen, fixed loop gains.
void TestCondition(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    FaxEqClear(rx);
    rx.gain_rate = 0;
    rx.previous_phase = 0;
    rx.descrambler = rx.modulation == kFaxV17   ? kFaxV17TrainingSeed
                     : rx.modulation == kFaxV29 ? kFaxV29TrainingSeed
                                                : kFaxV27terTrainingSeed;
    rx.enables.decisions = 1;
    rx.enables.adaptation = 1;
    rx.enables.second_pass = 1;
    rx.enables.carrier_loop = 1;
    rx.step = TrainingStep(rx);
  }
  // The carrier loop's gains shrink by thirds of the segment.
  const std::int32_t left = rx.machine.remaining_count;
  const std::int32_t count = rx.machine.table[static_cast<std::size_t>(rx.machine.position)].count;
  if (left > 2 * count / 3) {
    SetCarrierGains(rx, 0x40000000, 0, 0x40000000, 1);
  } else if (left > count / 3) {
    SetCarrierGains(rx, 0x30000000, 0, 0x30000000, 1);
  } else {
    SetCarrierGains(rx, 0x20000000, 0, 0x10000000, 1);
  }
  // The timing reference: the taps' product at the end of the segment;
  // the timing loop runs in data.
  if (left == 1) {
    rx.timing_ref_i = rx.timing_product_i;
    rx.timing_ref_q = rx.timing_product_q;
  }
  FaxTrainingReference(rx);
}

// V.17's bridge: the nearest of the four training points.
void TestBridge(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  int best = 0;
  std::int64_t best_d = -1;
  for (int k = 0; k < 4; ++k) {
    const std::int64_t di = rx.y_i - 64 * rx.training_points[k].i;
    const std::int64_t dq = rx.y_q - 64 * rx.training_points[k].q;
    if (best_d < 0 || di * di + dq * dq < best_d) {
      best_d = di * di + dq * dq;
      best = k;
    }
  }
  rx.point = best;
  rx.d_i = 64 * rx.training_points[best].i;
  rx.d_q = 64 * rx.training_points[best].q;
  rx.valid = 1;
  rx.delivered_subset = 2 * best;
}

// Data: decisions, the common loop gains, the timing loop, delivery to
// the framer as raw octets (the V.21 watch ends here).
void TestData(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    rx.step = rx.modulation == kFaxV29 ? 1536 : 2048;
    SetCarrierGains(rx, 0x20000000, 3, 0x10000000, 8);
    rx.enables.second_pass = 0;
    rx.enables.amplitude_loop = 1;
    rx.amplitude_shift = 8;
    rx.enables.data_output = 1;
    rx.timing_shift = 7;
    rx.timing_integral_shift = 15;
    if (rx.modulation == kFaxV17) {
      const std::int32_t subset = rx.delivered_subset;
      FaxTrellisReset(rx);
      rx.delivered_subset = subset;
      rx.enables.traceback = 1;
    } else {
      rx.descrambler = 0;
      rx.v27_guard = 0;
      rx.v27_carry = 0;
    }
    context.v21_watch = 0;
    InitFramerRx(context, kFramerRawOctets);
  }
  SetStateMachine(rx.machine, StateOp::kSetCount, StateTable<DspContext>{}, 3);
  FaxDecide(rx);
  if (rx.modulation != kFaxV17) FaxDeliverUncoded(context);
}

// Data with the jitter predictor tracking and adapting.
void TestDataTracking(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    rx.enables.jitter_tracking = 1;
    rx.enables.jitter_adaptation = 1;
    rx.jitter_shift = 0;
    rx.jitter_gain = 0x10000000;
  }
  TestData(context);
}

// Symbols of the transmitter's segments: tone, silence, alternation,
// conditioning, bridge.
struct Segments {
  int tone;
  int silence;
  int alternation;
  int conditioning;
  int bridge;
};

Segments SegmentsOf(std::uint16_t mode_word) {
  const FaxRate rate = FaxRateOf(mode_word);
  switch (rate.modulation) {
    case kFaxV17:
      return {458, 54, 256, 2976, 64};
    case kFaxV29:
      return {458, 62, 128, 384, 0};
    default:
      return rate.bit_rate == 2400 ? Segments{230, 24, 50, 1074, 0} : Segments{306, 42, 50, 1074, 0};
  }
}

// Symbols from a transmitted symbol's start to its peak at the matched
// filter's output: the shaping's and the matched filter's 32 taps.
constexpr int kFilterDelaySamples = 31;
// Where the equaliser's main tap sits, in symbols behind the newest.
constexpr int kMainTapSymbols = 10;

}  // namespace

FaxRxTestPlan FaxRxPlanFor(std::uint16_t mode_word, std::int32_t tone_start) {
  const FaxRate rate = FaxRateOf(mode_word);
  const Segments s = SegmentsOf(mode_word);
  const int before = s.tone + s.silence + s.alternation;
  const int arrival = (tone_start + before * rate.samples_per_symbol + kFilterDelaySamples) / rate.samples_per_symbol;
  return {mode_word, arrival + kMainTapSymbols, s.conditioning, s.bridge};
}

FaxRxTestTraining::FaxRxTestTraining(const FaxRxTestPlan& plan) {
  entries_.push_back({TestSettle, plan.settle, "TestSettle"});
  entries_.push_back({TestCondition, plan.conditioning, "TestCondition"});
  if (plan.bridge > 0) entries_.push_back({TestBridge, plan.bridge, "TestBridge"});
  entries_.push_back(plan.jitter ? StateEntry<DspContext>{TestDataTracking, -1, "TestDataTracking"}
                                 : StateEntry<DspContext>{TestData, -1, "TestData"});
}

void FaxRxTestTraining::Start(DspContext& context) const {
  SetStateMachine(context.fax.rx.machine, StateOp::kGo, Table());
}

}  // namespace pump::testing
