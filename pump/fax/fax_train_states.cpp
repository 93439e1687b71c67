#include <algorithm>
#include <cstdlib>

#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_interface.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_rx.h"
#include "pump/fax/fax_rx_decisions.h"
#include "pump/fax/fax_rx_equaliser.h"
#include "pump/fax/fax_rx_trellis.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/detect/saturate.h"
#include "pump/fax/fax_train.h"
#include "pump/fax/fax_train_analysis.h"
#include "pump/fax/fax_train_measure.h"
#include "pump/framer/data_framer.h"
#include "pump/framer/framer.h"
#include "pump/packets/dp_packets.h"
#include "pump/core/host_transfer.h"

namespace pump {
namespace {

using Machine = StateMachine<DspContext>;

constexpr std::int32_t kLevelFloor = 8192;
constexpr std::int32_t kTooLoud = 24577;
constexpr std::int16_t kTrainingFloorDb = -49;
constexpr std::int16_t kDataFloorDb = -47;
constexpr std::int32_t kLockLimit = 800;
// V.29's and V.27ter's trainings settle their timing only with each shift
// of the timing loop 4 more than their tables give (measured: with the
// tables' own shifts V.29 loses bits at every rate); V.17's follow a
// 100 ppm clock offset only with its table's own shifts.
int TimingErrorScale(const FaxRxRecord& rx) { return rx.modulation == kFaxV17 ? 0 : 4; }
// Entries every table shares.
constexpr std::int32_t kSilenceEntry = 0;
constexpr std::int32_t kWait0Entry = 1;

FaxRxRecord& Rx(DspContext& context) { return context.fax.rx; }

std::int32_t EntryCount(const Machine& m) { return m.table[static_cast<std::size_t>(m.position)].count; }
bool FirstSymbol(const FaxRxRecord& rx) { return rx.machine.remaining_count == EntryCount(rx.machine); }
bool LastSymbol(const FaxRxRecord& rx) { return rx.machine.remaining_count == 1; }

bool V17(const FaxRxRecord& rx) { return rx.modulation == kFaxV17; }
bool V29(const FaxRxRecord& rx) { return rx.modulation == kFaxV29; }
bool V27(const FaxRxRecord& rx) { return rx.modulation == kFaxV27ter; }
bool ShortTraining(const FaxRxRecord& rx) { return rx.train.short_table != 0; }

// Runs `entry` for n more symbols (this tick included in the count the
// engine takes off), then the entries after it.
void GoTo(FaxRxRecord& rx, std::int32_t entry, std::int32_t n) {
  rx.machine.position = entry;
  rx.machine.remaining_count = n + 1;
  rx.machine.deferred_flag = 0;
}
void BackOneEntry(FaxRxRecord& rx, std::int32_t n) { GoTo(rx, rx.machine.position - 1, n); }
void Restart(FaxRxRecord& rx) { SetStateMachine(rx.machine, StateOp::kRestartAt, {}, kSilenceEntry); }
void HoldCount(FaxRxRecord& rx) { SetStateMachine(rx.machine, StateOp::kSetCount, {}, 3); }
void EndState(FaxRxRecord& rx) { SetStateMachine(rx.machine, StateOp::kEndStep); }

void SetCarrierGains(FaxRxRecord& rx, std::int32_t phase, int phase_shift, std::int32_t frequency, int frequency_shift) {
  rx.phase_gain = phase;
  rx.phase_shift = static_cast<std::uint8_t>(phase_shift);
  rx.frequency_gain = frequency;
  rx.frequency_shift = static_cast<std::uint8_t>(frequency_shift);
}

void SetTiming(FaxRxRecord& rx, int proportional, int integral) {
  if (proportional != 0) {
    proportional += TimingErrorScale(rx);
    integral += TimingErrorScale(rx);
  }
  rx.timing_shift = static_cast<std::uint8_t>(proportional);
  rx.timing_integral_shift = static_cast<std::uint8_t>(integral);
}

std::int32_t FastGainRate(const FaxRxRecord& rx) { return V27(rx) ? 0x30000000 : 0x20000000; }

void RaiseGainRate(FaxRxRecord& rx) { rx.gain_rate = std::min(0x20000000, rx.gain_rate + rx.gain_rate / 4); }

// ---- carrier checks -----------------------------------------------------------

// A block whose post-gain magnitude fell below the energy threshold (its
// sum's sign then turns so that one block triggers once), a low input
// level or a level below `floor_db`.
bool CarrierLost(FaxRxRecord& rx, std::int16_t floor_db) {
  const bool weak_block = rx.previous_block_magnitude > 0 && rx.previous_block_magnitude < rx.energy_threshold;
  if (!weak_block && rx.level_average >= kLevelFloor && rx.level_db >= floor_db) return false;
  if (weak_block) rx.previous_block_magnitude = -rx.previous_block_magnitude;
  return true;
}

bool TrainingCheck(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (!CarrierLost(rx, kTrainingFloorDb)) return false;
  Restart(rx);
  return true;
}

// The table back at silence, the controller told the data carrier is gone.
void DataCarrierLost(DspContext& context) {
  Restart(Rx(context));
  const DpPacketBytes packet = BuildDpPacket(DpFaxCdPayload{});
  PostDpPacket(*context.host, packet.code, packet.Payload());
}

bool DataCheck(DspContext& context) {
  if (!CarrierLost(Rx(context), kDataFloorDb)) return false;
  DataCarrierLost(context);
  return true;
}

bool LevelCheck(FaxRxRecord& rx) {
  if (rx.magnitude < kTooLoud) return false;
  GoTo(rx, kWait0Entry, 7);
  return true;
}

void Report(DspContext& context, std::uint8_t code, bool carrier) {
  SetDpStatus(*context.host, code, true);
  SetDpStatus(*context.host, kStatusCarrier, carrier);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

// ---- the alternation ----------------------------------------------------------

// The alternation check of the alternation states: when it is absent the
// machine goes back one entry for 2 with the gain adapting faster and the
// loops off.
bool AlternationGone(FaxRxRecord& rx) {
  if (!FaxAlternationAbsent(rx.train)) return false;
  BackOneEntry(rx, 2);
  RaiseGainRate(rx);
  rx.train.loops_on = 0;
  return true;
}

bool ReversedEarly(FaxRxRecord& rx) {
  if (!FaxEarlyReversal(rx)) return false;
  BackOneEntry(rx, 7);
  RaiseGainRate(rx);
  return true;
}

// The training point the alternation expects next, as the decided point.
void AlternateReference(FaxRxRecord& rx) {
  FaxTrainRecord& t = rx.train;
  rx.point = t.alternation_phase;
  rx.d_i = 64 * rx.training_points[rx.point].i;
  rx.d_q = 64 * rx.training_points[rx.point].q;
  rx.valid = 1;
  t.alternation_phase ^= 1;
}

void RxSilence(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) Report(context, 0, false);
  FaxTrainingRearm(rx);
  if (rx.level_average < kLevelFloor) SetStateMachine(rx.machine, StateOp::kSetCount, {}, 3);
}

void RxWait0(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.gain_rate = FastGainRate(rx);
  rx.gain_rate_decay = 5;
  rx.reset_pending = 0;
  rx.train.loop_gain = 0;
  rx.train.normaliser_gain = 4096;
  FaxSegmentAnalysis(rx);
  if (V17(rx)) FaxMeasureClear(rx.train);
  if (rx.level_average < kLevelFloor) {
    Restart(rx);
    return;
  }
  if (rx.magnitude > 0x6000) ++rx.machine.remaining_count;
}

void RxWait1(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  rx.gain_rate_decay = 6;
  std::fill(std::begin(t.loop_phase), std::end(t.loop_phase), 0);
  t.loop_frequency = 0;
  t.loops_on = 0;
  std::fill(std::begin(t.minimum), std::end(t.minimum), 0);
  std::fill(std::begin(t.maximum), std::end(t.maximum), 0);
  std::fill(std::begin(t.quadrature), std::end(t.quadrature), 0);
  std::fill(std::begin(t.spread), std::end(t.spread), 0);
  FaxSegmentAnalysis(rx);
  if (FaxAlternationAbsent(t)) ++rx.machine.remaining_count;
  if (!TrainingCheck(context)) LevelCheck(rx);
}

// A strong unmodulated carrier beside the reversals: the DC component at
// least half as strong as the alternation's.
bool CarrierBesideReversals(const FaxTrainRecord& t) {
  return 2 * t.trackers[3 + kFaxDc].magnitude >= std::max(t.trackers[3 + kFaxUpper].magnitude, t.trackers[3 + kFaxLower].magnitude);
}

void RxAlt0(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.train.loop_frequency = 0;
  FaxSegmentAnalysis(rx);
  const std::int32_t left = rx.machine.remaining_count;
  if (left > 2) {
    AlternationGone(rx);
  } else if (left == 2) {
    FaxLoadNormalisers(rx);
    if (V27(rx) && CarrierBesideReversals(rx.train)) BackOneEntry(rx, 7);
  } else {
    FaxLoadLoopPhases(rx);
  }
  if (!TrainingCheck(context)) LevelCheck(rx);
}

void RxAltS0(DspContext& context) { RxAlt0(context); }

void RxAlt1(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxSegmentAnalysis(rx);
  if (!AlternationGone(rx)) ReversedEarly(rx);
  rx.train.loop_gain = 0x4000;
  if (ShortTraining(rx)) rx.gain_rate = 0x1000000;
  if (!TrainingCheck(context)) LevelCheck(rx);
}

void RxAltS1(DspContext& context) { RxAlt1(context); }

void Alternation2(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  t.alternation_phase ^= 1;
  rx.enables = {};
  rx.gain_rate_decay = 7;
  t.tracker_shift = 1;
  rx.train.countdown = 0x7FFF;
  rx.train.reversal_flags = 0;
  FaxTrainingClearCarrier(rx);
  FaxLoopGainDecay(rx);
  FaxSegmentAnalysis(rx);
  if (!AlternationGone(rx)) ReversedEarly(rx);
  FaxTrackRotated(rx);
}

void RxAlt2(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  Alternation2(context);
  if (!TrainingCheck(context)) LevelCheck(rx);
}

// True when the symbol just taken is the block's last.
bool LastOfBlock(const FaxRxRecord& rx) { return rx.demod_fill - rx.read <= rx.samples_per_symbol + 4; }

void RxAltS2(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  rx.gain_rate = 0;
  const std::int32_t position = rx.machine.position;
  Alternation2(context);
  if (rx.machine.position != position) return;  // sent back
  FaxAlternationMeasurement(rx);
  if (LastSymbol(rx)) {
    if (!LastOfBlock(rx)) {
      ++rx.machine.remaining_count;
    } else {
      const std::int32_t phase_turn = (t.snapshot.reference_angle - t.measured_angle) & 0xFFFF;
      rx.carrier_phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(phase_turn) << 16);
    }
  }
  if (!TrainingCheck(context)) LevelCheck(rx);
}

void RxEqLoad(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxLoadSnapshot(rx);
  rx.carrier_phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(rx.carrier_phase) +
                                               (static_cast<std::uint32_t>(rx.carrier_frequency) & ~0x1Fu));
  rx.enables.decisions = 1;
  rx.correction2 = 0;
  rx.jitter_shift = 31;
  rx.gain_rate_decay = 8;
}

