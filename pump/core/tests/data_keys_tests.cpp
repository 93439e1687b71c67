#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/core/data_keys.h"
#include "pump/core/tests/debug_lines.h"
#include "pump/core/tests/host_fixture.h"

namespace pump {
namespace {

// The two tables behave alike; each case runs on both.
struct KeyTableOps {
  const char* name;
  std::size_t capacity;
  KeyInsert (*add)(HostInterface&, std::uint32_t, std::span<std::uint8_t>);
  const DataKey* (*find)(const HostInterface&, std::uint32_t);
  std::uint32_t (*size)(const HostInterface&, std::uint32_t);
  std::size_t (*write)(const HostInterface&, std::uint32_t, std::span<const std::uint8_t>);
  std::size_t (*read)(const HostInterface&, std::uint32_t, std::span<std::uint8_t>);
};

const KeyTableOps kParam{"parameter",  128,           AddParamKey, FindParamKey,
                         ParamKeySize, WriteParamKey, ReadParamKey};
const KeyTableOps kMem{"memory", 256, AddMemKey, FindMemKey, MemKeySize, WriteMemKey, ReadMemKey};

void PrintTo(const KeyTableOps& t, std::ostream* out) { *out << t.name; }

class DataKeys : public testing::HostFixture, public ::testing::WithParamInterface<KeyTableOps> {
 protected:
  // Key buffers with guard bytes around them, as fields of a larger record.
  std::array<std::uint8_t, 64> memory{};
};

TEST_P(DataKeys, LookupFollowsInsertionOrderAndADuplicateKeepsTheFirst) {
  const KeyTableOps& t = GetParam();
  auto first = std::span(memory).subspan(0, 4);
  auto second = std::span(memory).subspan(8, 2);
  auto again = std::span(memory).subspan(16, 6);
  EXPECT_EQ(t.add(*host, 0x11, first), KeyInsert::kAdded);
  EXPECT_EQ(t.add(*host, 0xE2, second), KeyInsert::kAdded);
  EXPECT_EQ(t.add(*host, 0x11, again), KeyInsert::kDuplicate);

  const DataKey* found = t.find(*host, 0x11);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->buffer, first.data());
  EXPECT_EQ(t.size(*host, 0x11), 4u);
  EXPECT_EQ(t.size(*host, 0xE2), 2u);
  EXPECT_EQ(t.find(*host, 0x33), nullptr);
  EXPECT_EQ(t.size(*host, 0x33), 0u);
}

TEST_P(DataKeys, AnInsertBeyondCapacityIsRefusedAndNamesTheKey) {
  const KeyTableOps& t = GetParam();
  for (std::uint32_t key = 0; key < t.capacity; ++key) {
    ASSERT_EQ(t.add(*host, 0x1000 + key, std::span(memory).subspan(0, 2)), KeyInsert::kAdded);
  }
  const auto lines = testing::DebugLinesOf([&] {
    EXPECT_EQ(t.add(*host, 0xBEEF, std::span(memory).subspan(2, 2)), KeyInsert::kRefused);
    EXPECT_EQ(t.find(*host, 0xBEEF), nullptr);
    EXPECT_EQ(t.add(*host, 0x1000, std::span(memory).subspan(2, 2)), KeyInsert::kDuplicate)
        << "a full table still knows its keys";
  });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(t.name) + " key table full (" + std::to_string(t.capacity) +
                          " keys): key 0xbeef refused");
  ASSERT_NE(t.find(*host, 0x1000 + t.capacity - 1), nullptr);
}

