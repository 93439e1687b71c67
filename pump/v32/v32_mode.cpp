#include "pump/v32/v32_mode.h"

#include <algorithm>
#include <span>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/framer/framer.h"
#include "pump/idle/idle_mode.h"
#include "pump/packets/dp_packets.h"
#include "pump/pending/pending_procedures.h"
#include "pump/v32/rate_words.h"
#include "pump/v32/v32_connection.h"
#include "pump/v32/v32_echo.h"

namespace pump {
namespace {

using v32::TxStage;
using v32::V32Area;

constexpr int kLoopbackRole = 0;
constexpr int kAnswerRole = 2;
// Handshake type 3: the caller waits before its AA, the answerer's AC is short.
constexpr int kShortHandshake = 3;
constexpr int kShortAC = 128;
constexpr int kLongAC = 256;
constexpr ULONG kAnalogLoop = 2;
constexpr std::uint16_t kRate7200 = 7200;

V32Area& Area(DspContext& context) { return context.receive.v32; }

// First-order DC removal, per sample.
std::int16_t RemoveDcSample(V32Area& a, std::int16_t x) {
  const std::int64_t v = (std::int64_t{x} << 14) - 3 * a.dc_t2 - 3 * a.dc_t1;
  a.dc_t1 += v >> 4;
  a.dc_t2 += a.dc_t1 >> 8;
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v >> 14, -32768, 32767));
}

// Carrier loss: twice the received power average must stay at or above a
// floor while the rate word and E are awaited (about -47 dB of full scale;
// after a retrain the data floor) and in data (3 dB lower); other stages
// have none.
constexpr std::int64_t kRateFloor = 38098;
constexpr std::int64_t kDataFloor = 19894;

std::int64_t CarrierFloor(v32::RxStage stage, bool retrained) {
  switch (stage) {
    case v32::RxStage::kRateWord:
    case v32::RxStage::kAwaitE: return retrained ? kDataFloor : kRateFloor;
    case v32::RxStage::kData: return kDataFloor;
    default: return 0;
  }
}

// Averages the sample's power; true when the carrier has gone.
bool CarrierLost(V32Area& a, std::int16_t x) {
  a.power_average += (std::int64_t{x} * x - a.power_average) >> 10;
  return 2 * a.power_average < CarrierFloor(a.rx.stage, a.retrains != 0);
}

void Enter(V32Area& a, TxStage stage, int symbols) {
  a.tx_stage = stage;
  a.tx_count = symbols;
}

// The next transmit symbol; the stage moves on as its count runs out.
v32::Point NextTxSymbol(DspContext& context) {
  V32Area& a = Area(context);
  switch (a.tx_stage) {
    case TxStage::kIdle: return {0, 0};
    case TxStage::kS:
      if (--a.tx_count == 0) Enter(a, TxStage::kSbar, v32::kSbarSymbols);
      return NextSymbol(a.tx, v32::TxSignal::kS);
    case TxStage::kSbar:
      if (--a.tx_count == 0) {
        Enter(a, TxStage::kTrn2, v32::kTrn2Symbols);
        StartTraining(a.tx);
      }
      return NextSymbol(a.tx, v32::TxSignal::kSbar);
    case TxStage::kTrn2:
      if (--a.tx_count == 0) Enter(a, TxStage::kTrn4, v32::kTrn4Symbols);
      return NextSymbol(a.tx, v32::TxSignal::kTrn2);
    case TxStage::kTrn4:
      if (--a.tx_count == 0) {
        // In loopback R1 and the quality word are the local word's highest rate.
        a.sent_word = a.local_word & v32::HighestRateWord(a.local_word);
        StartWord(a.tx, a.sent_word);
        Enter(a, TxStage::kRateSequence, 0);
      }
      return NextSymbol(a.tx, v32::TxSignal::kTrn4);
    case TxStage::kRateSequence:
      // Whole words until our receiver has confirmed the word, then E.
      if (a.tx.word_pairs == 0) {
        const v32::RateSequence sequence{v32::RateSequenceType::kCallerR2, a.sent_word, 0};
        if (const auto e = v32::RateSequenceE(sequence, {a.rx.rate_word, false})) {
          StartWord(a.tx, *e);
          Enter(a, TxStage::kE, 8 * v32::EWords(*e));
        }
      }
      return NextSymbol(a.tx, v32::TxSignal::kRateWord);
    case TxStage::kE: {
      const v32::Point p = NextSymbol(a.tx, v32::TxSignal::kRateWord);
      if (--a.tx_count == 0) {
        if (const auto mode = v32::ModeOfE(a.tx.word)) {
          StartData(a.tx, mode->rate);
          Enter(a, TxStage::kData, 0);
        } else {
          // The clear-down E has been sent: silence, and the controller is told.
          Enter(a, TxStage::kIdle, 0);
          SetDpStatus(*context.host, kStatusDropping, false);
          WriteDspReg(*context.host, kRegDpInterrupt, 1);
        }
      }
      return p;
    }
    case TxStage::kData: {
      const int bits = v32::ModeOf(a.tx.rate).bits;
      std::uint32_t data = (1u << bits) - 1;
      if (a.tx.ones_left == 0) {
        const std::int32_t got = FramerGetTxBits(context, bits);
        if (got >= 0) data = static_cast<std::uint32_t>(got);
      }
      return NextSymbol(a.tx, v32::TxSignal::kData, data);
    }
  }
  return {0, 0};
}

