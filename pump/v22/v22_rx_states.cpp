#include "pump/v22/v22_rx_states.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_interface.h"
#include "pump/detect/preprocess.h"
#include "pump/fsk/fsk_start.h"
#include "pump/idle/idle_mode.h"
#include "pump/v22/v22_receiver.h"

namespace pump {
namespace {

constexpr std::int32_t kTrainingError = 0x30000000;
constexpr std::int32_t kSignalBlocks = 8;
// The answerer's noise measurement: 200 ms, from about 80 ms after its
// start, well inside the caller's silence; a signal counts 6 dB over the
// loudest noise of it (the required gain is an amplitude: half of it).
constexpr std::int32_t kQuietBlocks = 20;
constexpr std::int32_t kNoiseMargin = 2;
constexpr std::int16_t kFull = 0x7FFF;
constexpr int kToneRatioOn = 5;
constexpr int kToneRatioOff = 2;
constexpr int kToneLimit = 96;  // samples: one block
// The longest the far end sends 1200 bit/s ones after this end's training
// (a caller's 600 ms after the answerer's S1) and 2400 bit/s ones (200 ms).
constexpr std::int32_t kFarEnd2400Blocks = 80;

V22RxRecord& Rx(DspContext& context) { return context.v22.rx; }
StateMachine<DspContext>& Machine(DspContext& context) { return context.v22.rx_machine; }
bool Answering(const DspContext& context) { return context.call.direction != 1; }

void Core(DspContext& context) { V22ReceiveSamples(context, context.input_block); }
void Control(V22RxRecord& rx, std::uint16_t bits) { rx.control = static_cast<std::uint16_t>(rx.control | bits); }
void ClearControl(V22RxRecord& rx, std::uint16_t bits) {
  rx.control = static_cast<std::uint16_t>(rx.control & ~bits);
}
void End(DspContext& context) { SetStateMachine(Machine(context), StateOp::kEndStep); }
void RestartAt(DspContext& context, std::int32_t index) {
  SetStateMachine(Machine(context), StateOp::kRestartAt, {}, index);
}
void Loops(V22RxRecord& rx, std::int16_t g2, std::int16_t g1) {
  rx.g2 = g2;
  rx.g1 = g1;
}

void V22RxStart(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  const std::int16_t increment = rx.oscillator_increment;
  const std::int32_t bits = rx.bits_per_symbol;
  rx = {};
  rx.oscillator_increment = increment;
  rx.bits_per_symbol = bits;
  rx.mantissa = 32767;
  rx.agc_step = -6144;
  rx.agc_target = kV22AgcTarget;
  rx.control = kV22AgcAdapt;
  rx.ring_read = 8;
  rx.loss_countdown = kV22LossSymbols;
  rx.acquisition_countdown = kV22AcquisitionTicks;
  rx.integrator_weight = 8192;
  SetDpStatus(*context.host, kStatusCarrier, false);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
  InitNotchDetector(context.v22.tone1270, notch::k1270, kToneRatioOn, kToneRatioOff);
  InitNotchDetector(context.v22.tone520, notch::k520, kToneRatioOn, kToneRatioOff);
  std::fill(std::begin(context.input_block), std::end(context.input_block), 0);
}

// The block through the handshake's front end (the rejection filter when
// one is bound, then the AGC), as the notch detectors hear it.
std::span<const std::int32_t> ToneFrontEnd(DspContext& context) {
  HandshakeArea& h = context.handshake;
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kHandshakeBlock);
  PreprocessRx(kPreprocessRejection | kPreprocessAgc,
               std::span<const std::int16_t>(context.input_block, n), context.dc_removal,
               std::span(h.samples, n), h.rejection.coefficients != nullptr ? &h.rejection : nullptr,
               std::span(h.filtered, n), &context.detectors.agc, std::span(h.levelled, n));
  return std::span<const std::int32_t>(h.levelled, n);
}

void V22Wait(DspContext& context) {
  Rx(context).agc_step = -6144;
  Core(context);
}

void V22DetectUSB1(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  rx.agc_step = -4096;
  const std::uint16_t heard = kV22SignalPresent | kV22UnscrambledOnes;
  // The loopback hears its own transmitter, which sends no unscrambled ones
  // whichever carrier it runs on.
  const bool none_to_hear = Answering(context) || context.v22.direct != 0;
  if (none_to_hear || (rx.status & heard) == heard) End(context);
  Core(context);
}

void V22USB1off(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  rx.agc_step = -6144;
  if ((rx.status & kV22UnscrambledOnes) == 0) End(context);
  Core(context);
}

void V22CheckForS1(DspContext& context) {
  if ((Rx(context).status & kV22S1Present) != 0) End(context);
  Core(context);
}

// Whether the far end's signal stands out of the line noise. The level
// threshold alone sits under the noise of a line at 30 dB SNR and less, so
// an answerer would take the noise for the caller and train on it before
// the caller has sent anything. The caller is silent for at least 450 ms
// after our unscrambled ones start: the answerer measures the noise then,
// and from there counts only blocks at least 6 dB over it. The caller hears
// the answerer's ones from its start and has no quiet to measure; nor has
// the loop, whose far end is its own transmitter.
bool FarSignalHeard(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  const bool present = (rx.status & kV22SignalPresent) != 0;
  if (!Answering(context) || context.v22.direct != 0) return present;
  if (rx.quiet_blocks < kQuietBlocks) {
    ++rx.quiet_blocks;
    if (rx.noise_gain == 0 || rx.required_gain < rx.noise_gain) rx.noise_gain = rx.required_gain;
    return false;
  }
  return present && std::int64_t{rx.required_gain} * kNoiseMargin < rx.noise_gain;
}

void V22bRxS1Det(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  Control(rx, kV22AgcAdapt);
  rx.g2 = 0;
  rx.loss_countdown = kV22LossSymbols;
  Core(context);
  if (FarSignalHeard(context)) ++rx.signal_blocks;
  if (rx.signal_blocks > kSignalBlocks && (rx.status & (kV22S1Present | kV22UnscrambledOnes)) == 0) {
    End(context);
  }
  const std::span<const std::int32_t> heard = ToneFrontEnd(context);
  if (RunNotchDetector(context.v22.tone1270, heard, kToneLimit) != 0) {
    StartFsk(context, kFskBell103Answer);
  } else if (RunNotchDetector(context.v22.tone520, heard, kToneLimit) != 0) {
    StartFsk(context, kFskV23SendForward);
  }
}

void V22bRxSamplePick(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  const StateMachine<DspContext>& machine = Machine(context);
  if (machine.remaining_count == machine.table[machine.position].count) {
    // Fresh sums, also when the pick runs again in a retrain.
    rx.acquisition_a = rx.acquisition_b = 0;
    rx.acquisition_countdown = kV22AcquisitionTicks;
  }
  rx.equaliser_step = 0;
  rx.g2 = 0;
  Control(rx, kV22Acquisition | kV22CarrierLossCount);
  rx.agc_step = -1024;
  Core(context);
}

void ReStartTraining(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  rx.decoded_ones = 0;
  ClearControl(rx, kV22Acquisition);
  Control(rx, kV22CarrierLossCount);
  rx.agc_step = -2048;
  V22LoadInitialTaps(rx);
  rx.carrier_integrator = 0;
  rx.carrier_phase = 0;
  rx.phase_error = 0;
  Loops(rx, 10000, 200);
  rx.equaliser_step = 0x7000;
  Core(context);
}

void Trn1200a(DspContext& context, bool bis) {
  V22RxRecord& rx = Rx(context);
  if (bis) Control(rx, kV22TimingCorrelation);
  Loops(rx, 10000, 200);
  rx.agc_step = -1024;
  rx.equaliser_step = 0x7000;
  Core(context);
}

void Trn1200b(DspContext& context, std::int32_t restart) {
  V22RxRecord& rx = Rx(context);
  Control(rx, kV22Decode | kV22CarrierLossCount);
  Loops(rx, 10000, 1536);
  rx.agc_step = -256;
  rx.equaliser_step = 0x5000;
  const bool last = Machine(context).remaining_count == 1;
  Core(context);
  if (last && rx.decision_error > kTrainingError) RestartAt(context, restart);
}

void Trn1200c(DspContext& context, bool bis) {
  V22RxRecord& rx = Rx(context);
  rx.equaliser_step = 0x4000;
  V22TakeTimingReference(rx);
  if (!bis) {
    Control(rx, kV22TimingCorrelation);
    Loops(rx, 8192, 1024);
  }
  Core(context);
}

void V22bRxTrn1200d(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  Loops(rx, 3000, 512);
  rx.n1 = rx.n2 = rx.timing_enable = kFull;
  rx.gain_a = 0x4000;
  rx.gain_b = 256;
  Core(context);
}

void V22WaitSB1(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  const bool bis_row = Machine(context).position < kV22RxV22;
  if ((rx.status & kV22Ones64) == 0) {
    // Training again in the row it runs: restarted into the V.22 row, a
    // V.22bis receiver that heard S1 would stay at 1200 bit/s while the far
    // end, which heard ours, goes on to 2400.
    RestartAt(context, bis_row ? kV22RxBisTraining : kV22RxV22Training);
  } else if (rx.s1_latched != 0 && context.call.mode != 6 && bis_row) {
    // 2400 bit/s from the V.22bis row only: the V.22 row has no 16-point
    // training, and a training restarted into it stays at 1200 bit/s.
    rx.bits_per_symbol = 4;
  }
  rx.equaliser_step = 0x4000;
  Core(context);
}

void V22bRxTrn2400(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  if (rx.bits_per_symbol == 2) {
    // Nothing to train at 1200 bit/s, but the block's samples are still
    // received: a block left out jumps the signal by six symbols and
    // corrupts the first symbols of data.
    End(context);
    Core(context);
    return;
  }
  StateMachine<DspContext>& machine = Machine(context);
  if (machine.remaining_count == machine.table[machine.position].count) {
    // The far end may still send 1200 bit/s: wait for its 2400 bit/s ones,
    // counted afresh in 16-point decisions.
    rx.decoded_ones = 0;
    rx.status = static_cast<std::uint16_t>(rx.status & ~kV22Ones32In16Point);
    SetStateMachine(machine, StateOp::kSetCount, {}, kFarEnd2400Blocks);
  } else if ((rx.status & kV22Ones32In16Point) != 0 && machine.remaining_count > 2) {
    SetStateMachine(machine, StateOp::kSetCount, {}, 2);  // one block more
  }
  Control(rx, kV22WatchS1 | kV22SixteenPoint);
  rx.s1_latched = 0;
  rx.s1_count = 0;
  rx.equaliser_step = 4096;
  Core(context);
}

void StartData(V22RxRecord& rx) {
  rx.gain_a = 0x4000;
  rx.gain_b = 64;
  Control(rx, kV22Deliver);
  rx.status |= kV22DataReached;
  ClearControl(rx, kV22AgcAdapt);
}

void V22bRxStartData(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  rx.equaliser_step = 8192;
  StartData(rx);
  const bool two = rx.bits_per_symbol == 2;
  context.call.max_rate_code = two ? 3 : 4;
  context.call.mode = two ? 6 : 7;
  Core(context);
}

void V22RxStartData(DspContext& context) {
  V22RxRecord& rx = Rx(context);
  StartData(rx);
  Loops(rx, 2000, 512);
  rx.agc_step = -256;
  rx.equaliser_step = 0x4000;
  context.call.max_rate_code = 3;
  Core(context);
}

void V22bRxData(DspContext& context) {
  SetStateMachine(Machine(context), StateOp::kSetCount, {}, 2);
  Core(context);
}

void V22bRxEnd(DspContext& context) {
  SetStateMachine(context.tx, StateOp::kDeferredGo, kTxIdleTable);
  SetStateMachine(context.rx, StateOp::kDeferredGo, kRxIdleTable);
  SetDpStatus(*context.host, kStatusCarrier, false);
  SetDpStatus(*context.host, kStatusDropping, true);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

void V22bReStartSCR1TRN(DspContext& context) { ReStartTraining(context); }
void V22ReStartSCR1TRN(DspContext& context) { ReStartTraining(context); }
void V22bRxTrn1200a(DspContext& context) { Trn1200a(context, true); }
void V22RxTrn1200a(DspContext& context) { Trn1200a(context, false); }
void V22bRxTrn1200b(DspContext& context) { Trn1200b(context, kV22RxBisTraining); }
void V22RxTrn1200b(DspContext& context) { Trn1200b(context, kV22RxV22Training); }
void V22bRxTrn1200c(DspContext& context) { Trn1200c(context, true); }
void V22RxTrn1200c(DspContext& context) { Trn1200c(context, false); }
void V22RxTrn1200d(DspContext& context) { V22bRxTrn1200d(context); }

#define V22_STATE(handler, count) {handler, count, #handler}

constexpr StateEntry<DspContext> kReceive[] = {
    // V.22bis (0).
    V22_STATE(V22RxStart, 1), V22_STATE(V22DetectUSB1, -1), V22_STATE(V22Wait, 5),
    V22_STATE(V22USB1off, -1), V22_STATE(V22bRxS1Det, 520), V22_STATE(V22bRxSamplePick, 6),
    V22_STATE(V22bReStartSCR1TRN, 1), V22_STATE(V22bRxTrn1200a, 10), V22_STATE(V22bRxTrn1200b, 10),
    V22_STATE(V22bRxTrn1200c, 25), V22_STATE(V22bRxTrn1200d, 1), V22_STATE(V22WaitSB1, 1),
    V22_STATE(V22bRxTrn2400, 3), V22_STATE(V22bRxStartData, 1), V22_STATE(V22bRxData, 3),
    V22_STATE(V22bRxEnd, 1),
    // V.22 (16).
    V22_STATE(V22RxStart, 1), V22_STATE(V22Wait, 5), V22_STATE(V22DetectUSB1, -1), V22_STATE(V22Wait, 5),
    V22_STATE(V22USB1off, -1), V22_STATE(V22CheckForS1, 8), V22_STATE(V22bRxSamplePick, 6),
    V22_STATE(V22ReStartSCR1TRN, 1), V22_STATE(V22RxTrn1200a, 10), V22_STATE(V22RxTrn1200b, 10),
    V22_STATE(V22RxTrn1200c, 25), V22_STATE(V22RxTrn1200d, 1), V22_STATE(V22WaitSB1, 1),
    V22_STATE(V22RxStartData, 1), V22_STATE(V22bRxData, 3), V22_STATE(V22bRxEnd, 1)};

#undef V22_STATE

static_assert(kReceive[kV22RxBisTraining].handler == V22bReStartSCR1TRN);
static_assert(kReceive[kV22RxV22Training].handler == V22ReStartSCR1TRN);
static_assert(kReceive[kV22RxEndIndex].handler == V22bRxEnd);
static_assert(kReceive[kV22RxUsb1OffIndex].handler == V22USB1off);
static_assert(kReceive[kV22RxS1DetIndex].handler == V22bRxS1Det);
static_assert(kReceive[kV22RxSamplePickIndex].handler == V22bRxSamplePick);

}  // namespace

StateTable<DspContext> V22RxTable() { return kReceive; }

void V22RxTrainAfterS1(DspContext& context) {
  if (Machine(context).position <= kV22RxSamplePickIndex) return;
  V22RxRecord& rx = Rx(context);
  V22ForgetTraining(rx);
  rx.agc_step = -6144;  // as after the unscrambled ones: the level is the caller's now
  RestartAt(context, kV22RxS1DetIndex);
}

}  // namespace pump
