// The detectors per 10 ms block (96 samples at 9600 Hz), beside spandsp's
// receivers on the same line at 8000 Hz (80 samples a block). Reported,
// never asserted:
//   BM_DtmfDetector            RunDtmfDetector and DebounceDtmf over digits
//                              and pauses; vs_spandsp = our CPU time per
//                              block / spandsp dtmf_rx's on the same line.
//   BM_EnergyDetectorBank      the automode caller's six energy detectors
//                              (600, 1300, 1650, 2100, 2250, 3000 Hz) over
//                              an answer tone; vs_spandsp against one
//                              modem_connect_tones_rx for that tone.
//   BM_ToneClassifier/<path>   ClassifyTones over tone pairs and pauses, on
//                              the 64-point FFT's float path (the simulated
//                              default processor) and fixed path (host
//                              passthrough: the generic variant).
// The DTMF receiver and the energy detectors use no library operation, so
// they run the same under either processor. Times are the whole process's CPU.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "bench/siglib/siglib_bench.h"
#include "platform/cpu/identity.h"
#include "platform/ex/expool.h"
#include "platform/ex/pool.h"
#include "platform/line/levels.h"
#include "pump/commands/voice_resources.h"
#include "pump/detect/band_filter.h"
#include "pump/detect/dtmf_detector.h"
#include "pump/detect/tone_classifier.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include "siglib/tests/support/scoped_slots.h"

namespace {

constexpr std::size_t kBlock = 96;
constexpr std::size_t kLineBlock = 80;

// One line at both rates: spandsp's 8000 Hz samples and what the data pump
// hears of them at 9600 Hz.
struct Line {
  std::vector<std::int16_t> at8000;
  std::vector<std::int16_t> at9600;
};

Line Record(const pump::testing::LineGenerator& generator, int seconds) {
  Line line;
  line.at8000.resize(static_cast<std::size_t>(seconds) * 8000);
  std::size_t made = 0;
  while (made < line.at8000.size()) {
    const int n = generator(std::span(line.at8000).subspan(made));
    if (n <= 0) break;
    made += static_cast<std::size_t>(n);
  }
  std::size_t read = 0;
  pump::testing::SpandspSource source([&](std::span<std::int16_t> out) {
    const std::size_t n = std::min(out.size(), line.at8000.size() - read);
    std::copy_n(line.at8000.begin() + read, n, out.begin());
    read += n;
    return static_cast<int>(n);
  });
  line.at9600 = source.Take(static_cast<std::size_t>(seconds) * 9600);
  return line;
}

// CPU seconds per call of run(i), over enough calls to time.
template <class Run>
double SecondsPerCall(Run run) {
  for (std::int64_t calls = 64;; calls *= 2) {
    const double start = qvls_bench::CpuSeconds();
    for (std::int64_t i = 0; i < calls; ++i) run(i);
    const double spent = qvls_bench::CpuSeconds() - start;
    if (spent > 0.05) return spent / static_cast<double>(calls);
  }
}

// The i-th block of a signal, round and round.
std::span<const std::int16_t> BlockOf(const std::vector<std::int16_t>& signal, std::int64_t i,
                                      std::size_t block) {
  const std::size_t blocks = signal.size() / block;
  return std::span(signal).subspan(static_cast<std::size_t>(i) % blocks * block, block);
}

void BM_DtmfDetector(benchmark::State& state) {
  const Line line = Record(pump::testing::SpandspDtmf("0123456789*#ABCD", -10, 0, 100, 100), 4);
  pump::DtmfDetector detector;
  pump::ResetDtmfDetector(detector);
  const auto ours = [&](std::int64_t i) {
    benchmark::DoNotOptimize(pump::DebounceDtmf(
        detector, pump::RunDtmfDetector(detector, BlockOf(line.at9600, i, kBlock))));
  };
  std::int64_t i = 0;
  for (auto _ : state) ours(i++);

  std::unique_ptr<dtmf_rx_state_t, int (*)(dtmf_rx_state_t*)> rx(
      dtmf_rx_init(nullptr, nullptr, nullptr), dtmf_rx_free);
  char digits[64];
  const auto theirs = [&](std::int64_t j) {
    const auto block = BlockOf(line.at8000, j, kLineBlock);
    dtmf_rx(rx.get(), block.data(), static_cast<int>(block.size()));
    dtmf_rx_get(rx.get(), digits, sizeof digits - 1);
  };
  state.counters["vs_spandsp"] = SecondsPerCall(ours) / SecondsPerCall(theirs);
}
BENCHMARK(BM_DtmfDetector)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void BM_EnergyDetectorBank(benchmark::State& state) {
  std::shared_ptr<modem_connect_tones_tx_state_t> tx(
      modem_connect_tones_tx_init(nullptr, MODEM_CONNECT_TONES_ANS_PR),
      modem_connect_tones_tx_free);
  const Line line = Record(
      [tx](std::span<std::int16_t> out) {
        return modem_connect_tones_tx(tx.get(), out.data(), static_cast<int>(out.size()));
      },
      3);
  const std::vector<std::int32_t> wide(line.at9600.begin(), line.at9600.end());
  const pump::EnergyRecord* records[] = {&pump::energy::k600,  &pump::energy::k1300,
                                         &pump::energy::k1650, &pump::energy::k2100,
                                         &pump::energy::k2250, &pump::energy::k3000};
  pump::EnergyDetector bank[std::size(records)];
  for (std::size_t k = 0; k < std::size(records); ++k)
    pump::InitEnergyDetector(bank[k], *records[k]);
  const auto ours = [&](std::int64_t i) {
    const std::size_t blocks = wide.size() / kBlock;
    const auto block =
        std::span(wide).subspan(static_cast<std::size_t>(i) % blocks * kBlock, kBlock);
    for (pump::EnergyDetector& d : bank)
      benchmark::DoNotOptimize(pump::RunEnergyDetector(block, d, 10));
  };
  std::int64_t i = 0;
  for (auto _ : state) ours(i++);

  std::unique_ptr<modem_connect_tones_rx_state_t, int (*)(modem_connect_tones_rx_state_t*)> rx(
      modem_connect_tones_rx_init(nullptr, MODEM_CONNECT_TONES_ANS_PR, nullptr, nullptr),
      modem_connect_tones_rx_free);
  const auto theirs = [&](std::int64_t j) {
    const auto block = BlockOf(line.at8000, j, kLineBlock);
    modem_connect_tones_rx(rx.get(), block.data(), static_cast<int>(block.size()));
    benchmark::DoNotOptimize(modem_connect_tones_rx_get(rx.get()));
  };
  state.counters["vs_spandsp"] = SecondsPerCall(ours) / SecondsPerCall(theirs);
}
BENCHMARK(BM_EnergyDetectorBank)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// The voice resources' FFT made under one processor identity, on a pool
// of its own; the process's slots are put back after.
class VoiceFft {
 public:
  explicit VoiceFft(const plat::cpu::Identity& identity) : identity_(identity) {
    qvlsInit();
    ok_ = pump::AllocVoice(resources_);
  }
  ~VoiceFft() { pump::FreeVoice(resources_); }
  bool ok() const { return ok_; }
  const pump::VoiceResources& voice() const { return resources_.voice; }