void Short0(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  rx.enables = {};
  rx.enables.decisions = 1;
  const std::int32_t left = rx.machine.remaining_count;
  if (left <= 8) {
    FaxPair32& sum = t.short_sum[(left & 1) != 0 ? 0 : 1];
    if (left == 8) t.short_sum[0] = t.short_sum[1] = {};
    sum.i = Saturate32(std::int64_t{sum.i} + rx.y_i);
    sum.q = Saturate32(std::int64_t{sum.q} + rx.y_q);
  }
  if (left == 1) {
    const std::int16_t a = FaxAngle(t.short_sum[0].i, t.short_sum[0].q);
    const std::int16_t b = FaxAngle(t.short_sum[1].i, t.short_sum[1].q);
    const bool b_ahead = static_cast<std::int16_t>(b - a) > 0;
    t.alternation_phase = b_ahead ? 1 : 0;
    const std::int32_t angle = b_ahead ? a : b;
    rx.carrier_phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(rx.carrier_phase) -
                                                 (static_cast<std::uint32_t>(angle & 0xFFFF) << 16) - 0x72E40000u);
  }
  TrainingCheck(context);
}

void ShortAlternation(DspContext& context) {
  AlternateReference(Rx(context));
  TrainingCheck(context);
}

void Short1(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.enables.carrier_loop = 1;
  rx.enables.amplitude_loop = 1;
  SetCarrierGains(rx, 0x60000000, 2, 0, 8);
  rx.amplitude_shift = 12;
  ShortAlternation(context);
}

