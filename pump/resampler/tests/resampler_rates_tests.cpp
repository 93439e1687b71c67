// How many samples each code gives: over 1000 blocks exactly the count the
// factors say, input x L / M rounded up from phase 0, every block within
// one sample of the nominal ratio.
#include "pump/resampler/tests/resampler_fixture.h"

namespace pump {
namespace {

using namespace resampler_testing;

class ResamplerRates : public ResamplerTest {};

TEST_P(ResamplerRates, TheTotalOverAThousandBlocksIsExact) {
  constexpr int kBlocks = 1000;
  for (std::int32_t code : kCodes) {
    SCOPED_TRACE(code);
    auto r = Make(code);
    const std::int64_t per_block = std::int64_t{r->input_length} * r->up;  // up-sampled
    std::vector<std::int16_t> input(static_cast<std::size_t>(r->input_length), 1000);
    std::vector<std::int16_t> output(kResamplerBufferSamples);
    std::int64_t total = 0;
    for (int block = 0; block < kBlocks; ++block) {
      ASSERT_EQ(Resample(*r, input, output, r->phase, 0), QVLS_OK);
      EXPECT_GE(r->output_length, per_block / r->down);
      EXPECT_LE(r->output_length, (per_block + r->down - 1) / r->down);
      total += r->output_length;
    }
    // Indices 0, M, 2M, ... of the up-sampled stream that are below its length.
    const std::int64_t grid = kBlocks * per_block;
    EXPECT_EQ(total, (grid + r->down - 1) / r->down);
    EXPECT_EQ(r->phase, (r->down - grid % r->down) % r->down);
  }
}

TEST_P(ResamplerRates, SoundPathCodesGiveWholeBlocks) {
  struct Whole {
    std::int32_t code;
    std::int32_t in;
    std::int32_t out;
  };
  for (const Whole w : {Whole{9680, 96, 80}, Whole{8096, 80, 96}}) {
    auto r = Make(w.code);
    EXPECT_EQ(r->input_length, w.in);
    std::vector<std::int16_t> input(static_cast<std::size_t>(w.in), -7);
    std::vector<std::int16_t> output(static_cast<std::size_t>(w.out));
    for (int block = 0; block < 3; ++block) {
      ASSERT_EQ(Resample(*r, input, output, r->phase, 0), QVLS_OK);
      EXPECT_EQ(r->output_length, w.out);
      EXPECT_EQ(r->phase, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Identities, ResamplerRates,
                         ::testing::Values(Identity::kDefault, Identity::kHost), IdentityName);

}  // namespace
}  // namespace pump
