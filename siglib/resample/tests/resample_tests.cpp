#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

using Samples = std::vector<std::int16_t>;

struct Result {
  qvls_status status;
  Samples out;
  std::int32_t count;
  std::int32_t phase;
};

constexpr std::int32_t kUntouched = -12345;

// One variant's operation on x at byte offsets (src, dst); the destination
// holds `room` samples. The count starts as kUntouched.
Result Up(Variant v, const Samples& x, std::int32_t factor, std::int32_t phase,
          std::size_t src_offset = 0, std::size_t dst_offset = 0) {
  GuardedBuffer<std::int16_t> src(x, src_offset);
  GuardedBuffer<std::int16_t> dst(x.size() * static_cast<std::size_t>(factor > 0 ? factor : 1),
                                  dst_offset);
  Result r{QVLS_OK, {}, kUntouched, phase};
  r.status = CallKeepingFpSettings(qvls_variant_table.qvlsUpsample_i16.entry[v], src.data(),
                                   static_cast<std::int32_t>(x.size()), dst.data(), &r.count,
                                   factor, &r.phase);
  EXPECT_EQ(src.Load(), x);
  if (r.status == QVLS_OK) r.out = dst.Load();
  return r;
}

Result Down(Variant v, const Samples& x, std::int32_t factor, std::int32_t phase,
            std::size_t src_offset = 0, std::size_t dst_offset = 0) {
  GuardedBuffer<std::int16_t> src(x, src_offset);
  GuardedBuffer<std::int16_t> dst(x.size(), dst_offset);
  Result r{QVLS_OK, {}, kUntouched, phase};
  r.status = CallKeepingFpSettings(qvls_variant_table.qvlsDownsample_i16.entry[v], src.data(),
                                   static_cast<std::int32_t>(x.size()), dst.data(), &r.count,
                                   factor, &r.phase);
  EXPECT_EQ(src.Load(), x);
  if (r.status == QVLS_OK) {
    r.out = dst.Load();
    r.out.resize(static_cast<std::size_t>(r.count));
  }
  return r;
}

Samples UpModel(const Samples& x, std::int32_t factor, std::int32_t phase) {
  Samples out(x.size() * static_cast<std::size_t>(factor), 0);
  for (std::size_t i = 0; i < x.size(); ++i) out[i * factor + phase] = x[i];
  return out;
}

// The kept samples and the phase for the next block.
std::pair<Samples, std::int32_t> DownModel(const Samples& x, std::int32_t factor,
                                           std::int32_t phase) {
  Samples out;
  std::size_t i = static_cast<std::size_t>(phase);
  for (; i < x.size(); i += factor) out.push_back(x[i]);
  return {out, static_cast<std::int32_t>(i - x.size())};
}

// A stream cut into blocks of random lengths, each down-sampled with the
// phase the previous block left, gives the whole stream's samples; up-
// sampled blocks join into the whole stream's up-sampling.
TEST(Resample, StreamSplitEqualsWhole) {
  Rng rng("Resample.StreamSplitEqualsWhole");
  const Samples stream = rng.Vector<std::int16_t>(700);
  for (std::int32_t factor = 1; factor <= 7; ++factor) {
    for (std::int32_t phase = 0; phase < factor; ++phase) {
      const auto [whole_down, whole_phase] = DownModel(stream, factor, phase);
      const Samples whole_up = UpModel(stream, factor, phase);
      for (Variant v : kAllVariants) {
        SCOPED_TRACE(testing::Message()
                     << VariantTag(v) << " factor " << factor << " phase " << phase);
        Samples down, up;
        std::int32_t carried = phase;
        for (std::size_t at = 0; at < stream.size();) {
          const auto n = static_cast<std::size_t>(rng.Range(1, 90));
          const Samples block(stream.begin() + at,
                              stream.begin() + std::min(at + n, stream.size()));
          at += block.size();
          const Result d = Down(v, block, factor, carried, at % 16, n % 16);
          ASSERT_EQ(d.status, QVLS_OK);
          carried = d.phase;
          down.insert(down.end(), d.out.begin(), d.out.end());
          const Result u = Up(v, block, factor, phase, n % 16, at % 16);
          ASSERT_EQ(u.status, QVLS_OK);
          EXPECT_EQ(u.count, static_cast<std::int32_t>(block.size()) * factor);
          EXPECT_EQ(u.phase, phase);
          up.insert(up.end(), u.out.begin(), u.out.end());
        }
        EXPECT_EQ(down, whole_down);
        EXPECT_EQ(carried, whole_phase);
        EXPECT_EQ(up, whole_up);
      }
    }
  }
}

