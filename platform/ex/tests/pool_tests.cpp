#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/ex/expool.h"

namespace plat::ex {
namespace {

constexpr ULONG kDdk = PoolTag("Ddk ");
constexpr ULONG kDict = PoolTag("DICT");

// Reads a byte the optimiser cannot drop.
[[maybe_unused]] void ReadByte(const std::uint8_t* p) {
  volatile std::uint8_t v = *p;
  (void)v;
}

class PoolTest : public ::testing::Test {
 protected:
  Pool pool{"test"};
  ScopedPool scope{pool};
};

TEST(PoolTag, ReadsInMemoryOrder) {
  const ULONG tag = PoolTag("Ddk ");
  char bytes[4];
  std::memcpy(bytes, &tag, 4);
  EXPECT_EQ(std::string(bytes, 4), "Ddk ");
  EXPECT_EQ(TagText(tag), "Ddk ");
  EXPECT_EQ(TagText(0x00414243), "CBA?");
}

TEST_F(PoolTest, AccountsLiveBlocksByTagAndType) {
  void* a = ExAllocatePoolWithTag(NonPagedPool, 100, kDdk);
  void* b = ExAllocatePoolWithTag(PagedPool, 30, kDdk);
  void* c = ExAllocatePoolWithTag(PagedPool, 7, kDict);
  ASSERT_TRUE(a && b && c);

  EXPECT_EQ(pool.LiveByTag(kDdk), (PoolUsage{2, 130}));
  EXPECT_EQ(pool.LiveByTag(kDict), (PoolUsage{1, 7}));
  EXPECT_EQ(pool.LiveByType(NonPagedPool), (PoolUsage{1, 100}));
  EXPECT_EQ(pool.LiveByType(PagedPool), (PoolUsage{2, 37}));
  EXPECT_EQ(pool.Live(), (PoolUsage{3, 137}));

  ExFreePool(b);
  EXPECT_EQ(pool.LiveByTag(kDdk), (PoolUsage{1, 100}));
  EXPECT_EQ(pool.LiveByType(PagedPool), (PoolUsage{1, 7}));
  ExFreePool(a);
  ExFreePool(c);
  EXPECT_EQ(pool.Live(), (PoolUsage{0, 0}));
  EXPECT_EQ(DefaultPool().LiveByTag(kDdk).blocks, 0u) << "allocations went to the installed pool";
}

TEST_F(PoolTest, BlocksAreAlignedAndPoisonedNotZeroed) {
  for (SIZE_T bytes : {1u, 15u, 64u, 4096u}) {
    auto* p = static_cast<std::uint8_t*>(ExAllocatePoolWithTag(NonPagedPool, bytes, kDdk));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    EXPECT_TRUE(std::all_of(p, p + bytes, [](std::uint8_t v) { return v == kPoisonAllocated; }));
    ExFreePool(p);
  }
}

TEST_F(PoolTest, FreedBlocksArePoisoned) {
  auto* p = static_cast<std::uint8_t*>(ExAllocatePoolWithTag(NonPagedPool, 32, kDdk));
  std::fill(p, p + 32, 0x11);
  ExFreePool(p);
#if defined(VX_SANITIZE)
  // The sanitizer build also fences the quarantined block off from any access.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ReadByte(p), "use-after-poison");
#else
  // The block sits in the pool's quarantine, so reading it here is well defined.
  EXPECT_TRUE(std::all_of(p, p + 32, [](std::uint8_t v) { return v == kPoisonFreed; }));
#endif
}

TEST_F(PoolTest, FailsTheNthAttemptOnce) {
  pool.FailNthAllocation(3);
  std::vector<void*> blocks;
  for (int i = 0; i < 5; ++i) blocks.push_back(ExAllocatePoolWithTag(NonPagedPool, 8, kDdk));
  EXPECT_NE(blocks[0], nullptr);
  EXPECT_NE(blocks[1], nullptr);
  EXPECT_EQ(blocks[2], nullptr);
  EXPECT_NE(blocks[3], nullptr);
  EXPECT_NE(blocks[4], nullptr);
  EXPECT_EQ(pool.Live().blocks, 4u);
  for (void* b : blocks)
    if (b) ExFreePool(b);
}

TEST_F(PoolTest, FailsByTagAndBySizeUntilCleared) {
  pool.FailTag(kDict);
  pool.FailAbove(1000);
  struct Case {
    ULONG tag;
    SIZE_T bytes;
    bool fails;
  };
  const Case cases[] = {{kDict, 1, true}, {kDdk, 1000, false}, {kDdk, 1001, true}, {kDdk, 1, false}};
  for (const Case& c : cases) {
    void* p = ExAllocatePoolWithTag(PagedPool, c.bytes, c.tag);
    EXPECT_EQ(p == nullptr, c.fails) << TagText(c.tag) << " " << c.bytes;
    if (p) ExFreePool(p);
  }
  pool.ClearFaults();
  void* p = ExAllocatePoolWithTag(PagedPool, 5000, kDict);
  EXPECT_NE(p, nullptr);
  ExFreePool(p);
}

TEST_F(PoolTest, ObserverSeesAttemptsAndFrees) {
  std::vector<PoolEvent> events;
  pool.SetObserver([&](const PoolEvent& e) { events.push_back(e); });
  pool.FailNthAllocation(2);
  void* a = ExAllocatePoolWithTag(NonPagedPool, 40, kDdk);
  EXPECT_EQ(ExAllocatePool(PagedPool, 8), nullptr);
  ExFreePool(a);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].kind, PoolEvent::Kind::Allocate);
  EXPECT_EQ(events[0].bytes, 40u);
  EXPECT_EQ(events[0].tag, kDdk);
  EXPECT_FALSE(events[0].failed);
  EXPECT_TRUE(events[1].failed);
  EXPECT_EQ(events[1].tag, PoolTag("None"));
  EXPECT_EQ(events[2].kind, PoolEvent::Kind::Free);
  EXPECT_EQ(events[2].bytes, 40u);
}

