// The line port of one front end: the codec side runs at the codec's rate,
// the line side at 8000 Hz. Its two resamplers carry the DAC's output to the
// line and the line to the ADC; a change of codec rate switches both at the
// instant it applies.
//
// Time: line sample n is at n x 125 us from the line's instant 0. Codec
// samples are counted across rate changes (index 0 at instant 0); the samples
// of one rate lie on that rate's exact grid from the instant the rate began.
// Both directions are causal: line sample n depends only on DAC samples at
// or before its instant, and an ADC sample only on line samples at or before
// its own. Every rate delays the signal by the same kResamplerDelayNs.
#pragma once

#include <cstdint>
#include <deque>
#include <span>

#include "platform/line/resampler_design.h"
#include "platform/line/sample_window.h"

namespace plat::line {

inline constexpr std::int64_t kLineSampleNs = 125000;
inline constexpr std::int64_t kResamplerDelayNs = kResamplerDelay * kLineSampleNs;

class LinePort {
 public:
  // `designs` must outlive the port. The codec starts at `rate_code` at instant 0.
  LinePort(const ResamplerDesigns& designs, std::uint8_t rate_code);

  // From `instant_ns` (the instant of its first sample) on, the codec runs at
  // `rate_code`. Codec samples before it keep the previous rate, even those not
  // written or read yet. Fatal when samples at or after the instant were
  // already written or read at the old rate, or the instant precedes the
  // previous change.
  void SwitchRate(std::uint8_t rate_code, std::int64_t instant_ns);
  // The same with the previous rates ending after `samples_before` codec
  // samples in all, for a codec whose own clock decided which samples came
  // before the change. Fatal when more were already written or read.
  void SwitchRate(std::uint8_t rate_code, std::int64_t instant_ns, std::int64_t samples_before);
  std::uint8_t rate_code() const { return dac_.back().timing.design->rate().code; }
  // The codec index of the latest rate's first sample.
  std::int64_t rate_start() const { return dac_.back().timing.base; }

  // ---- DAC to line
  // Appends the DAC's next samples.
  void WriteCodec(std::span<const std::int16_t> samples);
  std::int64_t codec_written() const { return codec_written_; }
  // How many DAC samples must be written before line samples up to (not
  // including) `line_end` can be read.
  std::int64_t CodecSamplesNeeded(std::int64_t line_end) const;
  std::int64_t line_read() const { return line_read_; }
  // The next line samples; fatal when the DAC samples they need are missing.
  void ReadLine(std::span<std::int16_t> out);

  // ---- Line to ADC
  // Appends the next samples the line delivers to this end.
  void WriteLine(std::span<const std::int16_t> samples);
  std::int64_t line_written() const { return line_in_.end(); }
  // How many line samples must be written before ADC samples up to (not
  // including) `codec_end` can be read.
  std::int64_t LineSamplesNeeded(std::int64_t codec_end) const;
  std::int64_t codec_read() const { return codec_read_; }
  // The next ADC samples; fatal when the line samples they need are missing.
  void ReadCodec(std::span<std::int16_t> out);

 private:
  // The samples of one rate: sample i sits on grid tick epoch + down x i of the
  // design's grid; global codec index base + i.
  struct Segment {
    const ResamplerDesign* design;
    std::int64_t epoch;
    std::int64_t base;
    std::int64_t count;  // -1 while the rate is the latest
    std::int64_t done;   // samples written (DAC) or read (ADC)
    bool sealed;         // DAC: all written, silence appended behind them
  };
  // The DAC's samples of one rate. Each sample stands for the signal over its
  // sample period; where the rate changes, the last old and the first new
  // sample share the span between them half and half, so that no stretch of
  // the signal counts twice or not at all. Their weights (Q15, 1 elsewhere)
  // say how much longer or shorter than a period that share is.
  struct DacSegment {
    Segment timing;
    SampleWindow input;
    std::int32_t first_weight = kUnitWeight;
    std::int32_t last_weight = kUnitWeight;
  };
  static constexpr std::int32_t kUnitWeight = 1 << 15;

  static bool Full(const Segment& s) { return s.count >= 0 && s.done == s.count; }
  void SealIfFull(DacSegment& s);
  std::int64_t Contribution(const DacSegment& s, std::int64_t line_index) const;
  static void ShareTheChange(DacSegment& old_rate, DacSegment& new_rate);
  bool Finished(const DacSegment& s, std::int64_t line_index) const;

  const ResamplerDesigns& designs_;
  std::int64_t last_switch_ns_ = 0;
  std::deque<DacSegment> dac_;
  std::deque<Segment> adc_;
  std::int64_t codec_written_ = 0;
  std::int64_t line_read_ = 0;
  std::int64_t codec_read_ = 0;
  SampleWindow line_in_;
};

}  // namespace plat::line
