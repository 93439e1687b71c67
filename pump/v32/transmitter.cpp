#include "pump/v32/transmitter.h"

#include <algorithm>

#include "pump/v32/carrier_table.h"

namespace pump::v32 {
namespace {

constexpr std::uint32_t kOnes = 0x3F;


std::int32_t RoundShift15(std::int64_t v) { return static_cast<std::int32_t>((v + 0x4000) >> 15); }

}  // namespace

void StartData(TxSymbolState& s, DataRate rate) {
  s.rate = rate;
  s.ones_left = kOnesBeforeData;
}

void StartWord(TxSymbolState& s, std::uint16_t word) {
  s.word = word;
  s.word_pairs = 0;
}

Point NextSymbol(TxSymbolState& s, TxSignal signal, std::uint32_t data_bits, bool* took_data) {
  if (took_data != nullptr) *took_data = false;
  const bool odd = (s.alternation++ & 1) != 0;
  switch (signal) {
    case TxSignal::kSilence: return {0, 0};
    case TxSignal::kAA: return kPointA;
    case TxSignal::kCC: return kPointC;
    case TxSignal::kAC: return odd ? kPointC : kPointA;
    case TxSignal::kCA: return odd ? kPointA : kPointC;
    case TxSignal::kS: return odd ? kPointB : kPointA;
    case TxSignal::kSbar: return odd ? kPointD : kPointC;
    case TxSignal::kTrn2: {
      const std::uint32_t line = Scramble(s.scrambler, 3, 2, s.polynomial);
      return (line & 1) != 0 ? kPointC : kPointA;
    }
    case TxSignal::kTrn4: {
      const std::uint32_t line = Scramble(s.scrambler, 3, 2, s.polynomial);
      return kFourPointSet[line];
    }
    case TxSignal::kRateWord: {
      const std::uint32_t pair = (s.word >> (2 * s.word_pairs)) & 3;
      s.word_pairs = static_cast<std::uint8_t>((s.word_pairs + 1) & 7);
      return kFourPointSet[EncodePair(s.encoder, Scramble(s.scrambler, pair, 2, s.polynomial))];
    }
    case TxSignal::kData: {
      const int bits = ModeOf(s.rate).bits;
      std::uint32_t input = kOnes;
      if (s.ones_left > 0) {
        --s.ones_left;
      } else {
        input = data_bits;
        if (took_data != nullptr) *took_data = true;
      }
      const std::uint32_t line = Scramble(s.scrambler, input & ((1u << bits) - 1), bits, s.polynomial);
      return PointOf(s.rate, EncodeSymbol(s.encoder, line, s.rate));
    }
  }
  return {0, 0};
}

void ModulateSymbol(Modulator& m, Point symbol, std::span<std::int16_t, 3> out) {
  m.newest = (m.newest + 1) & 15;
  m.history[m.newest] = symbol;
  for (int phase = 0; phase < 3; ++phase) {
    std::int64_t sum_i = 0;
    std::int64_t sum_q = 0;
    for (std::uint32_t k = 0; k < 16; ++k) {
      const Point& p = m.history[(m.newest + 1 + k) & 15];  // oldest first
      sum_i += static_cast<std::int64_t>(kShapingTaps[phase][k]) * p.i;
      sum_q += static_cast<std::int64_t>(kShapingTaps[phase][k]) * p.q;
    }
    const std::uint32_t index = TableIndex(m.carrier);
    const std::int64_t i = RoundShift15(sum_i);
    const std::int64_t q = RoundShift15(sum_q);
    const std::int64_t sample = RoundShift15(i * kCosTable[index] - q * kSinTable[index]);
    const std::int64_t scaled = (sample * m.gain) >> 13;
    out[phase] = static_cast<std::int16_t>(std::clamp<std::int64_t>(scaled, -32768, 32767));
    m.carrier = (m.carrier + kCarrierStep) & kPhaseMask;
  }
}

}  // namespace pump::v32