void Short2(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    rx.enables.jitter_tracking = 1;
    rx.jitter_shift = 0;
    rx.jitter_gain = 0x10000000;
  }
  SetCarrierGains(rx, 0x40000000, 2, 0x20000000, 8);
  rx.amplitude_shift = 11;
  ShortAlternation(context);
}

void SStartDetect(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  SetCarrierGains(rx, 0x30000000, 2, 0x20000000, 8);
  rx.amplitude_shift = 10;
  const std::int32_t expected_i = 64 * rx.training_points[rx.train.alternation_phase].i;
  const std::int32_t expected_q = 64 * rx.training_points[rx.train.alternation_phase].q;
  if (std::abs(rx.y_i - expected_i) + std::abs(rx.y_q - expected_q) >= 3072) {
    // The conditioning segment has begun: the two corrections merged.
    const std::int64_t a = rx.correction1 >> 16;
    const std::int64_t b = rx.correction2 >> 16;
    rx.correction1 = Saturate32((a + b + ((a * b) >> 15)) << 16);
    rx.correction2 = 0;
    rx.descrambler = kFaxV17TrainingSeed;
    FaxTrainingReference(rx);
    EndState(rx);
  } else {
    AlternateReference(rx);
    HoldCount(rx);
  }
  TrainingCheck(context);
}

