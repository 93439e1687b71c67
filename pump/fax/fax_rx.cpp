#include "pump/fax/fax_rx.h"

#include <algorithm>
#include <array>

#include "pump/afe_access/afe_access.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_rx_decisions.h"
#include "pump/fax/fax_rx_descramblers.h"
#include "pump/fax/fax_rx_equaliser.h"
#include "pump/fax/fax_rx_front_end.h"
#include "pump/fax/fax_rx_loops.h"
#include "pump/fax/fax_rx_trellis.h"
#include "pump/fax/fax_shaping.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/framer/framer.h"
#include "pump/fsk/fsk_rx.h"
#include "pump/fax/fax_train.h"
#include "pump/fax/fax_train_measure.h"

namespace pump {
namespace {

constexpr std::int32_t kEnergyPerSymbol = 3072;
constexpr std::int32_t kOneSample = 0x40000000;

void ConfigureSets(FaxRxRecord& rx) {
  switch (rx.modulation) {
    case kFaxV17:
      rx.training_points = kV17Training.data();
      rx.cells = FaxV17CellTable(rx.bits).data();
      rx.matched = kV29V17Shaping.data();
      rx.matched_gain = 8192;
      break;
    case kFaxV29:
      rx.matched = kV29V17Shaping.data();
      rx.matched_gain = 8192;
      rx.training_points = V29TrainingPoints(rx.bits).data();
      rx.data_points = rx.bits == 4 ? kV29_9600.data() : rx.bits == 3 ? kV29_7200.data() : kV29_4800.data();
      break;
    default:
      rx.matched = rx.bits == 2 ? kV27ter2400Shaping.data() : kV27ter4800Shaping.data();
      rx.matched_gain = 4096;
      rx.data_points = rx.bits == 2 ? kV27ter2400.data() : kV27ter4800.data();
      rx.training_points = rx.data_points;
      break;
  }
}

void Deliver(DspContext& context, std::uint32_t bits, int count) {
  if (context.fax.rx.enables.data_output != 0) FramerPutRxBits(context, count, bits);
}

void DeliverTraced(void* user, std::uint32_t bits, int count) {
  Deliver(*static_cast<DspContext*>(user), bits, count);
}

// Timing: the interpolation phase moves by the loop, and a whole sample
// of phase moves the read position. The read position stays where three
// samples around each of the symbol's outputs exist.
void StepTiming(FaxRxRecord& rx) {
  std::int64_t phase = rx.timing_phase;
  if (rx.timing_shift != 0) {
    phase += rx.timing_error >> rx.timing_shift;
    rx.timing_integrator = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        std::int64_t{rx.timing_integrator} + (rx.timing_error >> rx.timing_integral_shift), -kOneSample, kOneSample));
  }
  phase += rx.timing_integrator >> 4;
  for (int k = 0; k < 2 && phase < 0; ++k) {
    phase += kOneSample;
    --rx.read;
  }
  if (phase >= kOneSample) {
    phase -= kOneSample;
    ++rx.read;
  }
  rx.timing_phase = static_cast<std::int32_t>(std::clamp<std::int64_t>(phase, 0, kOneSample - 1));
  rx.read = std::clamp(rx.read, 1, rx.demod_fill - rx.samples_per_symbol - 1);
}

FaxComplex Interpolated(const FaxRxRecord& rx, int k) {
  return {FaxInterpolate(rx.demod_i[k - 1], rx.demod_i[k], rx.demod_i[k + 1], rx.timing_phase),
          FaxInterpolate(rx.demod_q[k - 1], rx.demod_q[k], rx.demod_q[k + 1], rx.timing_phase)};
}

void Adapt(FaxRxRecord& rx) {
  if (rx.enables.adaptation != 0 && rx.valid != 0) FaxEqAdapt(rx, FaxEqError(rx));
}

