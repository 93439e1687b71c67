#include "pump/v32/v32_connection.h"

#include <algorithm>

#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/framer/framer.h"
#include "pump/packets/dp_packets.h"
#include "pump/v32/v32_echo.h"
#include "pump/v32/v32_mode.h"

namespace pump::v32 {
namespace {

// Lengths of the start-up's signals, in symbols.
constexpr int kCallerAATimer = 32001;
constexpr int kCallerWaitSymbols = 64;  // 192 samples
constexpr int kAnswererListenSymbols = 640;  // 1920 samples of silence for AA
constexpr int kSilence1Symbols = 15;
constexpr int kSSymbols = 255;
constexpr int kCallerTrn4 = 8164;
constexpr int kAnswererTrn4First = 8192;
constexpr int kAnswererTrn4Second = 4096;
constexpr int kWordSymbols = 8;
// The caller's S is at least 255 symbols long, and longer when the round
// trip is long, so the answerer (which hears it late) finds it.
constexpr int kMinimumRoundTrip = 300;

// Samples of tone before it counts; the limits of the tone phases.
constexpr int kAnswerToneWindow = 256;  // the caller, on AC
constexpr int kCallToneWindow = 96;     // the answerer, on AA
constexpr int kReversalGuard = 230;     // the caller ignores reversals this soon after its own
constexpr int kCCLimit = 7200;
constexpr int kAAFollowLimit = 7200;
constexpr int kMinimumCount = 256;
// The rate word and E are awaited for at most this many samples.
constexpr int kRateLimit = 24576;
// Our receiver's training on the far end's TRN (its TRN is longer: the
// receiver holds still through the rest).
constexpr std::int32_t kTrainTrn4 = 2048;

Connection& Link(DspContext& context) { return context.receive.v32.link; }

void GoTx(Connection& k, TxState state, int symbols) {
  k.tx_state = state;
  k.tx_timer = symbols;
}

void GoRx(Connection& k, RxState state, int samples) {
  k.rx_state = state;
  k.rx_timer = samples;
}

// The far modem's training: our receiver from its start, on the far end's
// scrambler.
void ListenForTraining(V32Area& a) {
  ResetReceiver(a.rx, {.far_polynomial = a.link.answer != 0 ? Polynomial::kCaller : Polynomial::kAnswerer,
                       .trn2_symbols = kTrn2Symbols,
                       .trn4_symbols = kTrainTrn4});
}

// The echo canceller learns while our training is sent: full steps, then
// half once the schedule says, then held.
void StartEchoTraining(V32Area& a) {
  SetEchoSteps(a.echo, kEchoStepTraining, kEchoStepTraining);
  SetFarLoopGains(a.echo, kFarFrequencyGainTraining, kFarPhaseGainTraining);
}

// The receiver's averaged error as the quality word's measure: its square,
// so that each rate's threshold lies near its decision distance.
std::uint16_t OwnQualityWord(const Receiver& rx) {
  const std::int64_t e = rx.error_average;
  return QualityRateWord(static_cast<std::uint32_t>(std::min<std::int64_t>(e * e * 256, 0xFFFFFFFF)));
}

void PostConnectRate(DspContext& context, std::uint16_t word) {
  const DpPacketBytes packet = BuildDpPacket(DpConnectRatePayload{word});
  PostDpPacket(*context.host, packet.code, packet.Payload());
}

void ReportConnected(DspContext& context) {
  V32Area& a = context.receive.v32;
  a.connected = 1;
  if (const auto mode = ModeOfE(a.rx.e_word)) {
    context.call.mode = static_cast<std::uint8_t>(mode->mode_code);
    a.mode_code = static_cast<std::uint8_t>(mode->mode_code);
  }
  SetDpStatus(*context.host, kStatusConnected, false);
  SetDpStatus(*context.host, kStatusCarrier, true);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
}

// The rate sequence: whole words until the sequence's E may go, then E.
Point RateSequenceSymbol(V32Area& a) {
  Connection& k = a.link;
  if (a.tx.word_pairs == 0 && k.tx_state == TxState::kTxRateSequence) {
    const std::uint16_t heard = k.answer != 0 ? k.r2 : k.r3;
    if (const auto e = RateSequenceE(k.sequence, {heard, k.far_e != 0})) {
      StartWord(a.tx, *e);
      GoTx(k, TxState::kTxRateE, kWordSymbols * EWords(*e));
    }
  }
  return NextSymbol(a.tx, TxSignal::kRateWord);
}

Point RateESymbol(DspContext& context) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  const Point p = NextSymbol(a.tx, TxSignal::kRateWord);
  if (--k.tx_timer == 0) {
    if (const auto mode = ModeOfE(a.tx.word)) {
      StartData(a.tx, mode->rate);
      GoTx(k, k.answer != 0 ? TxState::kTxaOnLine : TxState::kTxOnLine, 0);
    } else {
      GoTx(k, TxState::kTxClearDown, 0);
      SetDpStatus(*context.host, kStatusDropping, false);
      WriteDspReg(*context.host, kRegDpInterrupt, 1);
    }
  }
  return p;
}

Point DataSymbol(DspContext& context) {
  V32Area& a = context.receive.v32;
  const int bits = ModeOf(a.tx.rate).bits;
  std::uint32_t data = (1u << bits) - 1;
  if (a.tx.ones_left == 0) {
    const std::int32_t got = FramerGetTxBits(context, bits);
    if (got >= 0) data = static_cast<std::uint32_t>(got);
  }
  return NextSymbol(a.tx, TxSignal::kData, data);
}

// S, S-bar, TRN2 and TRN4 of either side's training; `next` follows TRN4.
// True when the state's symbols have run out.
bool Counted(Connection& k) { return --k.tx_timer <= 0; }

Point CallerTx(DspContext& context) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  switch (k.tx_state) {
    case TxState::kTxoWait:
      if (Counted(k)) GoTx(k, TxState::kTxoAA, kCallerAATimer);
      return {0, 0};
    case TxState::kTxoAA:
      if (Counted(k)) k.ended = 1;
      return NextSymbol(a.tx, TxSignal::kAA);
    case TxState::kTxoCC:
      if (k.silence_may_end != 0) GoTx(k, TxState::kTxoSilence, 0);
      return NextSymbol(a.tx, TxSignal::kCC);
    case TxState::kTxoSilence:
      if (k.s_may_start != 0) {
        const int extra = (k.round_trip - kMinimumRoundTrip + 2) / 3;
        GoTx(k, TxState::kTxoS0, extra > 0 ? (extra | 1) + kSSymbols : kSSymbols);
      }
      return {0, 0};
    case TxState::kTxoS0:
      if (Counted(k)) {
        GoTx(k, TxState::kTxoSbar0, kSbarSymbols);
        a.echo.output_enabled = 1;
      }
      return NextSymbol(a.tx, TxSignal::kS);
    case TxState::kTxoSbar0:
      if (Counted(k)) {
        GoTx(k, TxState::kTxoTrn2_0, kTrn2Symbols);
        StartTraining(a.tx);
        StartEchoTraining(a);
      }
      return NextSymbol(a.tx, TxSignal::kSbar);
    case TxState::kTxoTrn2_0:
      if (Counted(k)) GoTx(k, TxState::kTxoTrn4_0, kCallerTrn4);
      return NextSymbol(a.tx, TxSignal::kTrn2);
    case TxState::kTxoTrn4_0: {
      const Point p = NextSymbol(a.tx, TxSignal::kTrn4);
      if (kCallerTrn4 - k.tx_timer == 2080) SetEchoSteps(a.echo, kEchoStepSettling, kEchoStepSettling);
      if (Counted(k)) {
        EndEchoTraining(a.echo);
        k.trn4_finished = 1;
        const std::uint16_t r2 = static_cast<std::uint16_t>(k.r1 & a.local_word & k.quality_word);
        k.sequence = {RateSequenceType::kCallerR2, r2, 0};
        a.sent_word = r2;
        StartWord(a.tx, r2);
        GoTx(k, TxState::kTxRateSequence, 0);
      }
      return p;
    }
    case TxState::kTxRateSequence: return RateSequenceSymbol(a);
    case TxState::kTxRateE: return RateESymbol(context);
    case TxState::kTxOnLine: return DataSymbol(context);
    default: return {0, 0};
  }
}