TEST(Resample, WorkedTable) {
  const Samples ten = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
  const Samples edges = {INT16_MIN, INT16_MAX};
  struct Case {
    const char* what;
    bool up;
    Samples x;
    std::int32_t factor, phase;
    Samples out;
    std::int32_t count, next_phase;
  };
  const Case cases[] = {
      {"down 3, phase 2", false, ten, 3, 2, {12, 15, 18}, 3, 1},
      {"down 3, phase 1", false, ten, 3, 1, {11, 14, 17}, 3, 0},
      {"down 5 of 3, phase 4: nothing", false, {1, 2, 3}, 5, 4, {}, 0, 1},
      {"down 4 of 1, phase 0", false, {7}, 4, 0, {7}, 1, 3},
      {"down 4 of 1, phase 2", false, {7}, 4, 2, {}, 0, 1},
      {"down 1 copies", false, ten, 1, 0, ten, 10, 0},
      {"down 2 keeps the bounds", false, {INT16_MIN, 0, INT16_MAX, 0}, 2, 0, edges, 2, 0},
      {"up 3, phase 1", true, {5, -6}, 3, 1, {0, 5, 0, 0, -6, 0}, 6, 1},
      {"up 2, phase 0", true, {1, 2, 3}, 2, 0, {1, 0, 2, 0, 3, 0}, 6, 0},
      {"up 2, phase 1", true, {1, 2, 3}, 2, 1, {0, 1, 0, 2, 0, 3}, 6, 1},
      {"up 4 of 1, phase 2", true, {9}, 4, 2, {0, 0, 9, 0}, 4, 2},
      {"up 1 copies", true, ten, 1, 0, ten, 10, 0},
      {"up 2 keeps the bounds", true, edges, 2, 1, {0, INT16_MIN, 0, INT16_MAX}, 4, 1},
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << ": " << c.what);
      const Result r = c.up ? Up(v, c.x, c.factor, c.phase) : Down(v, c.x, c.factor, c.phase);
      EXPECT_EQ(r.status, QVLS_OK);
      EXPECT_EQ(r.out, c.out);
      EXPECT_EQ(r.count, c.count);
      EXPECT_EQ(r.phase, c.next_phase);
    }
  }
}

// The w7 kernels' alignment steps and tails, at every offset of source and
// destination, against the models; the other variants alike.
TEST(Resample, W7KernelsAtAllAlignments) {
  Rng rng("Resample.W7KernelsAtAllAlignments");
  for (std::int32_t len :
       {1, 2, 15, 16, 17, 31, 33, 40, 46, 47, 48, 49, 50, 55, 56, 64, 100, 301}) {
    const Samples x = rng.Vector<std::int16_t>(static_cast<std::size_t>(len));
    for (std::int32_t factor = 2; factor <= 7; ++factor) {
      for (std::size_t src_offset = 0; src_offset < 16; ++src_offset) {
        const std::size_t dst_offset = (src_offset * 7 + static_cast<std::size_t>(len)) % 16;
        const std::int32_t phase = static_cast<std::int32_t>(src_offset) % factor;
        const auto [kept, next] = DownModel(x, factor, phase);
        const Samples spread = UpModel(x, factor, phase);
        for (Variant v : kAllVariants) {
          SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len << " factor " << factor
                                          << " offsets " << src_offset << "/" << dst_offset);
          const Result d = Down(v, x, factor, phase, src_offset, dst_offset);
          EXPECT_EQ(d.out, kept);
          EXPECT_EQ(d.phase, next);
          EXPECT_EQ(Up(v, x, factor, phase, src_offset, dst_offset).out, spread);
        }
      }
    }
  }
  // Up-sampling in chunks of 8192 inputs.
  const Samples long_input = rng.Vector<std::int16_t>(8192 * 2 + 5);
  for (Variant v : kAllVariants) {
    EXPECT_EQ(Up(v, long_input, 3, 2, 2, 6).out, UpModel(long_input, 3, 2)) << VariantTag(v);
  }
}

