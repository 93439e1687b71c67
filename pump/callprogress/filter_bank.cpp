#include "pump/callprogress/filter_bank.h"

#include <algorithm>
#include <cstdlib>

#include "pump/core/host_interface.h"
#include "pump/detect/band_classifier.h"
#include "pump/detect/saturate.h"

namespace pump {
namespace {

constexpr std::int16_t kAgcTarget = 4096;
constexpr std::int16_t kAgcStep = 1638;
constexpr std::int16_t kAgcGain = 0x7FFF;
constexpr std::int16_t kRecordAgcTarget = 200;
constexpr std::int16_t kRecordAgcStep = 2000;
constexpr std::int32_t kVetoSamples = 4000;
constexpr std::size_t kClassifiedSamples = 80;
constexpr std::size_t kClassifierBuffer = 100;

std::int16_t RecordWord(const DialArea& dial, int filter, int word) {
  const std::size_t at = 2 * static_cast<std::size_t>(filter * kFilterRecordWords + word);
  return static_cast<std::int16_t>(dial.filter_records[at] | dial.filter_records[at + 1] << 8);
}

ToneSection SectionOf(const DialArea& dial, int filter, int first) {
  ToneSection s{};
  s.b2 = RecordWord(dial, filter, first);
  s.b1 = RecordWord(dial, filter, first + 1);
  s.b0 = RecordWord(dial, filter, first + 2);
  s.a2 = RecordWord(dial, filter, first + 3);
  s.a1 = RecordWord(dial, filter, first + 4);
  return s;
}

void ClearChannel(ToneChannel& channel) {
  channel = ToneChannel{};
  channel.agc_target = kAgcTarget;
  channel.agc_step = kAgcStep;
  channel.agc_gain = kAgcGain;
  channel.source = kNoSource;
}

void Configure(DspContext& context, int filter, bool v92_rule) {
  const DialArea& dial = context.dial;
  ToneChannel& channel = context.call_progress.bank.channels[filter];
  ClearChannel(channel);
  channel.sections[0] = SectionOf(dial, filter, kRecordSection1);
  channel.sections[1] = SectionOf(dial, filter, kRecordSection2);
  channel.gain = RecordWord(dial, filter, kRecordGain);
  channel.decay = RecordWord(dial, filter, kRecordDecay);
  channel.result_bit = static_cast<std::int16_t>(
      static_cast<std::uint16_t>(RecordWord(dial, filter, kRecordResultBit)) >> 8);
  channel.on_threshold = RecordWord(dial, filter, kRecordOnThreshold);
  channel.off_threshold = RecordWord(dial, filter, kRecordOffThreshold);
  channel.enabled = channel.result_bit != 0 ? 1 : 0;
  if (filter == 0 && context.quick_connect != 0) return;  // AGC as cleared
  channel.agc_step = kRecordAgcStep;
  channel.agc_target = kRecordAgcTarget;
  if (filter == 0 && v92_rule) {
    channel.on_threshold = Saturate16(channel.on_threshold * 4);
    channel.off_threshold = Saturate16(channel.off_threshold * 4);
  }
}

std::int16_t RunAgc(ToneChannel& channel, std::int16_t x) {
  const auto out = static_cast<std::int16_t>(x * channel.agc_gain >> 15);
  const std::int64_t next =
      (std::int64_t{channel.agc_gain} * 32768 +
       std::int64_t{channel.agc_step} * (channel.agc_target - std::abs(std::int32_t{out}))) *
      2;
  channel.agc_gain = static_cast<std::int16_t>(Saturate32(next) >> 16);
  return out;
}

// One sample through channel `c`; returns its result bit when it is on.
std::int16_t RunChannel(ToneFilterBank& bank, int c, std::int16_t x) {
  ToneChannel& channel = bank.channels[c];
  const std::int16_t agc_out = RunAgc(channel, x);
  std::int16_t input = channel.raw != 0 ? x : agc_out;
  if (channel.source >= 0 && channel.source < kToneChannels) {
    input = bank.channels[channel.source].output;
    if (channel.square != 0) input = Saturate16(std::int32_t{input} * input >> 15);
  }
  const std::int16_t y = RunToneSection(channel.sections[1], RunToneSection(channel.sections[0], input));
  channel.output = y;
  const std::int64_t e = (std::int64_t{channel.energy} * channel.decay >> 15) +
                         std::int64_t{channel.gain} * std::abs(std::int32_t{y}) * 2;
  channel.energy = Saturate32(e);
  const std::int32_t level = channel.energy >> 16;
  if (level > channel.on_threshold) channel.on = 1;
  if (level < channel.off_threshold) channel.on = 0;
  return channel.on != 0 ? channel.result_bit : std::int16_t{0};
}

bool Vetoed(DspContext& context, std::span<const std::int32_t> samples) {
  std::int16_t buffer[kClassifierBuffer] = {};
  const std::size_t n = std::min(samples.size(), kClassifiedSamples);
  for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<std::int16_t>(samples[i]);
  return ClassifyBand(context.detectors.band_classifier, context.resources.voice, buffer) ==
         kBroadband;
}

void RunBank(DspContext& context, std::span<const std::int32_t> samples, bool classifier,
             bool v92_rule) {
  ToneFilterBank& bank = context.call_progress.bank;
  for (int c = 0; c < kToneChannels; ++c) {
    if (bank.channels[c].pending == 0) continue;
    if (c < kFilterRecords) Configure(context, c, v92_rule);
    bank.channels[c].pending = 0;
  }
  if (classifier && Vetoed(context, samples)) bank.veto = kVetoSamples;
  for (const std::int32_t wide : samples) {
    const auto x = static_cast<std::int16_t>(wide);
    std::int16_t result = 0;
    for (int c = 0; c < kToneChannels; ++c) {
      if (bank.channels[c].enabled != 0) result |= RunChannel(bank, c, x);
    }
    if (bank.veto > 0) {
      --bank.veto;
      result = 0;
    }
    bank.current = result;
  }
  if (bank.current != bank.previous) {
    bank.previous = bank.current;
    SetDspReg(*context.host, kRegEventType, 0);
    SetDspReg(*context.host, kRegEventValue, static_cast<std::uint8_t>(bank.current));
    WriteDspReg(*context.host, kRegDpInterrupt, 1);
  }
}

}  // namespace

std::int16_t RunToneSection(ToneSection& s, std::int16_t x) {
  const std::int64_t acc = 2 * (std::int64_t{s.b0} * x + std::int64_t{s.b1} * s.x1 +
                                std::int64_t{s.b2} * s.x2) +
                           ((std::int64_t{s.a1} * s.y1 + std::int64_t{s.a2} * s.y2) >> 15);
  const std::int32_t y = Saturate32(acc * 2);
  s.x2 = s.x1;
  s.x1 = x;
  s.y2 = s.y1;
  s.y1 = y;
  return static_cast<std::int16_t>(y >> 16);
}

void ResetCallProgressFilters(DspContext& context) {
  ToneFilterBank& bank = context.call_progress.bank;
  for (ToneChannel& channel : bank.channels) ClearChannel(channel);
  bank.previous = 0;
  bank.current = 0;
  bank.veto = 0;
  for (int c = 0; c < kFilterRecords; ++c) bank.channels[c].pending = 1;
}

void ConfigureCallProgressFilter(DspContext& context, int filter) {
  if (filter < 0 || filter >= kFilterRecords) return;
  context.call_progress.bank.channels[filter].pending = 1;
}

void RunToneFilterBank(DspContext& context, std::span<const std::int32_t> samples,
                       bool classifier) {
  RunBank(context, samples, classifier, false);
}

void RunToneFilterBankIdle(DspContext& context, std::span<const std::int32_t> samples) {
  if (context.voice_active == 0) RunBank(context, samples, false, false);
}

void RunToneFilterBank2(DspContext& context, std::span<const std::int32_t> samples,
                        bool classifier) {
  RunBank(context, samples, classifier, true);
}

}  // namespace pump
