// The resampler's tests run once per processor identity: the simulated
// default (the signal library installs w7) and the host passed through
// (another vendor's processor: px). The fixture selects the identity, fills
// the slots for it (put back at the end), gives the library a pool of its
// own and allocates the resampler's FIR state block.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "platform/cpu/identity.h"
#include "platform/ex/expool.h"
#include "platform/ex/pool.h"
#include "pump/resampler/rate_table.h"
#include "pump/resampler/resampler.h"
#include "siglib/tests/support/scoped_slots.h"

namespace pump::resampler_testing {

enum class Identity { kDefault, kHost };

inline void PrintTo(Identity identity, std::ostream* out) {
  *out << (identity == Identity::kDefault ? "simulated default (w7)" : "host passthrough (px)");
}

inline std::string IdentityName(const ::testing::TestParamInfo<Identity>& info) {
  return info.param == Identity::kDefault ? "w7" : "px";
}

// Every rate code with a row of its own.
inline constexpr std::int32_t kCodes[] = {72,   102,  488,  848,   4880,  4896,  7280,  7296, 8048,
                                          8072, 8096, 9680, 11080, 11096, 72801, 80110, 96110};

class ResamplerTest : public ::testing::TestWithParam<Identity> {
 protected:
  ResamplerTest()
      : identity_(GetParam() == Identity::kDefault ? plat::cpu::SimulatedDefault()
                                                   : plat::cpu::HostPassthrough()) {
    qvlsInit();
  }
  ~ResamplerTest() override {
    for (std::uint8_t*& block : blocks_) FreeResampler(block);
  }

  void SetUp() override {
    ASSERT_EQ(qvls_variant.load(),
              GetParam() == Identity::kDefault ? QVLS_VARIANT_W7 : QVLS_VARIANT_PX);
  }

  // A resampler over a block of its own, configured for `code`.
  std::unique_ptr<Resampler> Make(std::int32_t code) {
    std::uint8_t*& block = blocks_.emplace_back(nullptr);
    EXPECT_TRUE(AllocResampler(block));
    auto resampler = std::make_unique<Resampler>();
    InitResampler(*resampler, block);
    ConfigureResampler(*resampler, code);
    return resampler;
  }

 private:
  plat::cpu::ScopedIdentity identity_;
  qvls_test::ScopedSlots slots_;
  plat::ex::Pool pool_{"resampler"};
  plat::ex::ScopedPool installed_{pool_};
  std::vector<std::uint8_t*> blocks_;
};

// The samples of a sine of `amplitude` at `hz`, sampled at `rate_hz`, from
// sample `first` on.
inline std::vector<std::int16_t> Sine(double hz, double rate_hz, double amplitude,
                                      std::int64_t first, std::size_t n) {
  std::vector<std::int16_t> samples(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(first + static_cast<std::int64_t>(i)) / rate_hz;
    samples[i] =
        static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * t)));
  }
  return samples;
}

// Runs blocks of a sine through the resampler until `wanted` output samples
// came; every block's own output, in order.
inline std::vector<std::int16_t> RunSine(Resampler& r, double hz, double input_rate_hz,
                                         double amplitude, std::size_t wanted) {
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> block(kResamplerBufferSamples);
  std::int64_t first = 0;
  while (out.size() < wanted) {
    const auto input =
        Sine(hz, input_rate_hz, amplitude, first, static_cast<std::size_t>(r.input_length));
    first += r.input_length;
    const qvls_status status = Resample(r, input, block, r.phase, 0);
    EXPECT_EQ(status, QVLS_OK);
    if (status != QVLS_OK) break;
    out.insert(out.end(), block.begin(), block.begin() + r.output_length);
  }
  return out;
}

}  // namespace pump::resampler_testing
