#include "pump/fax/fax_tx_states.h"

#include <array>

#include "pump/core/comram.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/fax/fax_encoders.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_scramblers.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/framer/framer.h"
#include "pump/packets/dp_packets.h"

namespace pump {
namespace {

// The echo-protection tone's point.
constexpr FaxPoint kCarrierPoint = {48, 16};

// Scrambler seed of V.27ter's training segment.
constexpr std::uint32_t kV27terTrainingSeed = 188;  // outputs 0011 1101 0000, the newest first

constexpr std::int32_t kV17Marks = 48;

FaxTxRecord& Tx(DspContext& context) { return context.fax.tx; }
FaxRate Rate(const DspContext& context) { return FaxRateOf(context.fax.mode_word); }

void Send(DspContext& context, FaxPoint p) {
  Tx(context).point_i = p.i;
  Tx(context).point_q = p.q;
}

std::int32_t Remaining(DspContext& context) { return Tx(context).machine.remaining_count; }

void WaitForRts(DspContext& context) {
  Send(context, {0, 0});
  if (context.tx_request == 1) SetStateMachine(Tx(context).machine, StateOp::kEndStep);
}

void TxSilence(DspContext& context) { Send(context, {0, 0}); }
void TxCarrier(DspContext& context) { Send(context, kCarrierPoint); }

// V.27ter 2400 bit/s keeps the tone and its silence as long in time as at
// 4800: the counts are capped when the state starts.
void CapAt2400(DspContext& context, std::int32_t cap, std::int32_t full) {
  if (Rate(context).bit_rate == 2400 && Remaining(context) == full) {
    SetStateMachine(Tx(context).machine, StateOp::kSetCount, {}, cap);
  }
}

// V.17: 256 symbols alternating A and B.
void TxAltV17(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  tx.scrambler = kFaxV17TrainingSeed;
  tx.training = Remaining(context) % 2 == 0 ? 0 : 1;
  Send(context, kV17Training[tx.training]);
}

// V.17: scrambled ones, two bits a symbol, pick A, B, C or D.
void TxPrsV17(DspContext& context) {
  constexpr std::array<int, 4> kPoint = {2, 1, 3, 0};
  FaxTxRecord& tx = Tx(context);
  tx.training = kPoint[FaxScramble(tx, 3, 2)];
  Send(context, kV17Training[tx.training]);
}

// V.17's bridge: a fixed dibit pattern, scrambled, turns the training
// point by quarter turns.
void TxRateV17(DspContext& context) {
  constexpr std::array<std::uint32_t, 8> kPattern = {0, 0, 0, 2, 0, 2, 0, 2};
  constexpr std::array<int, 4> kTurn = {1, 2, 0, 3};
  FaxTxRecord& tx = Tx(context);
  const std::uint32_t dibit = FaxScramble(tx, kPattern[static_cast<std::uint32_t>(-Remaining(context)) & 7], 2);
  tx.training = (tx.training + kTurn[dibit]) & 3;
  Send(context, kV17Training[tx.training]);
}

FaxPoint V29Point(int point, int bits_per_symbol) {
  switch (bits_per_symbol) {
    case 4:
      return kV29_9600[static_cast<std::size_t>(point)];
    case 3:
      return kV29_7200[static_cast<std::size_t>(point)];
    default:
      return kV29_4800[static_cast<std::size_t>(point)];
  }
}

// A data symbol of `bits` (first in bit 0) in the configured modulation.
void SendData(DspContext& context, std::uint32_t bits) {
  FaxTxRecord& tx = Tx(context);
  const FaxRate rate = Rate(context);
  const int n = rate.bits_per_symbol;
  switch (rate.modulation) {
    case kFaxV17:
      Send(context, V17Point(n, V17Encode(tx, FaxScramble(tx, bits, n), n)));
      break;
    case kFaxV29:
      Send(context, V29Point(V29Encode(tx, FaxScramble(tx, bits, n), n), n));
      break;
    default: {
      std::uint32_t scrambled = 0;
      for (int k = 0; k < n; ++k) {
        scrambled |= static_cast<std::uint32_t>(V27terScramble(tx, static_cast<int>(bits >> k & 1))) << k;
      }
      const int point = V27terEncode(tx, scrambled, n);
      Send(context, n == 3 ? kV27ter4800[static_cast<std::size_t>(point)] : kV27ter2400[static_cast<std::size_t>(point)]);
      break;
    }
  }
}

void TxMarks(DspContext& context) { SendData(context, (1u << Rate(context).bits_per_symbol) - 1); }

// V.17's marks after the training: the differential pair continues from
// the last training point.
void TxMarkV17(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  if (Remaining(context) == kV17Marks) {
    tx.pair = tx.training;
    tx.trellis = 0;
  }
  TxMarks(context);
}

// The first data symbol: the controller hears that data is going out.
void TxData1(DspContext& context) {
  context.transmitting = 1;
  SetDpStatus(*context.host, 8, true);
  SetDpStatus(*context.host, kStatusCarrier, true);
  WriteDspReg(*context.host, kRegDpInterrupt, 1);
  TxMarks(context);
}

void TxData(DspContext& context) {
  const std::int32_t bits = FramerGetTxBits(context, Rate(context).bits_per_symbol);
  SendData(context, bits < 0 ? (1u << Rate(context).bits_per_symbol) - 1 : static_cast<std::uint32_t>(bits));
}

void TxEnd(DspContext& context) {
  const DpPacketBytes packet = BuildDpPacket(DpFaxCdPayload{});
  PostDpPacket(*context.host, packet.code, packet.Payload());
  SetStateMachine(Tx(context).machine, StateOp::kRestartAt, {}, 0);
  Send(context, {0, 0});
}

const std::array<FaxPoint, 4>& V29Training(const DspContext& context) {
  return V29TrainingPoints(Rate(context).bits_per_symbol);
}

// V.29: 128 symbols alternating A and B.
void TxAltV29(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  tx.scrambler = kFaxV29TrainingSeed;
  Send(context, V29Training(context)[Remaining(context) % 2 == 0 ? 0 : 1]);
}

// V.29: the bits of 1 + x^-6 + x^-7 (7 bits of past outputs, the oldest
// in bit 0) pick C (0) or D (1).
void TxPrsV29(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  const std::uint32_t bit = (tx.scrambler ^ (tx.scrambler >> 1)) & 1;
  tx.scrambler = (tx.scrambler >> 1) | bit << 6;
  Send(context, V29Training(context)[2 + bit]);
}

// V.27ter: 180-degree phase reversals.
void TxAltV27(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  tx.v27_history = kV27terTrainingSeed;
  const bool at2400 = Rate(context).bits_per_symbol == 2;
  tx.phase = (tx.phase + (at2400 ? 2 : 4)) & (at2400 ? 3 : 7);
  Send(context, at2400 ? kV27ter2400[static_cast<std::size_t>(tx.phase)] : kV27ter4800[static_cast<std::size_t>(tx.phase)]);
}

// V.27ter: scrambled ones, three bits a symbol at both rates; the first of
// each three turns the phase by half a turn (1) or not (0).
void TxPrsV27(DspContext& context) {
  FaxTxRecord& tx = Tx(context);
  const FaxRate rate = Rate(context);
  const int first = V27terScramble(tx, 1);
  V27terScramble(tx, 1);
  V27terScramble(tx, 1);
  const bool at2400 = rate.bits_per_symbol == 2;
  tx.phase = (tx.phase + first * (at2400 ? 2 : 4)) & (at2400 ? 3 : 7);
  Send(context, at2400 ? kV27ter2400[static_cast<std::size_t>(tx.phase)] : kV27ter4800[static_cast<std::size_t>(tx.phase)]);
}

void TxSilenceEptV27(DspContext& context) {
  CapAt2400(context, 24, 42);
  TxSilence(context);
}

void TxCarrierEptV27(DspContext& context) {
  CapAt2400(context, 230, 306);
  TxCarrier(context);
}

#define FAX_STATE(handler, count) {handler, count, #handler}

constexpr StateEntry<DspContext> kV17Long[] = {
    FAX_STATE(WaitForRts, -1), FAX_STATE(TxCarrier, 458), FAX_STATE(TxSilence, 54),
    FAX_STATE(TxAltV17, 256),  FAX_STATE(TxPrsV17, 2976), FAX_STATE(TxRateV17, 64),
    FAX_STATE(TxMarkV17, kV17Marks), FAX_STATE(TxData1, 1),     FAX_STATE(TxData, -1),
    FAX_STATE(TxMarks, 168),   FAX_STATE(TxEnd, 1),
};
constexpr StateEntry<DspContext> kV17Short[] = {
    FAX_STATE(WaitForRts, -1), FAX_STATE(TxCarrier, 458), FAX_STATE(TxSilence, 54),
    FAX_STATE(TxAltV17, 256),  FAX_STATE(TxPrsV17, 38),   FAX_STATE(TxRateV17, 0),
    FAX_STATE(TxMarkV17, kV17Marks), FAX_STATE(TxData1, 1),     FAX_STATE(TxData, -1),
    FAX_STATE(TxMarks, 168),   FAX_STATE(TxEnd, 1),
};
constexpr StateEntry<DspContext> kV29[] = {
    FAX_STATE(WaitForRts, -1), FAX_STATE(TxSilence, 262), FAX_STATE(TxCarrier, 458),
    FAX_STATE(TxSilence, 62),  FAX_STATE(TxAltV29, 128),  FAX_STATE(TxPrsV29, 384),
    FAX_STATE(TxMarks, 1),     FAX_STATE(TxMarks, 47),    FAX_STATE(TxData1, 1),
    FAX_STATE(TxData, -1),     FAX_STATE(TxMarks, 48),    FAX_STATE(TxEnd, 1),
};
constexpr StateEntry<DspContext> kV27ter[] = {
    FAX_STATE(WaitForRts, -1),     FAX_STATE(TxSilence, 42),       FAX_STATE(TxCarrierEptV27, 306),
    FAX_STATE(TxSilenceEptV27, 42), FAX_STATE(TxAltV27, 50),        FAX_STATE(TxPrsV27, 1074),
    FAX_STATE(TxMarks, 8),          FAX_STATE(TxData1, 1),          FAX_STATE(TxData, -1),
    FAX_STATE(TxMarks, 8),          FAX_STATE(TxEnd, 1),
};

#undef FAX_STATE

}  // namespace

StateTable<DspContext> FaxTxTable(std::uint16_t mode_word) {
  switch (mode_word & kFaxModulationMask) {
    case kFaxV17:
      return (mode_word & kFaxV17ShortTraining) != 0 ? StateTable<DspContext>(kV17Short) : kV17Long;
    case kFaxV29:
      return kV29;
    default:
      return kV27ter;
  }
}

void FaxTxSymbol(DspContext& context) { RunStateMachine(context, Tx(context).machine); }

}  // namespace pump