// The answerer's first training: S, S-bar, TRN2 and TRN4 (8192, with the
// canceller's schedule); then R1 while the caller's S is awaited.
Point AnswererTx(DspContext& context) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  switch (k.tx_state) {
    case TxState::kTxaSilence0:
      // No AA: the mode ends.
      if (Counted(k)) k.ended = 1;
      return {0, 0};
    case TxState::kTxaAC1:
      if (Counted(k)) {
        GoTx(k, TxState::kTxaCA, 0);
        V32EchoReset(context);
        k.round_trip = 0;
        GoRx(k, RxState::kDetectaCC, 0);
      }
      return NextSymbol(a.tx, TxSignal::kAC);
    case TxState::kTxaCA: return NextSymbol(a.tx, TxSignal::kCA);
    case TxState::kTxaAC2:
      if (Counted(k) || k.rx_state != RxState::kDetectaSilence) {
        GoTx(k, TxState::kTxaSilence1, kSilence1Symbols);
        if (k.rx_state == RxState::kDetectaSilence) GoRx(k, RxState::kRxaWait1, 0);
      }
      return NextSymbol(a.tx, TxSignal::kAC);
    case TxState::kTxaSilence1:
      if (Counted(k)) GoTx(k, TxState::kTxaS0, kSSymbols);
      return {0, 0};
    case TxState::kTxaS0:
    case TxState::kTxaS1:
      if (Counted(k)) {
        GoTx(k, k.tx_state == TxState::kTxaS0 ? TxState::kTxaSbar0 : TxState::kTxaSbar1, kSbarSymbols);
        a.echo.output_enabled = 1;
      }
      return NextSymbol(a.tx, TxSignal::kS);
    case TxState::kTxaSbar0:
    case TxState::kTxaSbar1:
      if (Counted(k)) {
        const bool first = k.tx_state == TxState::kTxaSbar0;
        GoTx(k, first ? TxState::kTxaTrn2_0 : TxState::kTxaTrn2_1, kTrn2Symbols);
        StartTraining(a.tx);
        if (first) StartEchoTraining(a);
      }
      return NextSymbol(a.tx, TxSignal::kSbar);
    case TxState::kTxaTrn2_0:
    case TxState::kTxaTrn2_1:
      if (Counted(k)) {
        const bool first = k.tx_state == TxState::kTxaTrn2_0;
        GoTx(k, first ? TxState::kTxaTrn4_0 : TxState::kTxaTrn4_1,
             first ? kAnswererTrn4First : kAnswererTrn4Second);
      }
      return NextSymbol(a.tx, TxSignal::kTrn2);
    case TxState::kTxaTrn4_0: {
      const Point p = NextSymbol(a.tx, TxSignal::kTrn4);
      if (k.tx_timer == 6084 - (k.round_trip / 3 - 64)) {
        SetEchoSteps(a.echo, kEchoStepSettling, kEchoStepSettling);
      }
      if (Counted(k)) {
        EndEchoTraining(a.echo);
        ListenForTraining(a);
        GoRx(k, RxState::kDetectaS0, 0);
        a.sent_word = a.local_word;
        StartWord(a.tx, a.local_word);
        GoTx(k, TxState::kTxaRate1, 0);
      }
      return p;
    }
    case TxState::kTxaRate1:
      // R1 until the caller's S is heard.
      if (a.tx.word_pairs == 0 && a.rx.stage != RxStage::kWaitS) GoTx(k, TxState::kTxaSilence2, 0);
      if (k.tx_state == TxState::kTxaRate1) return NextSymbol(a.tx, TxSignal::kRateWord);
      return {0, 0};
    case TxState::kTxaSilence2:
      if (k.r2 != 0) GoTx(k, TxState::kTxaS1, kSSymbols);
      return {0, 0};
    case TxState::kTxaTrn4_1: {
      const Point p = NextSymbol(a.tx, TxSignal::kTrn4);
      if (Counted(k)) {
        k.quality_word = OwnQualityWord(a.rx);
        const std::uint16_t r3 = HighestRateWord(static_cast<std::uint16_t>(k.quality_word & k.r2));
        a.sent_word = r3;
        k.sequence = {RateSequenceType::kAnswererR3, r3, 0};
        StartWord(a.tx, r3);
        if (IsClearDownE(r3)) {
          // No rate both can use: the clear-down E at once.
          StartWord(a.tx, EOf(r3));
          GoTx(k, TxState::kTxRateE, kWordSymbols * EWords(EOf(r3)));
        } else {
          GoTx(k, TxState::kTxRateSequence, 0);
        }
      }
      return p;
    }
    case TxState::kTxRateSequence: return RateSequenceSymbol(a);
    case TxState::kTxRateE: return RateESymbol(context);
    case TxState::kTxaOnLine: return DataSymbol(context);
    default: return {0, 0};
  }
}