void FaxSymbol(DspContext& context) {
  FaxRxRecord& rx = context.fax.rx;
  StepTiming(rx);
  FaxComplex pair[2] = {};
  for (int j = 0; j < rx.samples_per_symbol; ++j) {
    const FaxComplex x = Interpolated(rx, rx.read + j);
    FaxPushInterpolated(rx, x.i, x.q);
    if (j == 0) pair[0] = FaxMatchedFilter(rx);
    if (j == rx.half_symbol) pair[1] = FaxMatchedFilter(rx);
  }
  rx.read += rx.samples_per_symbol;
  FaxGainStep(rx, pair);
  FaxEqPush(rx, pair);
  if (rx.enables.decisions != 0) FaxEqOutput(rx);
  RunStateMachine(context, rx.machine);
  FaxJitterPredict(rx);
  if (rx.enables.decisions != 0) {
    FaxLoops(rx);
    FaxJitterAdapt(rx);
    Adapt(rx);
    const bool odd_while_tracking = (rx.symbol_parity & 1) != 0 && rx.enables.jitter_tracking != 0;
    if (rx.enables.second_pass != 0 && !odd_while_tracking) {
      FaxEqOutput(rx);
      Adapt(rx);
    }
  }
  if (rx.train.measure.enabled != 0) FaxMeasureStep(rx);
  FaxTimingDetector(rx);
  ++rx.symbol_parity;
}

void FaxRx(DspContext& context) {
  FaxRxRecord& rx = context.fax.rx;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
  std::array<std::int16_t, kBlockSamples> clean{};
  for (std::size_t k = 0; k < n; ++k) clean[k] = FaxDcRemove(rx.dc, context.input_block[k]);
  if (context.v21_watch != 0) FskRx(context);
  FaxDemodulate(rx, std::span(clean).first(n));
  rx.block_magnitude = 0;
  while (rx.demod_fill - rx.read > rx.samples_per_symbol + 4) FaxSymbol(context);
  rx.previous_block_magnitude = rx.block_magnitude;
  // The unread samples, with the one before them, to the front.
  const int keep_from = std::max(0, rx.read - 1);
  std::copy(rx.demod_i + keep_from, rx.demod_i + rx.demod_fill, rx.demod_i);
  std::copy(rx.demod_q + keep_from, rx.demod_q + rx.demod_fill, rx.demod_q);
  rx.demod_fill -= keep_from;
  rx.read -= keep_from;
  if (rx.enables.traceback != 0) {
    FaxTraceback(rx, DeliverTraced, &context);
  } else {
    rx.block_symbols = 0;
  }
}

constexpr StateEntry<DspContext> kFaxRxEntries[] = {{FaxRx, -1, "FaxRx"}};

}  // namespace

StateTable<DspContext> FaxRxTable() { return kFaxRxEntries; }

void ConfigureFaxRx(DspContext& context, std::uint16_t mode_word) {
  FaxRxRecord& rx = context.fax.rx;
  const StateMachine<DspContext> machine = rx.machine;
  const FaxTrainingSnapshot snapshot = rx.train.snapshot;  // what a short training starts from
  rx = {};
  rx.machine = machine;
  rx.train.snapshot = snapshot;
  const FaxRate rate = FaxRateOf(mode_word);
  rx.mode_word = mode_word;
  rx.modulation = static_cast<std::uint8_t>(rate.modulation);
  rx.bits = static_cast<std::uint8_t>(rate.bits_per_symbol);
  rx.symbols_per_block = rate.symbols_per_block;
  rx.samples_per_symbol = rate.samples_per_symbol;
  rx.half_symbol = rate.samples_per_symbol / 2;
  rx.energy_threshold = kEnergyPerSymbol * rate.symbols_per_block;
  ConfigureSets(rx);
  rx.read = 1;
  rx.demod_fill = 1;
  rx.gain_mantissa = kFaxGainUnity;
  rx.gain_rate_decay = 5;
  rx.reset_pending = 1;
}

void StartFaxRx(DspContext& context, int mode_word) {
  ConfigureFaxRx(context, static_cast<std::uint16_t>(mode_word));
  SetStateMachine(context.rx, StateOp::kGo, FaxRxTable());
  StartFaxTraining(context, mode_word);
}

void FaxDeliverUncoded(DspContext& context) {
  FaxRxRecord& rx = context.fax.rx;
  const std::uint32_t bits = rx.modulation == kFaxV27ter ? V27terDescramble(rx, rx.decoded, rx.bits)
                                                         : FaxDescramble(rx, rx.decoded, rx.bits);
  Deliver(context, bits, rx.bits);
}

}  // namespace pump