// Register 55: the decision error against the set's half spacing, in four
// steps, shifted left by three.
void PublishQuality(DspContext& context) {
  const V32Area& a = Area(context);
  std::uint8_t quality = 8;
  if (a.mode_code == 16) {
    const v32::RateMode mode = v32::ModeOf(a.rx.rate);
    const std::int64_t half = mode.bits >= 5 ? 1024 : 2048;
    const std::int64_t e = a.rx.error_average;
    const std::uint8_t level = e < half / 8 ? 0 : e < half / 4 ? 1 : e < half / 2 ? 2 : 3;
    quality = static_cast<std::uint8_t>(level << 3);
  }
  SetDspReg(*context.host, kRegLineQuality, quality);
}

void ReportProgress(DspContext& context) {
  V32Area& a = Area(context);
  if (a.reported_word == 0 && a.rx.rate_word != 0) {
    const DpPacketBytes packet = BuildDpPacket(DpConnectRatePayload{a.rx.rate_word});
    if (PostDpPacket(*context.host, packet.code, packet.Payload())) a.reported_word = 1;
  }
  if (a.connected == 0 && a.rx.stage == v32::RxStage::kData) {
    a.connected = 1;
    const auto mode = v32::ModeOfE(a.rx.e_word);
    if (mode) context.call.mode = mode->mode_code;
    SetDpStatus(*context.host, a.loopback != 0 ? kStatusConnectedRestart : kStatusConnected, false);
    SetDpStatus(*context.host, kStatusCarrier, true);
    WriteDspReg(*context.host, kRegDpInterrupt, 1);
  }
}

// The loopback's training from its first symbol: the transmitter sends S,
// the receiver waits for it.
void TrainFromS(V32Area& a) {
  const v32::Polynomial polynomial = a.tx.polynomial;
  a.tx = v32::TxSymbolState{};
  a.tx.polynomial = polynomial;
  Enter(a, TxStage::kS, v32::kLoopbackS);
  // In loopback the receiver hears our own transmitter, so our own polynomial.
  ResetReceiver(a.rx, {.far_polynomial = a.tx.polynomial, .trn2_symbols = v32::kTrn2Symbols,
                       .trn4_symbols = v32::kTrn4Symbols});
  a.connected = 0;
  a.reported_word = 0;
}

}  // namespace

int v32::TransmitGainLevel(int setting) { return std::min(setting + 5, 0); }

void SetV32ReceiverOption(DspContext& context, int option) {
  context.receive.v32_rate_word =
      static_cast<std::uint16_t>((context.receive.v32_rate_word & 0xFF00) | (option & 0xFF));
}