// The receiver's training, rate word and E, through `Receiver`; the
// connection's state follows the receiver's.

// A wait for the far end's S, its rate word or its E counts against the
// rate limit; true when the limit has run out.
bool WaitedTooLong(const Receiver& rx, Connection& k) {
  const bool waiting = rx.stage == RxStage::kWaitS || rx.stage == RxStage::kRateWord ||
                       rx.stage == RxStage::kAwaitE;
  return waiting && ++k.rx_timer > kRateLimit;
}

std::optional<RxOutput> ReceiveTrained(DspContext& context, std::int16_t x) {
  V32Area& a = context.receive.v32;
  return ReceiverStep(a.rx, x);
}

bool CallerRx(DspContext& context, std::int16_t x) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  switch (k.rx_state) {
    case RxState::kDetectoPn2330:
    case RxState::kDetectoCA:
    case RxState::kDetectoAC2: {
      const ToneEvent ev = ToneReversalStep(k.tone, FrontEndStep(k.front, x), kAnswerToneWindow);
      if (k.rx_state == RxState::kDetectoPn2330) {
        if (ev.present) GoRx(k, RxState::kDetectoCA, 0);
        return true;
      }
      if (k.rx_state == RxState::kDetectoCA) {
        if (ev.reversal) {
          k.round_trip = -3;
          GoTx(k, TxState::kTxoCC, 0);
          GoRx(k, RxState::kDetectoAC2, 0);
        }
        return true;
      }
      ++k.round_trip;
      if (k.round_trip > kCCLimit) return false;
      if (k.round_trip > kReversalGuard && ev.reversal) {
        SetFarEchoDelay(a.echo, FarEchoEntries(a.echo.near_delay, k.round_trip));
        k.silence_may_end = 1;
        GoRx(k, RxState::kDetectoACOff, std::max(k.round_trip - 192, 1));
      }
      return true;
    }
    case RxState::kDetectoACOff:
      if (--k.rx_timer <= 0) {
        ListenForTraining(a);
        GoRx(k, RxState::kDetectoS0, 0);
      }
      return true;
    case RxState::kDetectoS0:
      ReceiveTrained(context, x);
      if (WaitedTooLong(a.rx, k)) return false;
      if (a.rx.stage == RxStage::kAwaitE) {
        k.r1 = a.rx.rate_word;
        k.quality_word = OwnQualityWord(a.rx);
        k.s_may_start = 1;
        PostConnectRate(context, k.r1);
        // The receiver waits, with no carrier floor, for our training to end.
        ListenForTraining(a);
        GoRx(k, RxState::kRxoWait1, 0);
      }
      return true;
    case RxState::kRxoWait1:
      if (k.trn4_finished != 0) {
        ListenForTraining(a);
        GoRx(k, RxState::kDetectoS1, 0);
      }
      return true;
    case RxState::kDetectoS1:
    case RxState::kDetectRateE:
      ReceiveTrained(context, x);
      if (WaitedTooLong(a.rx, k)) return false;
      if (a.rx.stage == RxStage::kAwaitE && k.r3 == 0) {
        k.r3 = a.rx.rate_word;
        GoRx(k, RxState::kDetectRateE, 0);
      }
      if (a.rx.stage == RxStage::kData) {
        k.far_e = 1;
        GoRx(k, RxState::kRxoOnLine, 0);
        ReportConnected(context);
      }
      return true;
    case RxState::kRxoOnLine:
      if (const auto out = ReceiveTrained(context, x)) FramerPutRxBits(context, out->count, out->bits);
      return true;
    default: return true;
  }
}

