#include "pump/fsk/fsk_rx.h"

#include <algorithm>
#include <cstdlib>

#include "pump/afe_access/afe_access.h"
#include "pump/core/dp_status.h"
#include "pump/core/host_transfer.h"
#include "pump/core/sine_oscillator.h"
#include "pump/fsk/caller_id.h"
#include "pump/framer/framer.h"
#include "pump/packets/dp_packets.h"

namespace pump {
namespace {

constexpr std::int16_t kGainTarget = 3915;
constexpr std::int16_t kGainStep = 1280;
constexpr std::int16_t kStartExponent = 9;
constexpr std::int16_t kStartMantissa = 0x3000;
constexpr std::int16_t kSavedExponent = 11;
constexpr std::int16_t kSavedMantissa = 32767;
constexpr std::int16_t kNoLevel = -100;
constexpr int kFaxFadeDb = 6;
constexpr int kFaxFlags = 2;  // more flags than this make a fax carrier
constexpr int kDetect1650Limit = 24;

void ResetFskAgc(FskAgc& g) {
  g = {};
  g.exponent = kStartExponent;
  g.mantissa = kStartMantissa;
  g.target = kGainTarget;
  g.step = kGainStep;
  g.saved_exponent = kSavedExponent;
  g.saved_mantissa = kSavedMantissa;
  g.latched_level = kNoLevel;
  g.level_db = kNoLevel;
}

std::int64_t Dot(const std::int32_t* window, const std::array<std::int16_t, kFskTaps>& taps) {
  std::int64_t sum = 0;
  for (int k = 0; k < kFskTaps; ++k) sum += std::int64_t{taps[k]} * window[k];
  return sum;
}

std::int32_t Saturate32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

void Interrupt(DspContext& context) { WriteDspReg(*context.host, kRegDpInterrupt, 1); }

void PostFaxCd(DspContext& context) {
  const DpPacketBytes packet = BuildDpPacket(DpFaxCdPayload{});
  PostDpPacket(*context.host, packet.code, packet.Payload());
}

// Steps 4 and 5: the filtered pair of a processed sample, with the gain.
void FilterPair(DspContext& context) {
  FskWork& w = context.fsk;
  FskReceiver& r = w.rx;
  const FskRxChannel& channel = *w.rx_channel;
  r.previous_i = r.current_i;
  r.previous_q = r.current_q;
  std::int64_t i = 0;
  std::int64_t q = 0;
  if (channel.prefilter == FskPrefilter::kNone) {
    i = Dot(Newest64(r.mixed_i), *channel.main_filter) >> 15;
    q = Dot(Newest64(r.mixed_q), *channel.main_filter) >> 15;
  } else {
    std::int32_t pre_i = 0;
    std::int32_t pre_q = 0;
    if (channel.prefilter == FskPrefilter::kPairSum) {
      const std::int32_t* mi = Newest64(r.mixed_i);
      const std::int32_t* mq = Newest64(r.mixed_q);
      pre_i = mi[kFskTaps - 1] + mi[kFskTaps - 2];
      pre_q = mq[kFskTaps - 1] + mq[kFskTaps - 2];
    } else {
      pre_i = Saturate32(Dot(Newest64(r.mixed_i), *channel.prefilter_taps) >> 15);
      pre_q = Saturate32(Dot(Newest64(r.mixed_q), *channel.prefilter_taps) >> 15);
    }
    StoreNewest(r.pre_i, pre_i);
    StoreNewest(r.pre_q, pre_q);
    i = Dot(Newest64(r.pre_i), *channel.main_filter) >> 15;
    q = Dot(Newest64(r.pre_q), *channel.main_filter) >> 15;
  }
  const FskAgc& g = w.agc;
  if (g.exponent >= 0) {
    i *= std::int64_t{1} << g.exponent;
    q *= std::int64_t{1} << g.exponent;
  } else {
    i >>= -g.exponent;
    q >>= -g.exponent;
  }
  i = (i * g.mantissa) >> 15;
  q = (q * g.mantissa) >> 15;
  if (i < -32768 || i > 32767 || q < -32768 || q > 32767) {
    r.current_i = 32767;
    r.current_q = 0;
  } else {
    r.current_i = static_cast<std::int16_t>(i);
    r.current_q = static_cast<std::int16_t>(q);
  }
}

// Step 8: a decided bit to the caller-ID hook, the qualifier or the framer.
void TakeBit(DspContext& context, int bit) {
  FskWork& w = context.fsk;
  FskReceiver& r = w.rx;
  w.agc.last_bit = static_cast<std::int16_t>(bit);
  if (CallerIdBit(context, bit)) return;
  if (w.carrier_on == 0) {
    if (w.qualifier_enable != 0 && w.mark_countdown > 0) {
      const bool beyond = w.qualifier_threshold >= 0 ? r.discriminator > w.qualifier_threshold
                                                     : r.discriminator < w.qualifier_threshold;
      w.mark_countdown = beyond ? static_cast<std::int16_t>(w.mark_countdown - 1)
                                : static_cast<std::int16_t>(kFskMarkRun);
    }
    return;
  }
  r.consecutive_ones = bit == 1 ? r.consecutive_ones + 1 : 0;
  FramerPutRxBits(context, 1, static_cast<std::uint32_t>(bit));
}

// The run of marks a data carrier waits for. Without the qualifier no bit
// counts it down, so a start without it (the loopback test) waits for none.
void RearmMarks(FskWork& w) {
  w.mark_countdown = w.qualifier_enable != 0 ? static_cast<std::int16_t>(kFskMarkRun) : 0;
}

void CarrierLost(DspContext& context) {
  FskWork& w = context.fsk;
  HostInterface& host = *context.host;
  w.rx.above_count = 0;
  w.carrier_on = 0;
  w.reported = 0;
  RearmMarks(w);
  const std::uint32_t flags = GetFlagStatus(context);
  ClearFlagStatus(context);
  switch (w.kind) {
    case kFskCallerId:
      CallerIdCarrierLost(context);
      return;
    case kFskV8bis:
      SetDpStatus(host, kStatusCarrier, false);
      break;
    case kFskData:
      if (w.dropout_tolerance != 0) {
        if (w.dropout_allowance < 1) {
          SetDpStatus(host, kStatusCarrier, false);
        } else {
          w.carrier_on = 1;  // a short dropout: the carrier stays
          --w.dropout_allowance;
          return;
        }
      } else {
        SetDpStatus(host, kStatusIdle, false);
        SetDpStatus(host, kStatusCarrier, false);
      }
      break;
    case kFskFax:
      if (context.v21_watch != 0) return;
      SetDpStatus(host, kStatusIdle, false);
      SetDpStatus(host, kStatusCarrier, false);
      if (flags > kFaxFlags) PostFaxCd(context);
      break;
    default:
      return;
  }
  Interrupt(context);
}

void CarrierFound(DspContext& context) {
  FskWork& w = context.fsk;
  HostInterface& host = *context.host;
  w.carrier_on = 1;
  switch (w.kind) {
    case kFskFax:
      if (context.v21_watch == 0) SetDpStatus(host, kStatusFaxCarrier, false);
      break;
    case kFskData:
      w.dropout_allowance = kFskDropoutAllowance;
      if (w.mark_countdown > 0) {
        w.carrier_on = 0;  // not before the run of marks
        return;
      }
      SetDpStatus(host, kStatusConnected, false);
      SetDpStatus(host, kStatusCarrier, true);
      break;
    case kFskV8bis:
      SetDpStatus(host, kStatusCarrier, true);
      break;
    default:
      return;  // V.8 and caller ID report nothing
  }
  Interrupt(context);
}

void CarrierCheck(DspContext& context) {
  FskWork& w = context.fsk;
  const int level = w.agc.level_db;
  if (w.carrier_on != 0 && level <= kFskCarrierOffDb) {
    CarrierLost(context);
    return;
  }
  if (w.carrier_on != 0 && w.kind == kFskFax && w.reported != 0 &&
      level <= w.agc.latched_level - kFaxFadeDb) {
    // A fax carrier that faded 6 dB below its level at the first flags.
    w.carrier_on = 0;
    w.reported = 0;
    w.rx.above_count = 0;
    ClearFlagStatus(context);
    ResetFskAgc(w.agc);
    w.agc.freeze = 1;
    PostFaxCd(context);
    SetDpStatus(*context.host, kStatusIdle, false);
    SetDpStatus(*context.host, kStatusCarrier, false);
    Interrupt(context);
    return;
  }
  if (w.carrier_on != 0) return;
  if (level < kFskCarrierOnDb) {
    RearmMarks(w);
    w.rx.above_count = 0;
    return;
  }
  if (++w.rx.above_count > w.rx.carrier_on_threshold) CarrierFound(context);
}

int LevelCorrection(const FskAgc& g) {
  constexpr std::int16_t kSteps[] = {24574, 21901, 19517, 17397, 15505, 13819, 12316};
  int k = 2;
  for (const std::int16_t step : kSteps) {
    if (g.mantissa >= step) break;
    ++k;
  }
  return 6 * g.exponent - k;
}

void LevelAndGain(DspContext& context) {
  FskWork& w = context.fsk;
  FskAgc& g = w.agc;
  const FskReceiver& r = w.rx;
  const std::int32_t a = (r.current_q ^ (r.current_q >> 15)) >> 2;  // ones'-complement magnitudes
  const std::int32_t b = (r.current_i ^ (r.current_i >> 15)) >> 2;
  const std::int32_t magnitude = a + b - std::min(a, b) / 2;
  g.average =
      static_cast<std::int16_t>((((magnitude * 1638) >> 15) + ((g.average * 31129) >> 15)) & 0x7FFF);
  if (g.freeze == 0) {
    std::int32_t mantissa = g.mantissa + (((g.target - g.average) * g.step) >> 15);
    mantissa &= 0x7FFF;
    if (mantissa == 0) mantissa = 1;
    if (mantissa > 0x6000 && g.exponent < 15) {
      ++g.exponent;
      mantissa >>= 1;
    } else if (mantissa < 0x3000 && g.exponent > 0) {
      --g.exponent;
      mantissa <<= 1;
    }
    g.mantissa = static_cast<std::int16_t>(mantissa);
  }
  if (g.save_hold == 0 && w.kind != kFskFax) {
    g.saved_exponent = g.exponent;
    g.saved_mantissa = g.mantissa;
  }
  g.level_correction = static_cast<std::int16_t>(LevelCorrection(g));
  g.level_db = static_cast<std::int16_t>(w.rx_channel->level_base - w.receive_gain_db -
                                         g.level_correction);
}

// After the block: a fax carrier with more than two flags is reported once.
void ReportFaxFlags(DspContext& context) {
  FskWork& w = context.fsk;
  if (w.carrier_on == 0 || w.kind != kFskFax || w.reported != 0) return;
  if (GetFlagStatus(context) <= kFaxFlags) return;
  if (context.v21_watch != 0) {
    const DpPacketBytes packet = BuildDpPacket(DpV21OnFaxPayload{});
    PostDpPacket(*context.host, packet.code, packet.Payload());
    context.v21_recognised = 1;
  } else {
    SetDpStatus(*context.host, kStatusCarrier, true);
    Interrupt(context);
    RestartFramerRx(context);
  }
  w.reported = 1;
  w.agc.latched_level = w.agc.level_db;
  w.agc.saved_exponent = w.agc.exponent;
  w.agc.saved_mantissa = w.agc.mantissa;
}

std::size_t BlockLength(const DspContext& context) {
  return std::min<std::size_t>(context.afe->samples_per_block, kBlockSamples);
}

void RxIdle(DspContext&) {}

void FaxDetect1650(DspContext& context) {
  FskWork& w = context.fsk;
  const std::size_t n = BlockLength(context);
  std::int32_t work[kBlockSamples];
  for (std::size_t k = 0; k < n; ++k) work[k] = DcRemove(w.rx.dc, context.input_block[k]);
  if (RunNotchDetector(w.detector1650, std::span<const std::int32_t>(work, n),
                       kDetect1650Limit) != 0) {
    SetStateMachine(context.rx, StateOp::kEndStep);
  }
}

void FaxFskRx(DspContext& context) {
  FskWork& w = context.fsk;
  const std::size_t n = BlockLength(context);
  for (std::size_t k = 0; k < n; ++k) {
    context.input_block[k] = static_cast<std::int16_t>(
        std::clamp(DcRemove(w.rx.dc, context.input_block[k]), -32768, 32767));
  }
  FskRx(context);
}

constexpr StateEntry<DspContext> kRxEntries[] = {{FskRx, -1, "FskRx"}};
constexpr StateEntry<DspContext> kRxIdleEntries[] = {{RxIdle, -1, "RxIdle"}};
constexpr StateEntry<DspContext> kFaxEntries[] = {
    {RxIdle, 2, "RxIdle"},
    {FaxDetect1650, -1, "FaxDetect1650"},
    {FaxFskRx, -1, "FaxFskRx"},
};

}  // namespace

StateTable<DspContext> FskRxTable() { return kRxEntries; }
StateTable<DspContext> RxIdleTable() { return kRxIdleEntries; }
StateTable<DspContext> FaxDetectTable() { return kFaxEntries; }

void FskRx(DspContext& context) {
  FskWork& w = context.fsk;
  if (w.rx_channel == nullptr) return;  // no FSK start since the context began
  FskReceiver& r = w.rx;
  const FskRxChannel& channel = *w.rx_channel;
  const std::size_t n = BlockLength(context);
  const int shift = context.v21_watch != 0 ? 16 : 15;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t x = context.input_block[i];
    r.oscillator_phase = static_cast<std::uint16_t>(r.oscillator_phase + channel.centre);
    const CosSin osc = SineOscillator(r.oscillator_phase);
    StoreNewest(r.mixed_i, (x * osc.cos) >> shift);
    StoreNewest(r.mixed_q, (x * osc.sin) >> shift);
    if (i % static_cast<std::size_t>(channel.decimation) == 0) {
      FilterPair(context);
      const std::int64_t d = std::int64_t{r.previous_i} * r.current_q -
                             std::int64_t{r.current_i} * r.previous_q;
      r.previous_discriminator = r.discriminator;
      r.discriminator = static_cast<std::int32_t>(d >> 1);
      if ((r.discriminator < 0) != (r.previous_discriminator < 0)) {
        r.bit_timing = static_cast<std::int16_t>(channel.samples_per_bit / 2);
      }
      if (++r.bit_timing >= channel.samples_per_bit) {
        r.bit_timing = 0;
        TakeBit(context, w.polarity ^ (r.discriminator > 1 ? 1 : 0));
      }
    }
    if (i % static_cast<std::size_t>(channel.check_every) == 0) CarrierCheck(context);
    LevelAndGain(context);
  }
  ReportFaxFlags(context);
}

void ResetFskRx(DspContext& context) {
  FskWork& w = context.fsk;
  const std::int32_t threshold = w.rx.carrier_on_threshold;
  w.rx = {};
  w.rx.carrier_on_threshold = threshold;
  w.carrier_on = 0;
  w.reported = 0;
  ResetFskAgc(w.agc);
}

void FreezeFskGain(DspContext& context, std::int16_t mantissa, std::int16_t exponent) {
  FskAgc& g = context.fsk.agc;
  g.mantissa = mantissa;
  g.exponent = exponent;
  g.freeze = 1;
}

}  // namespace pump