// Start detection; at the reversal the conditioning's entry `conditioning`
// runs next. Without a reversal by the end of the last detection state
// the alternation went on too long to be a training: the table restarts
// at silence rather than condition on the alternation.
void StartDetect(DspContext& context, std::int32_t conditioning, bool last_state) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  t.tracker_shift = 2;
  AlternateReference(rx);
  rx.enables = {};
  FaxLoopGainDecay(rx);
  FaxSegmentAnalysis(rx);
  FaxTrackRotated(rx);
  if (FaxReversalCountdown(rx)) {
    rx.descrambler = V17(rx) ? kFaxV17TrainingSeed : V29(rx) ? kFaxV29TrainingSeed : kFaxV27terTrainingSeed;
    rx.v27_guard = 0;
    rx.v27_carry = 0;
    rx.gain_rate_decay = V17(rx) ? 8 : V29(rx) ? 6 : 5;
    for (auto& g : t.group) std::fill(std::begin(g), std::end(g), FaxPair32{});
    for (auto& g : t.previous) std::fill(std::begin(g), std::end(g), FaxPair32{});
    SetStateMachine(rx.machine, StateOp::kRestartAt, {}, conditioning);
  } else if (last_state && LastSymbol(rx)) {
    Restart(rx);
    return;
  }
  TrainingCheck(context);
}
void StartDetect0(DspContext& context) { StartDetect(context, Rx(context).machine.position + 2, false); }
void StartDetect1(DspContext& context) { StartDetect(context, Rx(context).machine.position + 1, true); }

// ---- conditioning ---------------------------------------------------------------

void RxEqClr(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.enables.carrier_loop = 1;
  SetCarrierGains(rx, 0x40000000, 0, 0x40000000, 1);
  rx.amplitude_shift = 0;
  rx.gain_rate = 0;
  FaxTrainingClearEqualiser(rx);
  FaxMeasureClear(rx.train);
  rx.train.lock_counter = 0;
  FaxTrainingReference(rx);
}

bool LongV17(const FaxRxRecord& rx) { return V17(rx) && !ShortTraining(rx); }

void Condition(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.train.measure.enabled = LongV17(rx) && rx.enables.adaptation != 0 ? 1 : 0;
  FaxTrainingReference(rx);
  DataCheck(context);
}

void RxPrs0(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.enables.decisions = rx.enables.adaptation = rx.enables.second_pass = rx.enables.carrier_loop = 1;
  rx.amplitude_shift = 0;
  if (FirstSymbol(rx)) rx.train.measure.step = 0x60000000;
  rx.step = V29(rx) ? 0x3000 : 6144;
  if (LastSymbol(rx)) {
    rx.timing_ref_i = rx.timing_product_i;
    rx.timing_ref_q = rx.timing_product_q;
  }
  Condition(context);
}