// len * factor beyond 2^31 - 1 is refused after the other checks, before
// anything is written.
TEST(Resample, OverflowRejected) {
  struct Case {
    std::int32_t len, factor;
  };
  const Case cases[] = {
      {1 << 30, 2}, {65536, 32768}, {46341, 46341}, {INT32_MAX, 2}, {2, INT32_MAX}};
  GuardedBuffer<std::int16_t> src(Samples{1, 2, 3, 4}, 0);
  GuardedBuffer<std::int16_t> dst(4, 0);
  const Samples before = dst.Load();
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      std::int32_t count = kUntouched;
      const std::int32_t phase = 1;
      EXPECT_EQ(qvls_variant_table.qvlsUpsample_i16.entry[v](src.data(), c.len, dst.data(), &count,
                                                             c.factor, &phase),
                QVLS_ERR_DATA_SIZE)
          << VariantTag(v) << " len " << c.len << " factor " << c.factor;
      EXPECT_EQ(count, kUntouched);
      EXPECT_EQ(phase, 1);
      EXPECT_EQ(dst.Load(), before);
    }
  }
}

// The checks in their order; a failure writes neither the destination, nor
// the count, nor the phase.
TEST(Resample, ArgumentChecks) {
  const Samples x = {1, 2, 3};
  std::int16_t out[8] = {};
  struct Case {
    const char* what;
    bool null_src, null_dst, null_count, null_phase;
    std::int32_t len, factor, phase;
    qvls_status expected;
  };
  const Case cases[] = {
      {"null source", true, false, false, false, 0, 0, 0, QVLS_ERR_NULL_POINTER},
      {"null destination", false, true, false, false, 3, 2, 0, QVLS_ERR_NULL_POINTER},
      {"null count", false, false, true, false, 3, 2, 0, QVLS_ERR_NULL_POINTER},
      {"null phase", false, false, false, true, -1, 2, 0, QVLS_ERR_NULL_POINTER},
      {"len 0 before factor 0", false, false, false, false, 0, 0, 0, QVLS_ERR_DATA_SIZE},
      {"factor 0", false, false, false, false, 3, 0, 0, QVLS_ERR_SAMPLE_FACTOR},
      {"factor -2", false, false, false, false, 3, -2, 0, QVLS_ERR_SAMPLE_FACTOR},
      {"phase equal to factor", false, false, false, false, 3, 2, 2, QVLS_ERR_SAMPLE_PHASE},
      {"factor 1, phase 1", false, false, false, false, 3, 1, 1, QVLS_ERR_SAMPLE_PHASE},
      {"negative phase", false, false, false, false, 3, 2, -1, QVLS_ERR_SAMPLE_PHASE},
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      for (bool up : {false, true}) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << (up ? " up: " : " down: ") << c.what);
        std::fill(std::begin(out), std::end(out), std::int16_t{77});
        std::int32_t count = kUntouched;
        std::int32_t phase = c.phase;
        const std::int16_t* src = c.null_src ? nullptr : x.data();
        std::int16_t* dst = c.null_dst ? nullptr : out;
        std::int32_t* count_at = c.null_count ? nullptr : &count;
        std::int32_t* phase_at = c.null_phase ? nullptr : &phase;
        const qvls_status status = up ? qvls_variant_table.qvlsUpsample_i16.entry[v](
                                            src, c.len, dst, count_at, c.factor, phase_at)
                                      : qvls_variant_table.qvlsDownsample_i16.entry[v](
                                            src, c.len, dst, count_at, c.factor, phase_at);
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(count, kUntouched);
        EXPECT_EQ(phase, c.phase);
        EXPECT_EQ(out[0], 77);
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test
