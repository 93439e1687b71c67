#include <benchmark/benchmark.h>

#include <vector>

#include "platform/line/line_direction.h"
#include "platform/line/line_port.h"

namespace {

using plat::line::kCodecRates;

constexpr std::size_t kBlock = 80;  // 10 ms of line

// One direction with every impairment on; time per 8 kHz sample.
void BM_LineDirection(benchmark::State& state) {
  plat::line::LineDirection line({.gain_db = -9.5,
                                  .noise_dbm0 = -45.0,
                                  .delay_samples = 160,
                                  .companding = plat::line::Companding::kMuLaw,
                                  .echo_erl_db = 12.0,
                                  .echo_delay_samples = 3,
                                  .seed = 1,
                                  .direction = 0});
  line.AddBreak(1'000'000'000, 1'000'000'001);
  std::vector<std::int16_t> far(kBlock), near(kBlock), heard(kBlock);
  for (std::size_t i = 0; i < kBlock; ++i) {
    far[i] = static_cast<std::int16_t>(i * 411);
    near[i] = static_cast<std::int16_t>(-static_cast<int>(i) * 211);
  }
  for (auto _ : state) {
    line.SendFar(far);
    line.SendNear(near);
    line.Receive(heard);
    benchmark::DoNotOptimize(heard.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kBlock));
  state.counters["ns_per_sample"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineDirection);

// A port at one codec rate (the argument is its rate code), both ways: the
// DAC's samples to the line and the line to the ADC; time per 8 kHz sample.
void BM_LinePortResample(benchmark::State& state) {
  const auto code = static_cast<std::uint8_t>(state.range(0));
  const auto& rate = kCodecRates[code];
  state.SetLabel(std::to_string(rate.hz_num) +
                 (rate.hz_den == 1 ? "" : "/" + std::to_string(rate.hz_den)) + " Hz");
  const plat::line::ResamplerDesigns designs;
  plat::line::LinePort port(designs, code);
  std::vector<std::int16_t> codec(kBlock * 2 + 8), line(kBlock);
  for (std::size_t i = 0; i < codec.size(); ++i) codec[i] = static_cast<std::int16_t>(i * 977);
  for (auto _ : state) {
    const auto dac = port.CodecSamplesNeeded(port.line_read() + kBlock) - port.codec_written();
    port.WriteCodec(std::span(codec).first(static_cast<std::size_t>(dac)));
    port.ReadLine(line);
    port.WriteLine(line);
    // ADC samples up to the newest instant the line has reached.
    const std::int64_t adc_end = (port.line_written() - 1) * rate.up / rate.down + 1;
    port.ReadCodec(std::span(codec).first(static_cast<std::size_t>(adc_end - port.codec_read())));
    benchmark::DoNotOptimize(codec.data());
  }
  state.counters["ns_per_sample"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LinePortResample)->DenseRange(0, 8);

}  // namespace

BENCHMARK_MAIN();