TEST_F(PoolTest, LeakReportListsLiveBlocksOldestFirst) {
  EXPECT_EQ(pool.LeakReport(), "");
  void* a = ExAllocatePoolWithTag(NonPagedPool, 12, kDdk);
  void* b = ExAllocatePoolWithTag(PagedPool, 345, kDict);
  void* c = ExAllocatePoolWithTag(NonPagedPool, 6, kDdk);
  ExFreePool(a);
  EXPECT_EQ(pool.LeakReport(),
            "leak: tag 'DICT' paged 345 bytes, allocation #2\n"
            "leak: tag 'Ddk ' non-paged 6 bytes, allocation #3\n");
  ExFreePool(b);
  ExFreePool(c);
}

TEST_F(PoolTest, ScopesNestAndRestore) {
  Pool inner("inner");
  {
    ScopedPool nested(inner);
    EXPECT_EQ(&CurrentPool(), &inner);
  }
  EXPECT_EQ(&CurrentPool(), &pool);
}

TEST_F(PoolTest, ConcurrentUseBalances) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      ScopedPool scope(pool);
      std::vector<void*> mine;
      for (int i = 0; i < 500; ++i) mine.push_back(ExAllocatePoolWithTag(NonPagedPool, 16 + t, kDdk));
      for (void* p : mine) ExFreePool(p);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(pool.Live(), (PoolUsage{0, 0}));
  EXPECT_EQ(pool.AllocationAttempts(), 2000u);
}

using PoolDeathTest = PoolTest;

TEST_F(PoolDeathTest, DoubleFreeNamesTheTag) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  void* p = ExAllocatePoolWithTag(PagedPool, 24, kDict);
  ExFreePool(p);
  EXPECT_DEATH(ExFreePool(p), "pool.double-free.*'DICT'.*24 bytes");
}

TEST_F(PoolDeathTest, ForeignPointersAreFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int local = 0;
  EXPECT_DEATH(ExFreePool(&local), "pool.foreign-pointer");
  EXPECT_DEATH(ExFreePool(nullptr), "pool.foreign-pointer.*null");
  auto* p = static_cast<char*>(ExAllocatePoolWithTag(NonPagedPool, 64, kDdk));
  EXPECT_DEATH(ExFreePool(p + 8), "pool.foreign-pointer.*8 bytes into.*'Ddk '");
  ExFreePool(p);
}

TEST_F(PoolDeathTest, FreeingIntoAnotherPoolIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  void* p = ExAllocatePoolWithTag(NonPagedPool, 8, kDdk);
  Pool other("other");
  EXPECT_DEATH(
      {
        ScopedPool wrong(other);
        ExFreePool(p);
      },
      "pool.foreign-pointer.*'other'");
  ExFreePool(p);
}

}  // namespace
}  // namespace plat::ex