void RxPrs1(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  SetCarrierGains(rx, 0x40000000, 0, 0x50000000, 2);
  if (FirstSymbol(rx)) {
    rx.jitter_gain = 0;
    rx.train.measure.step = 0x30000000;
  }
  if (V27(rx)) {
    SetTiming(rx, 5, 10);
    rx.step = 4096;
  } else if (V29(rx)) {
    SetTiming(rx, 5, 9);
    rx.step = 0x3000;
  } else {
    SetTiming(rx, 5, 11);
    rx.step = 6144;
  }
  rx.timing_ref_i += (rx.timing_product_i - rx.timing_ref_i) / 256;
  rx.timing_ref_q += (rx.timing_product_q - rx.timing_ref_q) / 256;
  Condition(context);
}

void RxPrs2(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  SetCarrierGains(rx, 0x30000000, 0, 0x30000000, 1);
  rx.amplitude_shift = 7;
  if (FirstSymbol(rx)) {
    rx.jitter_shift = 0;
    rx.jitter_gain = 0x10000000;
  }
  rx.enables.jitter_tracking = rx.enables.jitter_adaptation = 1;
  rx.enables.adaptation = rx.enables.carrier_loop = rx.enables.amplitude_loop = 1;
  if (V27(rx)) {
    SetTiming(rx, 5, 10);
    rx.step = 2048;
  } else if (V29(rx)) {
    SetTiming(rx, 5, 10);
    rx.step = 0x3000;
  } else {
    SetTiming(rx, 6, 12);
    rx.step = 6144;
  }
  Condition(context);
}

void RxPrs3(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  SetCarrierGains(rx, 0x20000000, 0, 0x10000000, 1);
  if (rx.machine.remaining_count > 2) {
    if (V27(rx)) {
      SetTiming(rx, 6, 11);
      rx.step = 1024;
      rx.amplitude_shift = 8;
    } else if (V29(rx)) {
      SetTiming(rx, 5, 10);
      rx.step = 8192;
      rx.amplitude_shift = 8;
    } else {
      SetTiming(rx, 7, 14);
      rx.step = 4096;
      rx.amplitude_shift = 7;
    }
  } else {
    rx.enables.adaptation = rx.enables.carrier_loop = rx.enables.amplitude_loop = rx.enables.jitter_adaptation = 0;
  }
  FaxTrainingReference(rx);
  const bool measure_now = LongV17(rx) && rx.machine.remaining_count % 16 == 0;
  rx.train.measure.enabled = LongV17(rx) && rx.enables.adaptation != 0 && !measure_now ? 1 : 0;
  if (measure_now) FaxReferenceMeasurement(rx);
  DataCheck(context);
}

// The short training's conditioning, from the long training's equaliser.
void ShortCondition(DspContext& context, int amplitude_shift) {
  FaxRxRecord& rx = Rx(context);
  SetCarrierGains(rx, 0x20000000, 2, 0x10000000, 8);
  rx.amplitude_shift = static_cast<std::uint8_t>(amplitude_shift);
  FaxTrainingReference(rx);
  DataCheck(context);
}

void RxSPrs0(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.enables.decisions = rx.enables.adaptation = rx.enables.second_pass = 1;
  rx.enables.carrier_loop = rx.enables.amplitude_loop = 1;
  SetTiming(rx, 6, 12);
  rx.step = 4096;
  rx.train.lock_counter = 0;
  SetCarrierGains(rx, 0x30000000, 2, 0x20000000, 8);
  rx.amplitude_shift = 10;
  FaxTrainingReference(rx);
  DataCheck(context);
}
void RxSPrs1(DspContext& context) { ShortCondition(context, 9); }
void RxSPrs2(DspContext& context) {
  SetTiming(Rx(context), 7, 14);
  ShortCondition(context, 8);
}
void RxSPrs3(DspContext& context) { ShortCondition(context, 7); }

// V.17's bridge: the nearest of the four training points by sectors.
int BridgePoint(std::int64_t i, std::int64_t q) {
  const std::int64_t c = i - 3 * q;
  const std::int64_t d = q + 3 * i;
  if (c < -q - 3 * i) return d < c ? 0 : 3;
  return d < c ? 1 : 2;
}

