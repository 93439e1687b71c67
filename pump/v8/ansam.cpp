#include "pump/v8/ansam.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "pump/afe_access/afe_access.h"
#include "pump/core/fixed_point.h"
#include "pump/core/sine_oscillator.h"

namespace pump {
namespace {

constexpr std::int32_t kCarrierIncrement = 0x3800;  // 2100 Hz at 9600 Hz
constexpr std::int32_t kModulationIncrement = 102;  // 15 Hz
constexpr std::int32_t kHalfTurn = 0x8000;
constexpr int kAnsamLevelBelowTransmit = 2;  // dB

// c0..c4 (Q31) of the five sections: the pass band from about 2040 Hz up.
constexpr std::int32_t kHighPass[kAnsamSections][5] = {
    {178978816, -294977536, 178978816, -893321216, 525008896},
    {629145600, -877920256, 629145600, -706215936, 520552448},
    {448069632, -723714048, 448069632, -856031232, 475332608},
    {766115840, -1106640896, 766115840, -652214272, 452198400},
    {782696448, -1202782208, 782499840, -678297600, 345964544},
};

// Detector constants: the power and envelope averages' decay (Q31), the
// margin of the envelope over the power and the least power.
constexpr std::int32_t kPowerDecay = 0x7FE00000;
constexpr std::int32_t kEnvelopeDecay = 0x7FF50000;
constexpr std::int32_t kEnvelopeMargin = 272;
constexpr std::int32_t kLeastPower = 0x18000;
// The resonator's feedback (Q31): 2 r cos w - 1 and r^2 for 17 Hz.
constexpr std::int32_t kResonatorA1 = 0x7F9C0000;
constexpr std::int32_t kResonatorA2 = 0x7FA00000;

std::int32_t Hold32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t Abs32(std::int32_t v) {
  return v == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max()
                                                       : std::abs(v);
}

std::size_t BlockLength(const AnsamRecord& r) {
  return static_cast<std::size_t>(std::clamp(r.block_length, 0, kAnsamBlock));
}

void AnsamTxInit(DspContext& context) {
  AnsamRecord& r = context.v8.ansam;
  r.carrier_phase = 0;
  r.modulation_phase = 0;
  r.reversal_count = 0;
  r.gain = AfeGain(*context.afe, context.transmit_level - kAnsamLevelBelowTransmit);
  r.block_length = static_cast<std::int32_t>(context.afe->samples_per_block);
  std::fill(std::begin(context.output_block), std::end(context.output_block), std::int16_t{0});
}

void AnsamTx(DspContext& context) {
  AnsamRecord& r = context.v8.ansam;
  const std::size_t n = BlockLength(r);
  for (std::size_t i = 0; i < n; ++i) {
    r.carrier_phase += kCarrierIncrement;
    if (r.reversal_count > kAnsamReversalSamples - 1) {
      r.reversal_count = 0;
      r.carrier_phase += kHalfTurn;
    }
    r.carrier_phase &= 0xFFFF;
    const std::int32_t s =
        SineOscillator(static_cast<std::uint16_t>(r.carrier_phase)).sin * r.gain >> 15;
    r.modulation_phase = (r.modulation_phase + kModulationIncrement) & 0xFFFF;
    ++r.reversal_count;
    const std::int32_t m =
        SineOscillator(static_cast<std::uint16_t>(r.modulation_phase)).sin * kAnsamDepth >> 15;
    const std::int32_t out = s + (static_cast<std::int16_t>(s) * m >> 15);
    context.output_block[i] = static_cast<std::int16_t>(std::clamp(out, -32768, 32767));
  }
}

using Entry = StateEntry<DspContext>;
constexpr Entry kAnsamTx[] = {{AnsamTxInit, 1, "ANSamTxInit"}, {AnsamTx, -1, "ANSamTx"}};

}  // namespace

StateTable<DspContext> AnsamTxTable() { return kAnsamTx; }

void InitAnsamDetector(DspContext& context) {
  AnsamRecord& r = context.v8.ansam;
  const std::int16_t gain = r.gain;
  r = AnsamRecord{};
  r.gain = gain;  // the transmitter's
  r.block_length = static_cast<std::int32_t>(context.afe->samples_per_block);
}

void AnsamHighPass(AnsamRecord& record, std::span<const std::int32_t> levelled) {
  const std::size_t n = std::min(BlockLength(record), levelled.size());
  for (std::size_t i = 0; i < n; ++i) {
    std::int32_t b = Hold32(std::int64_t{levelled[i]} * 65536);
    for (int k = 0; k < kAnsamSections; ++k) {
      AnsamSection& s = record.sections[k];
      const std::int32_t* c = kHighPass[k];
      s.x0 = k == kAnsamSections - 1 ? Hold32(std::int64_t{b} * 2) : b;
      const std::int64_t sum = std::int64_t{MulQ31(c[0], s.x0)} + MulQ31(c[1], s.x1) +
                               MulQ31(c[2], s.x2) - MulQ31(c[3], s.y1) - MulQ31(c[4], s.y2);
      const std::int32_t y = Hold32(2 * sum);
      s.x2 = s.x1;
      s.x1 = s.x0;
      s.y2 = s.y1;
      s.y1 = y;
      b = y;
    }
    record.filtered[i] = b;
  }
}

std::int32_t AnsamResonator(AnsamResonatorState& state, std::int32_t a) {
  const std::int32_t x = Abs32(a);
  const std::int64_t y = std::int64_t{state.y1} + MulQ31(state.y1, kResonatorA1) -
                         MulQ31(state.y2, kResonatorA2) + ((std::int64_t{x} - state.x1) >> 5);
  state.x1 = x;
  state.y2 = state.y1;
  state.y1 = Hold32(y);
  return Abs32(state.y1);
}

void RunAnsamDetector(AnsamRecord& record) {
  ++record.blocks_seen;
  const std::size_t n = BlockLength(record);
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t a = Hold32(std::int64_t{record.filtered[i]} * 4);
    record.power = Hold32(std::int64_t{MulQ31(record.power, kPowerDecay)} + (MulQ31(a, a) >> 10));
    const std::int32_t c = AnsamResonator(record.resonator, a);
    record.envelope =
        Hold32(std::int64_t{MulQ31(record.envelope, kEnvelopeDecay)} + (c >> 11));
    if ((record.envelope >> 16) - (record.power >> 14) > kEnvelopeMargin &&
        record.power >= kLeastPower) {
      if (record.run_count < std::numeric_limits<std::int16_t>::max()) ++record.run_count;
    } else {
      record.run_count = 0;
    }
  }
  if (record.blocks_seen < kAnsamMinBlocks) record.run_count = 0;
}

}  // namespace pump
