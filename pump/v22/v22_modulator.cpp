#include "pump/v22/v22_modulator.h"

#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/core/sine_oscillator.h"
#include "pump/framer/framer.h"
#include "pump/v22/v22_tables.h"

namespace pump {
namespace {

constexpr std::int16_t kUnit = 6144;
constexpr int kRunOfOnes = 64;
constexpr std::uint32_t kS1First = 12;  // S1 alternates 12 and 0
constexpr std::uint32_t kOnes = 15;

// The constellation: index = quadrant bits 3-2, position bits 1-0.
constexpr std::int8_t kPointI[16] = {1, 3, 1, 3, -1, -1, -3, -3, -1, -3, -1, -3, 1, 1, 3, 3};
constexpr std::int8_t kPointQ[16] = {1, 1, 3, 3, 1, 3, 1, 3, -1, -1, -3, -3, -1, -3, -1, -3};

// The quadrant's turn by the symbol's first two bits (bits 3-2).
constexpr std::int32_t kQuadrantTurn[4] = {4, 0, 8, 12};

bool TwoBits(const V22TxRecord& tx) { return (tx.mode & (kV22TwoBits | kV22TwoBitsAlso)) != 0; }

std::uint32_t TakeGroup(DspContext& context, V22TxRecord& tx, int bits) {
  if ((tx.mode & kV22S1) != 0) {
    tx.s1_toggle ^= 1u;
    return tx.s1_toggle != 0 ? kS1First : 0;
  }
  if ((tx.mode & kV22Ones) != 0) return kOnes;
  return static_cast<std::uint32_t>(FramerGetTxBits(context, bits)) & 15u;
}

void NextSymbol(DspContext& context, V22TxRecord& tx) {
  const bool two = TwoBits(tx);
  const int bits = two ? 2 : 4;
  tx.group = TakeGroup(context, tx, bits);
  std::uint32_t group = tx.group;
  if ((tx.mode & kV22Scrambled) != 0) {
    std::uint32_t out = 0;
    for (int k = 0; k < bits; ++k) {
      out = (out << 1) | static_cast<std::uint32_t>(
                         V22Scramble(tx, static_cast<int>((tx.group >> k) & 1u)));
    }
    group = two ? out << 2 : out;
  }
  tx.scrambled_group = group;
  tx.quadrant = (tx.quadrant + kQuadrantTurn[(group >> 2) & 3]) & 15;
  tx.point = two ? static_cast<std::uint32_t>(tx.quadrant + 1)
                 : static_cast<std::uint32_t>(tx.quadrant) | (group & 3);
  tx.symbol_i = static_cast<std::int16_t>(kPointI[tx.point] * kUnit);
  tx.symbol_q = static_cast<std::int16_t>(kPointQ[tx.point] * kUnit);
  tx.history_index = static_cast<std::uint16_t>((tx.history_index + 1) % kV22ShapingTaps);
  tx.history_i[tx.history_index] = tx.symbol_i;
  tx.history_i[tx.history_index + kV22ShapingTaps] = tx.symbol_i;
  tx.history_q[tx.history_index] = tx.symbol_q;
  tx.history_q[tx.history_index + kV22ShapingTaps] = tx.symbol_q;
}

// Tap k of the sample's phase weighs the symbol k symbols old.
std::int16_t Shape(const std::int16_t* history, std::uint16_t newest, int phase) {
  const auto& taps = v22::kInterpolator[static_cast<std::size_t>(phase)];
  std::int32_t sum = 0;
  for (int k = 0; k < kV22ShapingTaps; ++k) {
    sum += taps[static_cast<std::size_t>(k)] * history[newest + kV22ShapingTaps - k];
  }
  return static_cast<std::int16_t>(std::clamp(sum >> 15, -32768, 32767));
}

}  // namespace

int V22Scramble(V22TxRecord& tx, int bit) {
  if (tx.scrambler_ones >= kRunOfOnes) {
    bit ^= 1;
    tx.scrambler_ones = 0;
  }
  const int out = bit ^ static_cast<int>(tx.scrambler & 1u) ^ static_cast<int>((tx.scrambler >> 3) & 1u);
  tx.scrambler = (tx.scrambler >> 1) | (static_cast<std::uint32_t>(out) << 16);
  tx.scrambler_ones = out == 1 ? tx.scrambler_ones + 1 : 0;
  return out;
}

void V22Modulate(DspContext& context, V22TxRecord& tx) {
  const std::size_t n = std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
  for (std::size_t k = 0; k < n; ++k) {
    if (tx.sample_in_symbol == 0) NextSymbol(context, tx);
    tx.shaped_i = Shape(tx.history_i, tx.history_index, tx.sample_in_symbol);
    tx.shaped_q = Shape(tx.history_q, tx.history_index, tx.sample_in_symbol);
    // The phase wraps: unsigned arithmetic.
    tx.carrier_phase = static_cast<std::int32_t>(static_cast<std::uint32_t>(tx.carrier_phase) +
                                                 static_cast<std::uint16_t>(tx.carrier_increment));
    const CosSin carrier = SineOscillator(static_cast<std::uint16_t>(tx.carrier_phase));
    tx.carrier_cos = carrier.cos;
    tx.carrier_sin = carrier.sin;
    const std::int32_t passband =
        ((tx.shaped_i * carrier.cos) >> 14) - ((tx.shaped_q * carrier.sin) >> 14);
    context.output_block[k] =
        static_cast<std::int16_t>(std::clamp((passband * tx.output_gain) >> 15, -32768, 32767));
    tx.sample_in_symbol = (tx.sample_in_symbol + 1) % kV22SamplesPerSymbol;
  }
}

}  // namespace pump
