// The response of every code, measured with sine sweeps through Resample
// and a double-precision DFT of the output, against the design its filter
// table states (filter_tables.h): passband tones keep their level within
// the stated ripple, and every other component (the images of
// up-sampling, the aliases of down-sampling) stays the stated attenuation
// below the input.
//
// The DFT is N output samples long with N a multiple of L: then every
// component of the output (input frequency + k x input rate, folded by the
// output rate) falls on a bin when the tone does, and the bins are exact.
#include <algorithm>
#include <complex>

#include "pump/resampler/tests/resampler_fixture.h"

namespace pump {
namespace {

using namespace resampler_testing;

constexpr double kAmplitude = 16000.0;

// Amplitudes of bins 0..N/2 of x, relative to kAmplitude, in dB.
std::vector<double> SpectrumDb(const std::vector<std::int16_t>& x) {
  const std::size_t n = x.size();
  std::vector<std::complex<double>> twiddle(n);
  for (std::size_t i = 0; i < n; ++i) {
    twiddle[i] =
        std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
  }
  std::vector<double> db(n / 2 + 1);
  for (std::size_t k = 0; k <= n / 2; ++k) {
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * twiddle[(k * i) % n];
    const double amplitude = 2.0 * std::abs(sum) / static_cast<double>(n);
    db[k] = 20.0 * std::log10(std::max(amplitude, 1e-9) / kAmplitude);
  }
  return db;
}

enum class Band { kPass, kTransition, kStop };

struct Tone {
  std::size_t bin;  // of the output DFT
  Band band;
};

class ResamplerResponse : public ResamplerTest {};

TEST_P(ResamplerResponse, EveryCodeMeetsItsTablesDesign) {
  for (std::int32_t code : kCodes) {
    SCOPED_TRACE(code);
    const ResamplerRate& rate = FindResamplerRate(code);
    const ResamplerFilterDesign& design = *rate.filter;
    const double input_hz = rate.input_length * 100.0;
    const double grid_hz = input_hz * rate.up;
    const double output_hz = grid_hz / rate.down;
    const double pass_hz = design.pass_edge * grid_hz;
    const double stop_hz = design.stop_edge * grid_hz;
    const std::size_t n = static_cast<std::size_t>(rate.up) * ((1000 + rate.up - 1) / rate.up);
    const double bin_hz = output_hz / static_cast<double>(n);

    // Tones on bins: eight in the passband, three in the transition band and,
    // where the input reaches it, six in the stopband.
    std::vector<Tone> tones;
    auto sweep = [&](double from_hz, double to_hz, int count, Band band) {
      for (int i = 0; i < count; ++i) {
        const double hz = from_hz + (to_hz - from_hz) * (i + 0.5) / count;
        tones.push_back({static_cast<std::size_t>(std::lround(hz / bin_hz)), band});
      }
    };
    sweep(0.0, pass_hz, 8, Band::kPass);
    sweep(pass_hz, std::min(stop_hz, input_hz / 2), 3, Band::kTransition);
    if (stop_hz < input_hz / 2) sweep(stop_hz, input_hz / 2, 6, Band::kStop);

    const std::size_t skip = 2 * kResamplerMaxTaps / static_cast<std::size_t>(rate.down) + 8;
    for (const Tone& tone : tones) {
      const double hz = static_cast<double>(tone.bin) * bin_hz;
      if (tone.bin == 0 || hz >= input_hz / 2 || (tone.band == Band::kPass && hz > pass_hz) ||
          (tone.band == Band::kStop && hz < stop_hz)) {
        continue;  // rounded onto the edge of its band
      }
      SCOPED_TRACE(std::to_string(hz) + " Hz");
      auto r = Make(code);
      const std::vector<std::int16_t> out = RunSine(*r, hz, input_hz, kAmplitude, skip + n);
      ASSERT_GE(out.size(), skip + n);
      const std::vector<double> db = SpectrumDb(
          std::vector<std::int16_t>(out.begin() + static_cast<std::ptrdiff_t>(skip),
                                    out.begin() + static_cast<std::ptrdiff_t>(skip + n)));
      for (std::size_t k = 0; k < db.size(); ++k) {
        const double bin_freq = static_cast<double>(k) * bin_hz;
        if (tone.band == Band::kPass && k == tone.bin) {
          EXPECT_NEAR(db[k], 0.0, design.ripple_db + 0.01) << "the tone itself";
          continue;
        }
        // A transition-band tone and its images stay out of the passband.
        if (tone.band == Band::kTransition && bin_freq > pass_hz) continue;
        EXPECT_LE(db[k], -design.stopband_db + 0.5) << "component at " << bin_freq << " Hz";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Identities, ResamplerResponse,
                         ::testing::Values(Identity::kDefault, Identity::kHost), IdentityName);

}  // namespace
}  // namespace pump