void RxRateV17(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.point = BridgePoint(rx.y_i, rx.y_q);
  rx.d_i = 64 * rx.training_points[rx.point].i;
  rx.d_q = 64 * rx.training_points[rx.point].q;
  rx.valid = 1;
  rx.delivered_subset = 2 * rx.point;
  rx.jitter_shift = 2;
  if (LastSymbol(rx) && LongV17(rx)) {
    FaxReferenceMeasurement(rx);
    FaxSaveSnapshot(rx);
  }
  DataCheck(context);
}

// ---- data -------------------------------------------------------------------

// The common step of the mark and data states; false when the table
// restarted.
bool CommonStep(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  FaxTrainRecord& t = rx.train;
  ++t.measurement_count;
  SetCarrierGains(rx, 0x20000000, 3, 0x10000000, 8);
  rx.amplitude_shift = V17(rx) ? 7 : 8;
  t.measure.enabled = 0;
  rx.enables.second_pass = 0;
  const std::int32_t add = 80 - std::abs(rx.y_q) / 16 - std::abs(rx.y_i) / 16;
  t.lock_counter = static_cast<std::uint16_t>(add > 0 ? t.lock_counter + add : t.lock_counter / 2);
  if (t.lock_counter > kLockLimit) {
    // A burst that stops at once leaves outputs near zero before its
    // level falls: the carrier is lost all the same.
    t.lock_counter = 0;
    DataCarrierLost(context);
    return false;
  }
  FaxDecide(rx);
  return !DataCheck(context);
}

void RestartFramer(DspContext& context) {
  if (context.framer.rx_type != kFramerRawOctets) InitFramerRx(context, kFramerRawOctets);
  context.v21_watch = 0;
}

void DataOn(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) Report(context, 8, true);
  rx.enables.data_output = 1;
}

void WaitTrelV17(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    const std::int32_t subset = rx.delivered_subset;
    FaxTrellisReset(rx);
    rx.delivered_subset = subset;
  }
  SetTiming(rx, 8, 20);
  rx.step = 128;
  rx.enables.adaptation = rx.enables.second_pass = rx.enables.carrier_loop = rx.enables.amplitude_loop = 0;
  rx.enables.jitter_adaptation = rx.enables.traceback = 0;
  CommonStep(context);
}

void MarkV17(DspContext& context, bool short_training) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    RestartFramer(context);
    if (short_training) rx.jitter_gain = 0x10000000;
  }
  rx.jitter_shift = short_training ? 4 : 3;
  rx.enables.adaptation = rx.enables.carrier_loop = rx.enables.amplitude_loop = rx.enables.jitter_adaptation = 1;
  rx.enables.traceback = 1;
  CommonStep(context);
}
void RxMarkV17(DspContext& context) { MarkV17(context, false); }
void RxMarkV17S(DspContext& context) { MarkV17(context, true); }

void RxData0V17(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (ShortTraining(rx)) {
    rx.gain_rate = 0;
    rx.train.lock_counter = 0;
  }
  CommonStep(context);
}

void RxData1V17(DspContext& context) {
  DataOn(context);
  if (CommonStep(context)) Rx(context).enables.adaptation = 1;
}

void RxDataV17(DspContext& context) {
  HoldCount(Rx(context));
  CommonStep(context);
}

void DataUncoded(DspContext& context) {
  DataOn(context);
  if (CommonStep(context)) FaxDeliverUncoded(context);
}

void RxData0V29(DspContext& context) { DataUncoded(context); }
void RxData1V27(DspContext& context) { DataUncoded(context); }

void MarkV29(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) RestartFramer(context);
  rx.enables.traceback = 0;
  rx.enables.adaptation = rx.enables.carrier_loop = rx.enables.amplitude_loop = rx.enables.jitter_adaptation = 1;
  SetTiming(rx, 7, 15);
  rx.step = 1536;
  const bool running = CommonStep(context);
  rx.enables.second_pass = 1;
  if (running) FaxDeliverUncoded(context);
}

void RxMarkV29(DspContext& context) { MarkV29(context); }

void RxMark0V29(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  rx.enables.second_pass = 1;
  rx.descrambler = 0;
  rx.train.lock_counter = 0;
  MarkV29(context);
}

void RxDataV29(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  HoldCount(rx);
  rx.jitter_shift = 3;
  const bool running = CommonStep(context);
  SetCarrierGains(rx, 0x10000000, 2, 0x4000000, 6);
  if (running) FaxDeliverUncoded(context);
}

