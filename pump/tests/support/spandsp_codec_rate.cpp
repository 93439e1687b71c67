#include "pump/tests/support/spandsp_codec_rate.h"

#include <algorithm>
#include <string>

#include "platform/line/resampler_design.h"
#include "pump/tests/support/spandsp_headers.h"

namespace pump::testing {
namespace {

// The resampler designs never change once made; one set serves every port.
const plat::line::ResamplerDesigns& Designs() {
  static const plat::line::ResamplerDesigns designs;
  return designs;
}

}  // namespace

SpandspSource::SpandspSource(LineGenerator generator)
    : port_(Designs(), kCodecRate9600), generator_(std::move(generator)) {}

void SpandspSource::Take(std::span<std::int16_t> out) {
  const std::int64_t needed =
      port_.LineSamplesNeeded(port_.codec_read() + static_cast<std::int64_t>(out.size()));
  std::vector<std::int16_t> line(
      static_cast<std::size_t>(std::max<std::int64_t>(needed - port_.line_written(), 0)));
  std::size_t made = 0;
  while (!dry_ && made < line.size()) {
    const int n = generator_(std::span(line).subspan(made));
    if (n <= 0) dry_ = true;
    made += static_cast<std::size_t>(std::max(n, 0));
  }
  port_.WriteLine(line);
  port_.ReadCodec(out);
}

std::vector<std::int16_t> SpandspSource::Take(std::size_t n) {
  std::vector<std::int16_t> out(n);
  Take(std::span(out));
  return out;
}

SpandspSink::SpandspSink(LineConsumer consumer)
    : port_(Designs(), kCodecRate9600), consumer_(std::move(consumer)) {}

void SpandspSink::Put(std::span<const std::int16_t> samples) {
  port_.WriteCodec(samples);
  std::int64_t end = port_.line_read();
  while (port_.CodecSamplesNeeded(end + 1) <= port_.codec_written()) ++end;
  std::vector<std::int16_t> line(static_cast<std::size_t>(end - port_.line_read()));
  port_.ReadLine(line);
  if (!line.empty()) consumer_(line);
}

LineGenerator SpandspTone(int f1, int level1, int f2, int level2, int on_ms) {
  // An hour stands for "for ever"; after its on time spandsp's generator ends.
  constexpr int kForEverMs = 3600 * 1000;
  std::shared_ptr<tone_gen_descriptor_t> descriptor(
      tone_gen_descriptor_init(nullptr, f1, level1, f2, level2, on_ms > 0 ? on_ms : kForEverMs, 0,
                               0, 0, 0),
      tone_gen_descriptor_free);
  std::shared_ptr<tone_gen_state_t> tone(tone_gen_init(nullptr, descriptor.get()), tone_gen_free);
  return [descriptor, tone](std::span<std::int16_t> out) {
    return tone_gen(tone.get(), out.data(), static_cast<int>(out.size()));
  };
}

LineGenerator SpandspDtmf(std::string_view digits, int level, int twist, int on_ms, int off_ms) {
  std::shared_ptr<dtmf_tx_state_t> tx(dtmf_tx_init(nullptr), dtmf_tx_free);
  dtmf_tx_set_level(tx.get(), level, twist);
  dtmf_tx_set_timing(tx.get(), on_ms, off_ms);
  const std::string text(digits);
  dtmf_tx_put(tx.get(), text.c_str(), static_cast<int>(text.size()));
  return [tx](std::span<std::int16_t> out) {
    return dtmf_tx(tx.get(), out.data(), static_cast<int>(out.size()));
  };
}

}  // namespace pump::testing
