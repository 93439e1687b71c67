// Transmit: a bit per channel bit period from the framer steps the
// baseband phase by the channel's deviation every sample (continuous phase);
// the baseband cosine and sine pass the channel's shaping filter and turn
// the carrier: out = (I cos - Q sin) x output gain.
#include "pump/fsk/fsk_tx.h"

#include <algorithm>
#include <cstring>

#include "pump/afe_access/afe_access.h"
#include "pump/core/sine_oscillator.h"
#include "pump/framer/framer.h"

namespace pump {
namespace {

std::int16_t Shape(const DoubledHistory<std::int16_t>& h,
                   const std::array<std::int16_t, kFskTaps>& taps) {
  const std::int16_t* window = Newest64(h);
  std::int64_t sum = 0;
  for (int k = 0; k < kFskTaps; ++k) sum += std::int64_t{taps[k]} * window[k];
  return static_cast<std::int16_t>(std::clamp<std::int64_t>((sum + 16384) >> 15, -32768, 32767));
}

void Silence(DspContext& context) {
  std::memset(context.output_block, 0, sizeof context.output_block);
}

std::size_t BlockLength(const DspContext& context) {
  return std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
}

void FskWaitForRts(DspContext& context) {
  Silence(context);
  if (context.tx_request == 1) {
    context.transmitting = 1;
    SetStateMachine(context.tx, StateOp::kEndStep);
  }
}

void FskTxData(DspContext& context) {
  FskWork& w = context.fsk;
  FskTransmitter& t = w.tx;
  const FskTxChannel& channel = *w.tx_channel;
  const std::size_t n = BlockLength(context);
  for (std::size_t k = 0; k < n; ++k) {
    if (++t.sample_in_bit >= channel.samples_per_bit) {
      t.sample_in_bit = 0;
      const std::int32_t bit = FramerGetTxBits(context, 1);
      t.no_data = bit < 0 ? 1 : 0;
      if (bit >= 0) {
        t.deviation = bit == w.polarity ? channel.deviation_high : channel.deviation_low;
      }
    }
    if (t.no_data != 0) {
      context.output_block[k] = 0;
      continue;
    }
    t.baseband_phase = static_cast<std::uint16_t>(t.baseband_phase + t.deviation);
    const CosSin baseband = SineOscillator(t.baseband_phase);
    StoreNewest(t.i, baseband.cos);
    StoreNewest(t.q, baseband.sin);
    const std::int32_t i = Shape(t.i, *channel.shaping);
    const std::int32_t q = Shape(t.q, *channel.shaping);
    t.carrier_phase += static_cast<std::uint16_t>(channel.centre);
    const CosSin carrier = SineOscillator(static_cast<std::uint16_t>(t.carrier_phase));
    const std::int32_t passband = ((i * carrier.cos) >> 14) - ((q * carrier.sin) >> 14);
    const std::int32_t out = (passband * t.output_gain) >> 15;
    context.output_block[k] = static_cast<std::int16_t>(std::clamp(out, -32768, 32767));
  }
}

void FskTxDataExit(DspContext& context) {
  context.tx_request = 0;
  Silence(context);
}

void FskTxRestart(DspContext& context) {
  ResetFskTx(context);
  SetStateMachine(context.tx, StateOp::kRestartAt, {}, 0);
  Silence(context);
}

void FskTxIdle(DspContext& context) { Silence(context); }

constexpr StateEntry<DspContext> kTransmitEntries[] = {
    {FskWaitForRts, -1, "FskWaitForRts"},
    {FskTxData, -1, "FskTxData"},
    {FskTxDataExit, 1, "FskTxDataExit"},
    {FskTxRestart, 1, "FskTxRestart"},
};
constexpr StateEntry<DspContext> kIdleEntries[] = {{FskTxIdle, -1, "FskTxIdle"}};

}  // namespace

StateTable<DspContext> FskTxTable() { return kTransmitEntries; }
StateTable<DspContext> FskTxIdleTable() { return kIdleEntries; }

void ResetFskTx(DspContext& context) {
  FskTransmitter& t = context.fsk.tx;
  const std::int16_t gain = t.output_gain;
  t = {};
  t.output_gain = gain;
  t.sample_in_bit = static_cast<std::int16_t>(context.fsk.tx_channel->samples_per_bit - 1);
  context.transmitting = 0;
}

}  // namespace pump
