// spandsp at the codec rate: spandsp makes and takes 8000 Hz line samples,
// the data pump runs at 9600 Hz. A SpandspSource brings a spandsp generator's
// line samples to 9600 Hz, a SpandspSink brings 9600 Hz samples to a
// consumer at 8000 Hz, both through the line port's own rational resamplers
// (codec rate code 5), so a test hears spandsp as a modem on the simulated
// line would. Each way adds plat::line::kResamplerDelay line samples of delay.
// Levels as platform/line/levels.h: a full-scale sine is +3.14 dBm0, as in
// spandsp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/line/line_port.h"

namespace pump::testing {

inline constexpr std::uint8_t kCodecRate9600 = 5;

// Fills up to out.size() line samples and returns how many it made, fewer
// once it has nothing more to send (spandsp's generators work this way).
using LineGenerator = std::function<int(std::span<std::int16_t> out)>;
// Takes line samples as they come.
using LineConsumer = std::function<void(std::span<const std::int16_t> samples)>;

class SpandspSource {
 public:
  explicit SpandspSource(LineGenerator generator);

  // The next samples at 9600 Hz; silence once the generator ran dry.
  void Take(std::span<std::int16_t> out);
  std::vector<std::int16_t> Take(std::size_t n);

 private:
  plat::line::LinePort port_;
  LineGenerator generator_;
  bool dry_ = false;
};

class SpandspSink {
 public:
  explicit SpandspSink(LineConsumer consumer);

  // 9600 Hz samples; every line sample they complete goes to the consumer.
  void Put(std::span<const std::int16_t> samples);

 private:
  plat::line::LinePort port_;
  LineConsumer consumer_;
};

// spandsp's generators as LineGenerators; each owns its spandsp state.
// A tone of one or two frequencies (levels in dBm0), on for `on_ms`
// (0: for ever), then silence.
LineGenerator SpandspTone(int f1, int level1, int f2, int level2, int on_ms);
// DTMF digits at `level` dBm0 (the low tone; the high tone `twist` dB above
// it), each on for `on_ms` and off for `off_ms`.
LineGenerator SpandspDtmf(std::string_view digits, int level, int twist, int on_ms, int off_ms);

}  // namespace pump::testing
