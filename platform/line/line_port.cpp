#include "platform/line/line_port.h"

#include <algorithm>
#include <string>

#include "platform/diag/fatal.h"

namespace plat::line {
namespace {

constexpr int kMaxTaps = 2 * kResamplerDelay + 1;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// The grid tick of an instant, to the nearest tick.
std::int64_t TickOf(std::int64_t instant_ns, std::uint32_t up) {
  return FloorDiv(instant_ns * up + kLineSampleNs / 2, kLineSampleNs);
}

std::int64_t Dot(std::span<const std::int32_t> taps, const std::int16_t* x) {
  std::int64_t acc = 0;
  for (std::size_t i = 0; i < taps.size(); ++i) acc += std::int64_t{taps[i]} * x[i];
  return acc;
}

std::int16_t RoundToSample(std::int64_t acc) {
  const std::int64_t v = (acc + (std::int64_t{1} << (kCoefficientBits - 1))) >> kCoefficientBits;
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(v, -32768, 32767));
}

}  // namespace

LinePort::LinePort(const ResamplerDesigns& designs, std::uint8_t rate_code)
    : designs_(designs), line_in_(kMaxTaps) {
  const ResamplerDesign* design = &designs_.ForCode(rate_code);
  const Segment first{design, 0, 0, -1, 0, false};
  dac_.push_back({first, SampleWindow(design->to_line().taps())});
  adc_.push_back(first);
}

void LinePort::SwitchRate(std::uint8_t rate_code, std::int64_t instant_ns) {
  // The old rate keeps the samples whose grid tick lies before the instant.
  const Segment& old_dac = dac_.back().timing;
  const CodecRate& old_rate = old_dac.design->rate();
  const std::int64_t span = TickOf(instant_ns, old_rate.up) - old_dac.epoch;
  const std::int64_t count =
      std::max<std::int64_t>(0, FloorDiv(span + old_rate.down - 1, old_rate.down));
  SwitchRate(rate_code, instant_ns, old_dac.base + count);
}

void LinePort::SwitchRate(std::uint8_t rate_code, std::int64_t instant_ns,
                          std::int64_t samples_before) {
  const ResamplerDesign* design = &designs_.ForCode(rate_code);
  if (instant_ns < last_switch_ns_) {
    diag::Fatal("line-port-rate", "rate change at " + std::to_string(instant_ns) +
                                      " ns precedes the previous one at " +
                                      std::to_string(last_switch_ns_) + " ns");
  }
  last_switch_ns_ = instant_ns;
  Segment& old_dac = dac_.back().timing;
  const std::int64_t count = samples_before - old_dac.base;
  if (count < 0 || old_dac.done > count || adc_.back().done > count) {
    diag::Fatal("line-port-rate",
                "rate change at " + std::to_string(instant_ns) +
                    " ns comes after codec samples already passed at the old rate");
  }
  old_dac.count = count;
  adc_.back().count = count;
  SealIfFull(dac_.back());

  const Segment next{design, TickOf(instant_ns, design->rate().up), old_dac.base + count, -1, 0,
                     false};
  dac_.push_back({next, SampleWindow(design->to_line().taps())});
  adc_.push_back(next);
  ShareTheChange(dac_[dac_.size() - 2], dac_.back());
}

void LinePort::ShareTheChange(DacSegment& old_rate, DacSegment& new_rate) {
  const Segment& o = old_rate.timing;
  const Segment& n = new_rate.timing;
  if (o.count == 0) return;
  const std::int64_t up_o = o.design->rate().up;
  const std::int64_t up_n = n.design->rate().up;
  // Instants in units of 1 / (8000 up_o up_n) s, which both grids divide.
  const std::int64_t gap =
      n.epoch * up_o - (o.epoch + o.design->rate().down * (o.count - 1)) * up_n;
  const std::int64_t old_period = o.design->rate().down * up_n;
  const std::int64_t new_period = n.design->rate().down * up_o;
  // Each sample keeps half its own period and half the gap to the other.
  auto weight = [gap](std::int64_t period) {
    return static_cast<std::int32_t>((std::int64_t{kUnitWeight} * (gap + period) + period) /
                                     (2 * period));
  };
  old_rate.last_weight = weight(old_period);
  new_rate.first_weight = weight(new_period);
}

void LinePort::SealIfFull(DacSegment& s) {
  if (s.timing.sealed || !Full(s.timing)) return;
  // Silence after the last sample lets the filter run out over it.
  s.input.AppendSilence(s.timing.design->to_line().taps() - 1);
  s.timing.sealed = true;
}

void LinePort::WriteCodec(std::span<const std::int16_t> samples) {
  for (DacSegment& s : dac_) {
    if (samples.empty()) break;
    if (Full(s.timing)) continue;
    std::size_t take = samples.size();
    if (s.timing.count >= 0) {
      take = std::min<std::size_t>(take, static_cast<std::size_t>(s.timing.count - s.timing.done));
    }
    s.input.Append(samples.first(take));
    s.timing.done += static_cast<std::int64_t>(take);
    codec_written_ += static_cast<std::int64_t>(take);
    samples = samples.subspan(take);
    SealIfFull(s);
  }
}

