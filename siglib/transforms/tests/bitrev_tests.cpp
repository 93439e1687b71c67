// Bit reversal: the lists against their published words and their
// definition, every permutation against a reversal computed here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/tests/support/library_blocks.h"

namespace qvls_test::transforms {
namespace {

using List = LibraryBlock<std::int32_t>;

std::vector<std::int32_t> Words(const std::int32_t* list, std::size_t count) {
  return std::vector<std::int32_t>(list, list + count);
}

struct Builder {
  const char* name;
  std::int32_t* (*build)(std::int32_t order);
};
const Builder kSwapListBuilders[] = {
    {"px", qvlsFFTSwapList_i32_px}, {"a6", qvlsFFTSwapList_i32_a6}, {"w7", qvlsFFTSwapList_i32_w7}};
const Builder kQuarterListBuilders[] = {{"a6", qvlsFFTQuarterBitRevList_i32_a6},
                                        {"w7", qvlsFFTQuarterBitRevList_i32_w7}};

TEST(BitReversal, ListsOfOrdersTwoToSixHoldTheirPublishedWords) {
  const std::vector<std::int32_t> swap[] = {
      {0, 0},
      {0, 4, 0},
      {4, 8, 0, 12, 0},
      {4, 16, 12, 24, 0, 28, 20, 8, 0},
      {4, 32, 8, 16, 12, 48, 20, 40, 28, 56, 44, 52, 0, 60, 36, 24, 0},
  };
  const std::vector<std::int32_t> quarter[] = {
      {0, 0},
      {0, 2, 0},
      {0, 4, 2, 6, 0},
      {0, 8, 4, 12, 2, 10, 6, 14, 0},
      {0, 16, 8, 24, 4, 20, 12, 28, 2, 18, 10, 26, 6, 22, 14, 30, 0},
  };
  for (std::int32_t order = 2; order <= 6; ++order) {
    const auto& want_swap = swap[order - 2];
    const auto& want_quarter = quarter[order - 2];
    for (const Builder& b : kSwapListBuilders) {
      const List list(b.build(order));
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(Words(list.get(), want_swap.size()), want_swap) << b.name << " order " << order;
    }
    for (const Builder& b : kQuarterListBuilders) {
      const List list(b.build(order));
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(Words(list.get(), want_quarter.size()), want_quarter)
          << b.name << " order " << order;
    }
  }
}

// Every builder gives the same words for the same order, and each list
// fills exactly its N/4 + 1 words (a longer list would write beyond the
// block: the sanitizer build checks the pool block's bounds).
TEST(BitReversal, AllBuildersAgreeUpToOrderSixteen) {
  for (std::int32_t order = 0; order <= 16; ++order) {
    const std::size_t words = order < 2 ? 1 : (std::size_t{1} << (order - 2)) + 1;
    const List first(qvlsFFTSwapList_i32_px(order));
    for (const Builder& b : kSwapListBuilders) {
      const List list(b.build(order));
      EXPECT_EQ(Words(list.get(), words), Words(first.get(), words)) << b.name << " " << order;
    }
    const List quarter(qvlsFFTQuarterBitRevList_i32_a6(order));
    const List quarter_w7(qvlsFFTQuarterBitRevList_i32_w7(order));
    EXPECT_EQ(Words(quarter.get(), words), Words(quarter_w7.get(), words)) << order;
    for (std::size_t m = 1; m + 1 < words; ++m) {
      EXPECT_EQ(quarter.get()[m], 2 * ReverseBits(static_cast<std::int32_t>(m), order - 2));
    }
  }
}

TEST(BitReversal, BuildersGiveNullWhenThePoolRefuses) {
  plat::ex::Pool pool("bitrev");
  plat::ex::ScopedPool installed(pool);
  pool.FailTag(plat::ex::PoolTag("Ddk "));
  for (const Builder& b : kSwapListBuilders) EXPECT_EQ(b.build(6), nullptr) << b.name;
  for (const Builder& b : kQuarterListBuilders) EXPECT_EQ(b.build(6), nullptr) << b.name;
}

struct InPlace {
  const char* name;
  void (*permute)(void* data, std::int32_t n, const std::int32_t* list);
};
const InPlace kInPlace[] = {{"px", qvlsBitReverse_cf32_ip_px},
                            {"m6", qvlsBitReverse_ci32_ip_m6},
                            {"a6", qvlsBitReverse_ci32_ip_a6},
                            {"w7", qvlsBitReverse_ci32_ip_w7}};

using Element = std::uint64_t;  // eight bytes moved without being read

// Elements at offsets 0 and 4 modulo 8 (and 4 modulo 16): every
// permutation moves element i to rev(i), gives the out-of-place result, and
// undoes itself.
TEST(BitReversal, EveryPermutationMovesElementIToItsReversal) {
  Rng rng("BitReversal.Permutations");
  for (std::int32_t order = 2; order <= 16; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    const List list(qvlsFFTSwapList_i32_px(order));
    std::vector<Element> input(n);
    for (Element& e : input) e = rng.Bits();
    std::vector<Element> want(n);
    for (std::int32_t i = 0; i < n; ++i) want[ReverseBits(i, order)] = input[i];

    for (const InPlace& p : kInPlace) {
      for (std::size_t offset : {0, 4, 12}) {
        SCOPED_TRACE(::testing::Message() << p.name << " order " << order << " offset " << offset);
        GuardedBuffer<Element> data(input, offset);
        CallKeepingFpSettings(p.permute, data.data(), n, list.get());
        ASSERT_TRUE(data.Intact());
        ASSERT_EQ(data.Load(), want);
        p.permute(data.data(), n, list.get());
        ASSERT_EQ(data.Load(), input) << "twice is not the identity";
      }
    }
    if (n < 8) continue;
    for (std::size_t offset : {0, 4}) {
      GuardedBuffer<Element> src(input, offset);
      GuardedBuffer<Element> dst(n, 8 - offset);
      qvlsBitReverse_cf32_px(src.data(), dst.data(), n, list.get());
      ASSERT_TRUE(dst.Intact());
      ASSERT_EQ(dst.Load(), want) << "out of place, order " << order << " offset " << offset;
      ASSERT_EQ(src.Load(), input) << "the source changed";
    }
  }
}

TEST(BitReversal, FewerThanFourElementsStayAsTheyAre) {
  for (std::int32_t order = 0; order <= 1; ++order) {
    const List list(qvlsFFTSwapList_i32_px(order));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list.get()[0], 0);
    const std::vector<Element> input = {0x0102030405060708u, 0x1112131415161718u};
    for (const InPlace& p : kInPlace) {
      GuardedBuffer<Element> data(input, 0);
      p.permute(data.data(), std::int32_t{1} << order, list.get());
      EXPECT_EQ(data.Load(), input) << p.name << " order " << order;
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
