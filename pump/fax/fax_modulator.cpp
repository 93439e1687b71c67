#include "pump/fax/fax_modulator.h"

#include <algorithm>

#include "pump/core/sine_oscillator.h"
#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_shaping.h"
#include "pump/fax/fax_tx_states.h"

namespace pump {
namespace {

struct Modulation {
  const FaxPrototype* shaping;
  int shaping_shift;  // the prototype's gain: 1/8 or 1/4
  std::int32_t amplitude;
  std::uint16_t carrier_step;  // 65536 a turn per sample: 1800 or 1700 Hz
};

Modulation ModulationOf(const FaxRate& rate) {
  switch (rate.modulation) {
    case kFaxV29:
      return {&kV29V17Shaping, 2, 165, 11604};
    case kFaxV17:
      return {&kV29V17Shaping, 2, 165, 12288};
    default:
      return {rate.bit_rate == 2400 ? &kV27ter2400Shaping : &kV27ter4800Shaping, 3, 439, 12288};
  }
}

// Phase `phase` of the shaping filter over the newest symbols.
std::int32_t Shape(const std::int16_t (&history)[kFaxShapingSymbols], std::uint32_t newest,
                   const FaxPrototype& taps, int phase, int samples_per_symbol) {
  std::int64_t sum = 0;
  for (int k = 0; phase + k * samples_per_symbol < static_cast<int>(taps.size()); ++k) {
    const std::uint32_t at = (newest + kFaxShapingSymbols - static_cast<std::uint32_t>(k)) % kFaxShapingSymbols;
    sum += std::int64_t{taps[static_cast<std::size_t>(phase + k * samples_per_symbol)]} * history[at];
  }
  return static_cast<std::int32_t>(sum >> 15);
}

void FaxModulateBlock(DspContext& context) {
  FaxTxRecord& tx = context.fax.tx;
  const FaxRate rate = FaxRateOf(context.fax.mode_word);
  const Modulation m = ModulationOf(rate);
  int sample = 0;
  for (int s = 0; s < rate.symbols_per_block; ++s) {
    FaxTxSymbol(context);
    tx.newest = (tx.newest + 1) % kFaxShapingSymbols;
    tx.history_i[tx.newest] = static_cast<std::int16_t>(tx.point_i * m.amplitude);
    tx.history_q[tx.newest] = static_cast<std::int16_t>(tx.point_q * m.amplitude);
    for (int phase = 0; phase < rate.samples_per_symbol; ++phase, ++sample) {
      const std::int32_t i = Shape(tx.history_i, tx.newest, *m.shaping, phase, rate.samples_per_symbol) >> m.shaping_shift;
      const std::int32_t q = Shape(tx.history_q, tx.newest, *m.shaping, phase, rate.samples_per_symbol) >> m.shaping_shift;
      const CosSin carrier = SineOscillator(tx.carrier_phase);
      tx.carrier_phase = static_cast<std::uint16_t>(tx.carrier_phase + m.carrier_step);
      const std::int32_t line = (i * carrier.cos - q * carrier.sin) >> 15;
      const std::int32_t out = (line * tx.output_gain) >> 13;
      context.output_block[sample] = static_cast<std::int16_t>(std::clamp(out, -32768, 32767));
    }
  }
}

void V17Tx(DspContext& context) { FaxModulateBlock(context); }
void V27Tx(DspContext& context) { FaxModulateBlock(context); }
void V29Tx(DspContext& context) { FaxModulateBlock(context); }

constexpr StateEntry<DspContext> kV17TxEntries[] = {{V17Tx, -1, "V17Tx"}};
constexpr StateEntry<DspContext> kV27TxEntries[] = {{V27Tx, -1, "V27Tx"}};
constexpr StateEntry<DspContext> kV29TxEntries[] = {{V29Tx, -1, "V29Tx"}};

}  // namespace

StateTable<DspContext> FaxBlockTable(std::uint16_t mode_word) {
  switch (mode_word & kFaxModulationMask) {
    case kFaxV17:
      return kV17TxEntries;
    case kFaxV29:
      return kV29TxEntries;
    default:
      return kV27TxEntries;
  }
}

}  // namespace pump
