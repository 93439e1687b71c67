// What a resampler keeps and what it starts again: the filter history
// across a repeated configuration, a sine's continuity over many blocks of
// the codes whose blocks do not give whole outputs, the default row, the
// refusals, and the reset's allocation of its state block.
#include <algorithm>

#include "pump/commands/mode_resources.h"
#include "pump/resampler/tests/resampler_fixture.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using namespace resampler_testing;

constexpr double kStateAmplitude = 12000.0;

// Blocks `first_block` .. `first_block + blocks - 1` of a 1000 Hz sine.
std::vector<std::int16_t> Blocks(Resampler& r, int first_block, int blocks) {
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> block(kResamplerBufferSamples);
  const double input_hz = r.input_length * 100.0;
  for (int b = first_block; b < first_block + blocks; ++b) {
    const auto input = Sine(1000.0, input_hz, kStateAmplitude, std::int64_t{b} * r.input_length,
                            static_cast<std::size_t>(r.input_length));
    EXPECT_EQ(Resample(r, input, block, r.phase, 0), QVLS_OK);
    out.insert(out.end(), block.begin(), block.begin() + r.output_length);
  }
  return out;
}

class ResamplerState : public ResamplerTest {};

TEST_P(ResamplerState, ConfiguringTheSameCodeKeepsTheHistory) {
  auto once = Make(9680);
  auto twice = Make(9680);
  const auto first = Blocks(*twice, 0, 10);
  ConfigureResampler(*twice, 9680);
  auto joined = first;
  const auto second = Blocks(*twice, 10, 10);
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_EQ(joined, Blocks(*once, 0, 20)) << "the sine runs on as if nothing happened";
}

TEST_P(ResamplerState, Configuring72801AgainStartsAfresh) {
  auto r = Make(72801);
  auto uninterrupted = Make(72801);
  Blocks(*r, 0, 10);
  const auto before = Blocks(*uninterrupted, 0, 10);
  ConfigureResampler(*r, 72801);
  auto fresh = Make(72801);
  const auto after = Blocks(*r, 10, 10);
  EXPECT_EQ(after, Blocks(*fresh, 10, 10)) << "no history, phase 0";
  EXPECT_NE(after, Blocks(*uninterrupted, 10, 10));
}