TEST_P(DataKeys, WritesAreBoundedByTheSourceAndByTheKey) {
  const KeyTableOps& t = GetParam();
  memory.fill(0xEE);
  ASSERT_EQ(t.add(*host, 7, std::span(memory).subspan(8, 8)), KeyInsert::kAdded);

  const std::vector<std::uint8_t> shorter{1, 2, 3};
  EXPECT_EQ(t.write(*host, 7, shorter), 3u);
  EXPECT_EQ(std::vector(memory.begin() + 8, memory.begin() + 16),
            (std::vector<std::uint8_t>{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}))
      << "the rest of the key keeps its bytes";

  const std::vector<std::uint8_t> longer(12, 0x44);
  EXPECT_EQ(t.write(*host, 7, longer), 8u);
  EXPECT_EQ(memory[7], 0xEE);
  EXPECT_EQ(memory[16], 0xEE) << "nothing past the key's buffer";

  std::array<std::uint8_t, 5> small{};
  EXPECT_EQ(t.read(*host, 7, small), 5u);
  std::array<std::uint8_t, 12> large{};
  EXPECT_EQ(t.read(*host, 7, large), 8u);
  EXPECT_EQ(large[7], 0x44);
  EXPECT_EQ(large[8], 0);

  EXPECT_EQ(t.write(*host, 99, longer), 0u);
  EXPECT_EQ(t.read(*host, 99, large), 0u);
}

TEST_P(DataKeys, InitEmptiesTheTable) {
  const KeyTableOps& t = GetParam();
  ASSERT_EQ(t.add(*host, 5, std::span(memory).subspan(0, 2)), KeyInsert::kAdded);
  InitHostInterface(*host, nullptr, nullptr);
  EXPECT_EQ(t.find(*host, 5), nullptr);
  EXPECT_EQ(t.add(*host, 6, std::span(memory).subspan(0, 2)), KeyInsert::kAdded);
}

INSTANTIATE_TEST_SUITE_P(BothTables, DataKeys, ::testing::Values(kParam, kMem),
                         [](const auto& info) { return std::string(info.param.name); });

using DataKeysPart = testing::HostFixture;

TEST_F(DataKeysPart, RefusesEveryByteThatWouldLandPastTheKey) {
  std::array<std::uint8_t, 16> memory;
  memory.fill(0xEE);
  ASSERT_EQ(AddMemKey(*host, 0x40, std::span(memory).subspan(4, 5)), KeyInsert::kAdded);
  const std::vector<std::uint8_t> data{1, 2, 3, 4, 5, 6};
  struct Case {
    std::size_t word_index;
    std::size_t written;
    std::vector<std::uint8_t> key;  // the key's 5 bytes afterwards
  };
  const Case cases[] = {
      {0, 5, {1, 2, 3, 4, 5}},
      {1, 3, {0xEE, 0xEE, 1, 2, 3}},
      {2, 1, {0xEE, 0xEE, 0xEE, 0xEE, 1}},
      {3, 0, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
      {SIZE_MAX / 2 + 1, 0, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word_index);
    memory.fill(0xEE);
    EXPECT_EQ(WriteMemKeyPart(*host, 0x40, c.word_index, data), c.written);
    EXPECT_EQ(std::vector(memory.begin() + 4, memory.begin() + 9), c.key);
    EXPECT_EQ(memory[3], 0xEE);
    EXPECT_EQ(memory[9], 0xEE);
  }
  EXPECT_EQ(WriteMemKeyPart(*host, 0x41, 0, data), 0u);
}

TEST_F(DataKeysPart, AShortSourceWritesOnlyWhatItHolds) {
  std::array<std::uint8_t, 8> memory;
  memory.fill(0xEE);
  ASSERT_EQ(AddMemKey(*host, 0x40, memory), KeyInsert::kAdded);
  const std::vector<std::uint8_t> data{9, 8};
  EXPECT_EQ(WriteMemKeyPart(*host, 0x40, 1, data), 2u);
  EXPECT_EQ(std::vector(memory.begin(), memory.end()),
            (std::vector<std::uint8_t>{0xEE, 0xEE, 9, 8, 0xEE, 0xEE, 0xEE, 0xEE}));
}

}  // namespace
}  // namespace pump