void StartV32(DspContext& context, int role, int rate_sequence) {
  // A connection's start stays in the call log that other modes' tests read.
  if (role != kLoopbackRole) StartV32Connection(context, role, rate_sequence);
  V32Area& a = Area(context);
  a = V32Area{};
  a.loopback = role == kLoopbackRole ? 1 : 0;
  a.mode_code = rate_sequence == 0x8880 ? 12 : 16;
  a.local_word = v32::LocalRateWord(a.mode_code, static_cast<std::uint8_t>(context.receive.v32_rate_word));
  a.tx.polynomial = v32::Polynomial::kCaller;
  // The canceller is cleared at every start; in loopback it stays idle.
  V32EchoReset(context);
  const bool short_handshake = context.call.handshake_selector == kShortHandshake;
  if (role == kLoopbackRole) {
    TrainFromS(a);
  } else if (role == kAnswerRole) {
    v32::StartAnswerer(context, short_handshake ? kShortAC : kLongAC);
  } else {
    v32::StartCaller(context, short_handshake);
  }
  AfeAccess& afe = *context.afe;
  a.modulator.gain = AfeGain(afe, v32::TransmitGainLevel(context.transmit_level));
  context.mode_block = V32Block;

  ULONG size = 0;
  if (role == kLoopbackRole) {
    ULONG loop = kAnalogLoop;
    size = sizeof loop;
    IssueAfeRequest(afe, afe::kAfeTestMode, &loop, &size);
  }
  std::int16_t gain = 0;
  size = sizeof gain;
  IssueAfeRequest(afe, afe::kAfeGetGain, &gain, &size);
  if (gain != 0) {
    gain = 0;
    size = sizeof gain;
    IssueAfeRequest(afe, afe::kAfeSetGain, &gain, &size);
  }
  SetAfeRate(afe, v32::kBlockSamples, kRate7200);
}

namespace {

// A connection's block: per symbol the transmitter's symbol goes into the
// echo canceller's history (at the carrier phase it starts from) and onto
// the line; per sample the canceller's estimate joins the received sample
// before the receiver takes it, and after each symbol's third sample the
// taps learn.
bool ConnectionBlock(DspContext& context, std::span<const std::int16_t> input) {
  V32Area& a = Area(context);
  bool going = true;
  for (int k = 0; k < v32::kBlockSamples; ++k) {
    const int phase = k % 3;
    if (phase == 0) {
      const v32::Point symbol = v32::ConnectionTxSymbol(context);
      PushEchoSymbol(a.echo, symbol, a.modulator.carrier);
      ModulateSymbol(a.modulator, symbol, std::span<std::int16_t, 3>(context.output_block + k, 3));
    }
    const std::int16_t line = RemoveDcSample(a, input[static_cast<std::size_t>(k)]);
    const std::int16_t cancelled = CancelEcho(a.echo, phase, line);
    const std::int16_t x = context.receive.v32_echo_off != 0 ? line : cancelled;
    if (phase == 2) AdaptEcho(a.echo);
    going = !CarrierLost(a, x) && going;
    going = v32::ConnectionRxSample(context, x) && going;
  }
  return going && a.link.ended == 0;
}

bool LoopbackBlock(DspContext& context, std::span<const std::int16_t> input) {
  V32Area& a = Area(context);
  bool lost = false;
  for (int k = 0; k < v32::kBlockSamples; ++k) {
    if (k % 3 == 0) {
      ModulateSymbol(a.modulator, NextTxSymbol(context),
                     std::span<std::int16_t, 3>(context.output_block + k, 3));
    }
    const std::int16_t x = RemoveDcSample(a, input[static_cast<std::size_t>(k)]);
    lost = CarrierLost(a, x) || lost;
    if (const auto out = ReceiverStep(a.rx, x)) FramerPutRxBits(context, out->count, out->bits);
  }
  ReportProgress(context);
  return !lost;
}

}  // namespace

void V32Block(DspContext& context) {
  V32Area& a = Area(context);
  AfeAccess& afe = *context.afe;
  const std::span input(context.input_block, v32::kBlockSamples);
  std::fill(input.begin(), input.end(), std::int16_t{0});
  ReadRxSamples(afe, input);
  const bool going = a.loopback != 0 ? LoopbackBlock(context, input) : ConnectionBlock(context, input);
  PublishQuality(context);
  FramerFlushRx(context);
  WriteTxSamples(afe, std::span<const std::int16_t>(context.output_block, v32::kBlockSamples));
  if (!going) EndV32(context);
}

void RetrainV32(DspContext& context) {
  V32Area& a = Area(context);
  if (a.loopback == 0) {
    RetrainV32Connection(context);
    return;
  }
  ++a.retrains;
  V32EchoReset(context);
  TrainFromS(a);
}

void EndV32(DspContext& context) {
  V32Area& a = Area(context);
  a.tx_stage = TxStage::kIdle;
  a.rx.stage = v32::RxStage::kWaitS;
  a.link.tx_state = v32::TxState::kTxV32Idle;
  a.link.rx_state = v32::RxState::kRxV32Idle;
  ReturnToIdle(context);
}

}  // namespace pump