// Over 500 blocks the output is the sine at the output rate, up to the
// images and aliases the filter leaves (each at least its stated
// attenuation down, at most L - 1 of them) and rounding: any step in time
// between blocks would show as a large residual.
TEST_P(ResamplerState, CodesWithoutWholeBlocksKeepASinesShape) {
  for (std::int32_t code : {72, 102, 11096, 96110, 72801}) {
    SCOPED_TRACE(code);
    auto r = Make(code);
    const std::vector<std::int16_t> out = Blocks(*r, 0, 500);
    const double output_hz = r->input_length * 100.0 * r->up / r->down;
    // Least squares of a cos + b sin over the output after the filter's start.
    const std::size_t skip = 2 * kResamplerMaxTaps;
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    for (std::size_t j = skip; j < out.size(); ++j) {
      const double w = 2 * std::numbers::pi * 1000.0 * static_cast<double>(j) / output_hz;
      const double c = std::cos(w);
      const double s = std::sin(w);
      cc += c * c;
      ss += s * s;
      cs += c * s;
      xc += out[j] * c;
      xs += out[j] * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det;
    const double b = (xs * cc - xc * cs) / det;
    double signal = 0;
    double residual = 0;
    for (std::size_t j = skip; j < out.size(); ++j) {
      const double w = 2 * std::numbers::pi * 1000.0 * static_cast<double>(j) / output_hz;
      const double fit = a * std::cos(w) + b * std::sin(w);
      signal += fit * fit;
      residual += (out[j] - fit) * (out[j] - fit);
    }
    const double snr_db = 10 * std::log10(signal / residual);
    const ResamplerFilterDesign& design = *FindResamplerRate(code).filter;
    EXPECT_GE(snr_db, design.stopband_db - 10 * std::log10(r->up - 1.0));
    EXPECT_NEAR(std::hypot(a, b), kStateAmplitude, kStateAmplitude * 0.02) << "passband level";
  }
}

TEST_P(ResamplerState, AnUnknownCodeRunsTheDefaultRow) {
  auto unknown = Make(1234);
  auto default_row = Make(9680);
  EXPECT_EQ(unknown->up, 5);
  EXPECT_EQ(unknown->down, 6);
  EXPECT_EQ(unknown->input_length, 96);
  EXPECT_EQ(unknown->output_length, 80);
  EXPECT_EQ(unknown->rate_code, 1234);
  EXPECT_EQ(Blocks(*unknown, 0, 5), Blocks(*default_row, 0, 5));
}

// The configured code is kept in 16 bits, where 72801, 80110 and 96110
// leave 7265, 14574 and 30574. Those are unknown codes: configured next,
// each runs the default row with the default row's filter, not the one
// the long code left.
TEST_P(ResamplerState, AnUnknownCodeSharingALongCodesSixteenBitsGetsTheDefaultFilter) {
  for (const std::int32_t code : {72801, 80110, 96110}) {
    SCOPED_TRACE(code);
    const auto low_bits = static_cast<std::int16_t>(code);
    auto r = Make(code);
    Blocks(*r, 0, 3);
    ConfigureResampler(*r, low_bits);
    auto default_row = Make(9680);
    EXPECT_EQ(Blocks(*r, 0, 5), Blocks(*default_row, 0, 5));
  }
}

TEST_P(ResamplerState, RefusesWithoutAFilterOrWithShortBuffers) {
  Resampler r;
  InitResampler(r, nullptr);
  ConfigureResampler(r, 9680);
  std::vector<std::int16_t> in(96);
  std::vector<std::int16_t> out(80);
  std::int32_t phase = 0;
  EXPECT_EQ(Resample(r, in, out, phase, 0), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(r.output_length, 0);

  auto ready = Make(9680);
  EXPECT_EQ(Resample(*ready, std::span(in).first(95), out, phase, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(Resample(*ready, in, std::span(out).first(79), phase, 0), QVLS_ERR_DATA_SIZE);
  phase = 6;
  EXPECT_EQ(Resample(*ready, in, out, phase, 0), QVLS_ERR_SAMPLE_PHASE);
  phase = 0;
  EXPECT_EQ(Resample(*ready, in, out, phase, 0), QVLS_OK);
  EXPECT_EQ(ready->output_length, 80);

  std::uint8_t* block = nullptr;
  FreeResampler(block);
  EXPECT_EQ(block, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Identities, ResamplerState,
                         ::testing::Values(Identity::kDefault, Identity::kHost), IdentityName);

// The reset allocates the block with the other modes' resources: a refused
// allocation leaves the ready flag 0 and no block, and the next reset
// tries again.
TEST(ResamplerStateReset, AFailedAllocationLeavesReadyZeroAndTheNextResetRetries) {
  qvls_test::ScopedSlots slots;  // the reset fills them for the processor
  // Which of the reset's pool requests is the resampler's: the one of its
  // state block's size with the aligned allocation's overhead.
  std::uint64_t nth = 0;
  {
    testing::PumpHarness harness;
    harness.Run([&] {
      std::vector<SIZE_T> requests;
      harness.Machine().pool().SetObserver([&](const plat::ex::PoolEvent& e) {
        if (e.kind == plat::ex::PoolEvent::Kind::Allocate) requests.push_back(e.bytes);
      });
      harness.Controller().Post(0x60, {0});
      harness.Machine().pool().SetObserver(nullptr);
      std::int32_t state_bytes = 0;
      ASSERT_EQ(qvlsFIRStateSize_i16(kResamplerMaxTaps, &state_bytes), QVLS_OK);
      const auto at = std::find_if(requests.begin(), requests.end(), [&](SIZE_T bytes) {
        return bytes > static_cast<SIZE_T>(state_bytes) &&
               bytes <= static_cast<SIZE_T>(state_bytes) + 40;
      });
      ASSERT_NE(at, requests.end());
      nth = static_cast<std::uint64_t>(at - requests.begin()) + 1;
      EXPECT_NE(harness.Context().resources.resampler, nullptr);
    });
  }
  ASSERT_NE(nth, 0u);

  testing::PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    harness.Machine().pool().FailNthAllocation(nth);
    harness.Controller().Post(0x60, {0});
    EXPECT_EQ(context.ready, 0u);
    EXPECT_EQ(context.resources.resampler, nullptr);
    harness.Controller().Post(0x60, {1});
    EXPECT_EQ(context.ready, 1u);
    ASSERT_NE(context.resources.resampler, nullptr);
    // The block holds the longest table's filter.
    auto r = std::make_unique<Resampler>();
    InitResampler(*r, context.resources.resampler);
    ConfigureResampler(*r, 72);
    std::vector<std::int16_t> in(96, 100);
    std::vector<std::int16_t> out(kResamplerBufferSamples);
    EXPECT_EQ(Resample(*r, in, out, r->phase, 0), QVLS_OK);
  });
}

}  // namespace
}  // namespace pump