bool AnswererRx(DspContext& context, std::int16_t x) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  switch (k.rx_state) {
    case RxState::kDetectaAA0: {
      const ToneEvent ev = ToneReversalStep(k.tone, FrontEndStep(k.front, x), kCallToneWindow);
      if (ev.present) {
        GoTx(k, TxState::kTxaAC1, k.ac_symbols);
        GoRx(k, RxState::kDetectaAA1, 0);
      }
      return true;
    }
    case RxState::kDetectaAA1:
      ToneReversalStep(k.tone, FrontEndStep(k.front, x), kCallToneWindow);
      return ++k.rx_timer <= kAAFollowLimit;
    case RxState::kDetectaCC: {
      const ToneEvent ev = ToneReversalStep(k.tone, FrontEndStep(k.front, x), kCallToneWindow);
      ++k.round_trip;
      if (k.round_trip > kCCLimit) return false;
      if (ev.reversal && k.round_trip > kMinimumCount) {
        SetFarEchoDelay(a.echo, FarEchoEntries(a.echo.near_delay, k.round_trip));
        k.tone_level = k.tone.power;
        GoTx(k, TxState::kTxaAC2, k.round_trip / 3);
        GoRx(k, RxState::kDetectaSilence, k.round_trip);
      }
      return true;
    }
    case RxState::kDetectaSilence:
      ToneReversalStep(k.tone, FrontEndStep(k.front, x), kCallToneWindow);
      // The caller has fallen silent: its CC 12 dB under what it was.
      if (--k.rx_timer <= 0 || 16 * k.tone.power < k.tone_level) GoRx(k, RxState::kRxaWait1, 0);
      return true;
    case RxState::kDetectaS0:
    case RxState::kDetectRateSequence:
      ReceiveTrained(context, x);
      if (WaitedTooLong(a.rx, k)) return false;
      if (a.rx.stage == RxStage::kAwaitE && k.r2 == 0) {
        k.r2 = a.rx.rate_word;
        k.rx_timer = 0;
        PostConnectRate(context, k.r2);
        GoRx(k, RxState::kDetectRateSequence, 0);
      }
      if (a.rx.stage == RxStage::kData) {
        k.far_e = 1;
        GoRx(k, RxState::kRxaOnLine, 0);
        ReportConnected(context);
      }
      return true;
    case RxState::kRxaOnLine:
      if (const auto out = ReceiveTrained(context, x)) FramerPutRxBits(context, out->count, out->bits);
      return true;
    default: return true;
  }
}