 private:
  plat::ex::Pool pool_{"bench voice fft"};
  plat::ex::ScopedPool installed_{pool_};
  qvls_test::ScopedSlots slots_;
  plat::cpu::ScopedIdentity identity_;
  pump::ModeResources resources_{};
  bool ok_ = false;
};

void BM_ToneClassifier(benchmark::State& state, const plat::cpu::Identity* identity) {
  VoiceFft fft(*identity);
  if (!fft.ok()) {
    state.SkipWithError("no FFT");
    return;
  }
  // Tone pairs of 300 ms and 300 ms pauses, the V.8bis tones' kind.
  std::vector<std::int32_t> line(6 * 9600, 0);
  for (std::size_t n = 0; n < line.size(); ++n) {
    if ((n / 2880) % 2 == 1) continue;
    const double t = static_cast<double>(n) / 9600;
    line[n] = static_cast<std::int32_t>(
        plat::line::SinePeak(-16) *
        (std::sin(2 * std::numbers::pi * 1375 * t) + std::sin(2 * std::numbers::pi * 2002 * t)));
  }
  pump::ToneClassifier classifier;
  pump::ResetToneClassifier(classifier);
  const std::size_t blocks = line.size() / kBlock;
  std::int64_t i = 0;
  for (auto _ : state) {
    const auto block =
        std::span(line).subspan(static_cast<std::size_t>(i++) % blocks * kBlock, kBlock);
    benchmark::DoNotOptimize(pump::ClassifyTones(classifier, fft.voice(), block));
  }
}
BENCHMARK_CAPTURE(BM_ToneClassifier, float, &plat::cpu::SimulatedDefault())
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ToneClassifier, fixed, &plat::cpu::HostPassthrough())
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