void RxMarkV27(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  if (FirstSymbol(rx)) {
    rx.train.lock_counter = 0;
    RestartFramer(context);
  }
  rx.enables.adaptation = rx.enables.carrier_loop = rx.enables.amplitude_loop = rx.enables.jitter_adaptation = 1;
  const bool running = CommonStep(context);
  SetTiming(rx, 7, 18);
  rx.step = 128;
  if (running) FaxDeliverUncoded(context);
}

void RxDataV27(DspContext& context) {
  FaxRxRecord& rx = Rx(context);
  HoldCount(rx);
  rx.jitter_shift = 3;
  if (CommonStep(context)) FaxDeliverUncoded(context);
}

#define FAX_RX_STATE(handler, count) \
  StateEntry<DspContext> { handler, count, #handler }

// The entries after the data state never run: the data state holds its
// count until a carrier check or the lock counter restarts the table.
#define FAX_RX_UNREACHED(name, count) \
  StateEntry<DspContext> { nullptr, count, #name }

constexpr StateEntry<DspContext> kV17Long[] = {
    FAX_RX_STATE(RxSilence, 3),      FAX_RX_STATE(RxWait0, 48),       FAX_RX_STATE(RxWait1, 32),
    FAX_RX_STATE(RxAlt0, 3),         FAX_RX_STATE(RxAlt1, 16),        FAX_RX_STATE(RxAlt2, 48),
    FAX_RX_STATE(StartDetect0, 48),  FAX_RX_STATE(StartDetect1, 400), FAX_RX_STATE(RxEqClr, 1),
    FAX_RX_STATE(RxPrs0, 744),       FAX_RX_STATE(RxPrs1, 744),       FAX_RX_STATE(RxPrs2, 744),
    FAX_RX_STATE(RxPrs3, 743),       FAX_RX_STATE(RxRateV17, 64),     FAX_RX_STATE(WaitTrelV17, 16),
    FAX_RX_STATE(RxMarkV17, 32),     FAX_RX_STATE(RxData0V17, 32),    FAX_RX_STATE(RxData1V17, 24),
    FAX_RX_STATE(RxDataV17, 1024),   FAX_RX_UNREACHED(RxMarkEndV17, 40), FAX_RX_UNREACHED(RxEnd, -1),
};

constexpr StateEntry<DspContext> kV17Short[] = {
    FAX_RX_STATE(RxSilence, 3),      FAX_RX_STATE(RxWait0, 24),       FAX_RX_STATE(RxWait1, 16),
    FAX_RX_STATE(RxAltS0, 3),        FAX_RX_STATE(RxAltS1, 16),       FAX_RX_STATE(RxAltS2, 64),
    FAX_RX_STATE(RxEqLoad, 1),       FAX_RX_STATE(Short0, 31),        FAX_RX_STATE(Short1, 32),
    FAX_RX_STATE(Short2, 32),        FAX_RX_STATE(SStartDetect, 400), FAX_RX_STATE(RxSPrs0, 8),
    FAX_RX_STATE(RxSPrs1, 8),        FAX_RX_STATE(RxSPrs2, 8),        FAX_RX_STATE(RxSPrs3, 13),
    FAX_RX_STATE(WaitTrelV17, 16),   FAX_RX_STATE(RxMarkV17S, 32),    FAX_RX_STATE(RxData0V17, 32),
    FAX_RX_STATE(RxData1V17, 24),    FAX_RX_STATE(RxDataV17, 1024),   FAX_RX_UNREACHED(RxMarkEndV17, 40),
    FAX_RX_UNREACHED(RxEnd, -1),
};

constexpr StateEntry<DspContext> kV29[] = {
    FAX_RX_STATE(RxSilence, 3),      FAX_RX_STATE(RxWait0, 24),       FAX_RX_STATE(RxWait1, 24),
    FAX_RX_STATE(RxAlt0, 3),         FAX_RX_STATE(RxAlt1, 12),        FAX_RX_STATE(RxAlt2, 24),
    FAX_RX_STATE(StartDetect0, 24),  FAX_RX_STATE(StartDetect1, 100), FAX_RX_STATE(RxEqClr, 1),
    FAX_RX_STATE(RxPrs0, 64),        FAX_RX_STATE(RxPrs1, 96),        FAX_RX_STATE(RxPrs2, 96),
    FAX_RX_STATE(RxPrs3, 127),       FAX_RX_STATE(RxMark0V29, 1),     FAX_RX_STATE(RxMarkV29, 46),
    FAX_RX_STATE(RxData0V29, 1),     FAX_RX_STATE(RxDataV29, 1),      FAX_RX_UNREACHED(RxMarkEndV29, 40),
    FAX_RX_UNREACHED(RxEnd, -1),
};

constexpr StateEntry<DspContext> kV27ter[] = {
    FAX_RX_STATE(RxSilence, 3),      FAX_RX_STATE(RxWait0, 14),       FAX_RX_STATE(RxWait1, 10),
    FAX_RX_STATE(RxAlt0, 3),         FAX_RX_STATE(RxAlt1, 5),         FAX_RX_STATE(RxAlt2, 5),
    FAX_RX_STATE(StartDetect0, 4),   FAX_RX_STATE(StartDetect1, 32),  FAX_RX_STATE(RxEqClr, 1),
    FAX_RX_STATE(RxPrs0, 268),       FAX_RX_STATE(RxPrs1, 268),       FAX_RX_STATE(RxPrs2, 268),
    FAX_RX_STATE(RxPrs3, 269),       FAX_RX_STATE(RxMarkV27, 8),      FAX_RX_UNREACHED(RxData0V27, 0),
    FAX_RX_STATE(RxData1V27, 1),     FAX_RX_STATE(RxDataV27, 1),      FAX_RX_UNREACHED(RxMarkEndV27, 40),
    FAX_RX_UNREACHED(RxEnd, -1),
};

#undef FAX_RX_STATE
#undef FAX_RX_UNREACHED

}  // namespace

StateTable<DspContext> FaxTrainingTable(FaxTrainingKind kind) {
  switch (kind) {
    case FaxTrainingKind::kV17Long:
      return kV17Long;
    case FaxTrainingKind::kV17Short:
      return kV17Short;
    case FaxTrainingKind::kV29:
      return kV29;
    default:
      return kV27ter;
  }
}

void StartFaxTraining(DspContext& context, int mode_word) {
  FaxRxRecord& rx = Rx(context);
  const FaxRate rate = FaxRateOf(static_cast<std::uint16_t>(mode_word));
  FaxTrainingKind kind = FaxTrainingKind::kV27ter;
  if (rate.modulation == kFaxV17) {
    // A short training needs the snapshot of a long one; without it the
    // burst is trained from its long training.
    kind = rate.short_training && rx.train.snapshot.valid != 0 ? FaxTrainingKind::kV17Short : FaxTrainingKind::kV17Long;
  } else if (rate.modulation == kFaxV29) {
    kind = FaxTrainingKind::kV29;
  }
  rx.train.short_table = kind == FaxTrainingKind::kV17Short ? 1 : 0;
  SetStateMachine(rx.machine, StateOp::kGo, FaxTrainingTable(kind), 0);
}

void FaxForgetTraining(DspContext& context) { Rx(context).train.snapshot.valid = 0; }

void FaxTrainingRearm(FaxRxRecord& rx) {
  rx.enables = {};
  rx.phase_shift = rx.frequency_shift = 31;
  rx.amplitude_shift = 0;
  SetTiming(rx, 0, 0);
  rx.timing_integrator = 0;
  rx.gain_rate = FastGainRate(rx);
  rx.gain_rate_decay = 5;
  rx.reset_pending = 1;
  FaxAnalysisClear(rx.train);
}

void FaxTrainingClearCarrier(FaxRxRecord& rx) {
  rx.carrier_frequency = 0;
  rx.correction1 = rx.correction2 = 0;
}

void FaxTrainingClearEqualiser(FaxRxRecord& rx) {
  SetTiming(rx, 0, 0);
  rx.timing_ref_i = rx.timing_ref_q = 0;
  rx.prediction = rx.previous_prediction = rx.raw_prediction = rx.previous_raw_prediction = 0;
  std::fill(std::begin(rx.jitter_history), std::end(rx.jitter_history), std::int16_t{0});
  std::fill(std::begin(rx.jitter_coeff), std::end(rx.jitter_coeff), std::int16_t{0});
  FaxEqClear(rx);
}

}  // namespace pump