void StartLink(DspContext& context, bool answer) {
  V32Area& a = context.receive.v32;
  Connection& k = a.link;
  k = Connection{};
  k.answer = answer ? 1 : 0;
  a.tx.polynomial = answer ? Polynomial::kAnswerer : Polynomial::kCaller;
  ResetToneReversal(k.tone, answer ? ToneKind::kCarrier : ToneKind::kAlternating);
}

}  // namespace

std::uint32_t FarEchoEntries(std::uint32_t near_entries, std::int32_t count) {
  if (count < 257) return near_entries;
  return (near_entries + 2 * static_cast<std::uint32_t>(count / 3)) & ~1u;
}

void StartCaller(DspContext& context, bool wait_first) {
  StartLink(context, false);
  Connection& k = Link(context);
  if (wait_first) {
    GoTx(k, TxState::kTxoWait, kCallerWaitSymbols);
  } else {
    GoTx(k, TxState::kTxoAA, kCallerAATimer);
  }
  GoRx(k, RxState::kDetectoPn2330, 0);
}

void StartAnswerer(DspContext& context, int ac_symbols) {
  StartLink(context, true);
  Connection& k = Link(context);
  k.ac_symbols = ac_symbols;
  GoTx(k, TxState::kTxaSilence0, kAnswererListenSymbols);
  GoRx(k, RxState::kDetectaAA0, 0);
}

Point ConnectionTxSymbol(DspContext& context) {
  return Link(context).answer != 0 ? AnswererTx(context) : CallerTx(context);
}

bool ConnectionRxSample(DspContext& context, std::int16_t x) {
  return Link(context).answer != 0 ? AnswererRx(context, x) : CallerRx(context, x);
}

}  // namespace pump::v32