std::int64_t LinePort::Contribution(const DacSegment& s, std::int64_t line_index) const {
  const ResamplerDesign& design = *s.timing.design;
  const PolyphaseBank& bank = design.to_line();
  const std::int64_t a = design.rate().up * line_index - s.timing.epoch - design.lead();
  if (a < 0) return 0;  // the rate has not begun by this instant
  const std::int64_t down = design.rate().down;
  const std::int64_t k = a / down;  // the newest codec sample at or before the instant
  const int taps = bank.taps();
  if (s.timing.count >= 0 && k - (taps - 1) >= s.timing.count) return 0;
  const std::int64_t oldest = k - (taps - 1);
  const auto phase = bank.Phase(static_cast<int>(a - k * down));
  std::int64_t acc = Dot(phase, s.input.At(oldest));
  auto reweigh = [&](std::int64_t index, std::int32_t weight) {
    if (weight == kUnitWeight || index < oldest || index > k) return;
    const std::int64_t term =
        std::int64_t{phase[static_cast<std::size_t>(index - oldest)]} * *s.input.At(index);
    acc += (term * (weight - kUnitWeight)) >> 15;
  };
  reweigh(0, s.first_weight);
  if (s.timing.count > 0) reweigh(s.timing.count - 1, s.last_weight);
  return acc;
}

bool LinePort::Finished(const DacSegment& s, std::int64_t line_index) const {
  if (!s.timing.sealed) return false;
  const ResamplerDesign& design = *s.timing.design;
  const std::int64_t a = design.rate().up * line_index - s.timing.epoch - design.lead();
  return a >= 0 && a / design.rate().down - (design.to_line().taps() - 1) >= s.timing.count;
}

std::int64_t LinePort::CodecSamplesNeeded(std::int64_t line_end) const {
  std::int64_t needed = 0;
  if (line_end <= 0) return needed;
  for (const DacSegment& s : dac_) {
    const ResamplerDesign& design = *s.timing.design;
    const std::int64_t a = design.rate().up * (line_end - 1) - s.timing.epoch - design.lead();
    if (a < 0) continue;
    std::int64_t have = a / design.rate().down + 1;
    if (s.timing.count >= 0) have = std::min(have, s.timing.count);
    needed = std::max(needed, s.timing.base + have);
  }
  return needed;
}

void LinePort::ReadLine(std::span<std::int16_t> out) {
  const std::int64_t needed =
      CodecSamplesNeeded(line_read_ + static_cast<std::int64_t>(out.size()));
  if (needed > codec_written_) {
    diag::Fatal("line-causality", "line sample " + std::to_string(line_read_ + out.size() - 1) +
                                      " needs " + std::to_string(needed) + " DAC samples, " +
                                      std::to_string(codec_written_) + " written");
  }
  for (std::int16_t& y : out) {
    std::int64_t acc = 0;
    for (const DacSegment& s : dac_) acc += Contribution(s, line_read_);
    y = RoundToSample(acc);
    ++line_read_;
  }
  while (dac_.size() > 1 && Finished(dac_.front(), line_read_)) dac_.pop_front();
  for (DacSegment& s : dac_) {
    const ResamplerDesign& design = *s.timing.design;
    const std::int64_t a = design.rate().up * line_read_ - s.timing.epoch - design.lead();
    if (a > 0) s.input.DropBefore(a / design.rate().down - design.to_line().taps());
  }
}

void LinePort::WriteLine(std::span<const std::int16_t> samples) { line_in_.Append(samples); }

std::int64_t LinePort::LineSamplesNeeded(std::int64_t codec_end) const {
  std::int64_t index = codec_end - 1;
  if (index < 0) return 0;
  for (const Segment& s : adc_) {
    if (s.count >= 0 && index >= s.base + s.count) continue;
    const ResamplerDesign& design = *s.design;
    const std::int64_t a = s.epoch + design.rate().down * (index - s.base) - design.lead();
    return a < 0 ? 0 : a / design.rate().up + 1;
  }
  return 0;  // not reached: the latest rate has no end
}

void LinePort::ReadCodec(std::span<std::int16_t> out) {
  std::int64_t newest = 0;
  for (std::int16_t& y : out) {
    while (Full(adc_.front())) adc_.pop_front();  // the latest rate is never full
    Segment& s = adc_.front();
    const ResamplerDesign& design = *s.design;
    const std::int64_t a = s.epoch + design.rate().down * s.done - design.lead();
    y = 0;
    if (a >= 0) {
      const std::int64_t up = design.rate().up;
      newest = a / up;  // the newest line sample at or before the instant
      if (newest >= line_in_.end()) {
        diag::Fatal("line-causality", "ADC sample " + std::to_string(codec_read_) +
                                          " needs line sample " + std::to_string(newest) + ", " +
                                          std::to_string(line_in_.end()) + " written");
      }
      const PolyphaseBank& bank = design.to_codec();
      y = RoundToSample(Dot(bank.Phase(static_cast<int>(a - newest * up)),
                            line_in_.At(newest - (bank.taps() - 1))));
    }
    ++s.done;
    ++codec_read_;
  }
  line_in_.DropBefore(newest - kMaxTaps);
}

}  // namespace plat::line
