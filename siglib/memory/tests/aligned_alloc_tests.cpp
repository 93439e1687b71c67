#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/memory/memory.h"

namespace {

using plat::ex::Pool;
using plat::ex::PoolEvent;
using plat::ex::PoolUsage;

constexpr ULONG kTag = plat::ex::PoolTag("Ddk ");

// A pool of its own, installed for the test, that records what it is asked.
class AlignedAlloc : public ::testing::Test {
 protected:
  AlignedAlloc() {
    pool_.SetObserver([this](const PoolEvent& e) { events_.push_back(e); });
  }

  Pool pool_{"aligned-alloc"};
  plat::ex::ScopedPool installed_{pool_};
  std::vector<PoolEvent> events_;
};

// The four allocations as one interface: n elements of `size` bytes.
struct Allocation {
  const char* name;
  std::size_t size;
  void* (*allocate)(std::int32_t n);
};
const Allocation kAllocations[] = {
    {"u8", 1, [](std::int32_t n) -> void* { return qvlsAlloc_u8_px(n); }},
    {"i16", 2, [](std::int32_t n) -> void* { return qvlsAlloc_i16_px(n); }},
    {"i32", 4, [](std::int32_t n) -> void* { return qvlsAlloc_i32(n); }},
    {"ci32", 8, [](std::int32_t n) -> void* { return qvlsAlloc_ci32(n); }},
};

std::uintptr_t PreWord(const void* block) {
  std::uintptr_t word;
  std::memcpy(&word, static_cast<const std::uint8_t*>(block) - sizeof(word), sizeof(word));
  return word;
}

TEST_F(AlignedAlloc, BlockIsAlignedInsideItsPoolBlockWhichFreeReturns) {
  for (const Allocation& a : kAllocations) {
    for (std::int32_t n : {1, 2, 3, 7, 31, 32, 33, 1000}) {
      SCOPED_TRACE(::testing::Message() << a.name << " n=" << n);
      events_.clear();
      auto* block = static_cast<std::uint8_t*>(a.allocate(n));
      ASSERT_NE(block, nullptr);
      ASSERT_EQ(events_.size(), 1u);
      EXPECT_EQ(events_[0].kind, PoolEvent::Kind::Allocate);
      EXPECT_EQ(events_[0].type, NonPagedPool);
      EXPECT_EQ(events_[0].tag, kTag);
      EXPECT_EQ(events_[0].bytes, n * a.size + 40);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 32, 0u);

      // The pre-word names a pool block that starts 8 to 39 bytes earlier.
      const std::uintptr_t pool_block = PreWord(block);
      const std::uintptr_t offset = reinterpret_cast<std::uintptr_t>(block) - pool_block;
      EXPECT_GE(offset, 8u);
      EXPECT_LE(offset, 39u);
      // Contents are not cleared: the pool's poison is still there.
      EXPECT_EQ(block[0], plat::ex::kPoisonAllocated);
      EXPECT_EQ(block[n * a.size - 1], plat::ex::kPoisonAllocated);
      // Every element is writable (the sanitizer build checks the pool block's bounds).
      std::memset(block, 0x5A, n * a.size);

      qvlsFree_px(block);  // the pool dies at once on a pointer it did not hand out
      ASSERT_EQ(events_.size(), 2u);
      EXPECT_EQ(events_[1].kind, PoolEvent::Kind::Free);
      EXPECT_EQ(events_[1].bytes, n * a.size + 40);
      EXPECT_EQ(pool_.LiveByTag(kTag), PoolUsage{});
    }
  }
}

TEST_F(AlignedAlloc, CountsOfZeroOrLessNeverTouchThePool) {
  for (const Allocation& a : kAllocations) {
    for (std::int32_t n : {0, -1, -32, INT32_MIN}) {
      EXPECT_EQ(a.allocate(n), nullptr) << a.name << " n=" << n;
    }
  }
  EXPECT_EQ(pool_.AllocationAttempts(), 0u);
  qvlsFree_px(nullptr);
  EXPECT_TRUE(events_.empty());
}

TEST_F(AlignedAlloc, ExhaustedPoolGivesNull) {
  for (const Allocation& a : kAllocations) {
    pool_.FailNthAllocation(1);
    EXPECT_EQ(a.allocate(16), nullptr) << a.name;
    pool_.FailTag(kTag);
    EXPECT_EQ(a.allocate(1), nullptr) << a.name;
    pool_.ClearFaults();
  }
  EXPECT_EQ(pool_.AllocationAttempts(), 8u);
  EXPECT_EQ(pool_.Live(), PoolUsage{});
}

// n·size + 40 above 2^31 - 1 is refused before the pool is asked; a 32-bit
// sum would have wrapped to a small block (n = 2^30 i32 elements: 40 bytes).
TEST_F(AlignedAlloc, CountsWhoseBlockExceedsTwoGigabytesGiveNullWithoutAsking) {
  struct Case {
    const Allocation& a;
    std::int32_t largest_fitting;
  };
  const Case cases[] = {
      {kAllocations[0], INT32_MAX - 40},
      {kAllocations[1], (INT32_MAX - 40) / 2},
      {kAllocations[2], (INT32_MAX - 40) / 4},
      {kAllocations[3], (INT32_MAX - 40) / 8},
  };
  pool_.FailAbove(4096);  // the largest fitting counts are asked for, and refused
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a.name);
    const std::uint64_t attempts = pool_.AllocationAttempts();
    for (std::int32_t n : {c.largest_fitting + 1, INT32_MAX, 1 << 30, (1 << 30) + 1}) {
      if (static_cast<std::uint64_t>(n) * c.a.size + 40 <= INT32_MAX) continue;
      EXPECT_EQ(c.a.allocate(n), nullptr) << "n=" << n;
    }
    EXPECT_EQ(pool_.AllocationAttempts(), attempts);

    events_.clear();
    EXPECT_EQ(c.a.allocate(c.largest_fitting), nullptr);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].bytes, c.largest_fitting * c.a.size + 40);
    EXPECT_LE(events_[0].bytes, static_cast<SIZE_T>(INT32_MAX));
  }
}

TEST_F(AlignedAlloc, PerTagAccountingBalances) {
  std::vector<void*> blocks;
  std::size_t bytes = 0;
  for (const Allocation& a : kAllocations) {
    for (std::int32_t n : {5, 64, 333}) {
      blocks.push_back(a.allocate(n));
      ASSERT_NE(blocks.back(), nullptr);
      bytes += n * a.size + 40;
    }
  }
  EXPECT_EQ(pool_.LiveByTag(kTag), (PoolUsage{blocks.size(), bytes}));
  EXPECT_EQ(pool_.LiveByType(NonPagedPool), (PoolUsage{blocks.size(), bytes}));
  for (void* b : blocks) qvlsFree_px(b);
  EXPECT_EQ(pool_.LiveByTag(kTag), PoolUsage{});
  EXPECT_EQ(pool_.LeakReport(), "");
}

}  // namespace
