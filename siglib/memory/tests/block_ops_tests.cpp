// Copy, zero and fill in every variant: exact contents at every source and
// destination alignment, at the lengths where the variants change technique,
// and nothing written outside the destination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "siglib/frame/placeholder.h"
#include "siglib/memory/memory.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr qvlsZero_i32_fn* kZeroI32[] = {qvlsZero_i32_px, qvlsZero_i32_m6, qvlsZero_i32_a6,
                                         qvlsZero_i32_w7};
constexpr std::size_t kElementSizes[] = {1, 2, 4};
// Short blocks: every length up to 70 bytes (and 70 elements for the fill)
// at every offset, or offset pair, 0..31.
constexpr std::int32_t kShortBytes = 70;
constexpr std::int32_t kShortLengths = 70;

// Byte counts at which some variant changes technique: m6 64-byte steps,
// w7 128-byte steps above 304, a6 streaming from 8,192, byte head from
// 16,384, 4 KB chunks from 20,480 after the head, w7 long copies beyond
// 0x20000 + 64 after its 16-byte head.
constexpr std::size_t kCopyLengths[] = {63,
                                        64,
                                        65,
                                        127,
                                        128,
                                        304,
                                        305,
                                        8191,
                                        8192,
                                        16383,
                                        16384,
                                        20479,
                                        20480,
                                        20481,
                                        20487,
                                        24576,
                                        0x20040,
                                        0x20041,
                                        0x20000 + 65 + 15};
// m6/a6 64-byte steps, a6 streaming from 20,480, w7 streaming beyond 0x40000 + 64.
constexpr std::size_t kZeroLengths[] = {15,    16,      63,      64,      8191,   20479,
                                        20480, 0x40040, 0x40041, 0x40050, 0x40051};
// The same thresholds in 32-bit elements.
constexpr std::size_t kFillCounts[] = {15, 16, 17, 5119, 5120, 5121, 0x10010, 0x10011, 0x10014};

struct OffsetPair {
  std::size_t src, dst;
};
constexpr OffsetPair kLongOffsets[] = {{0, 0}, {0, 8},  {8, 0},  {1, 0},  {0, 1},
                                       {4, 0}, {12, 3}, {13, 8}, {7, 29}, {20, 52}};
constexpr std::size_t kLongDstOffsets[] = {0, 1, 2, 3, 4, 6, 8, 12, 15};

Bytes RandomBytes(Rng& rng, std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; i += 8) {
    const std::uint64_t bits = rng.Bits();
    std::memcpy(&bytes[i], &bits, std::min<std::size_t>(8, n - i));
  }
  return bytes;
}

// The bytes of len copies of value in memory order.
Bytes Repeated(std::int32_t value, std::size_t len) {
  Bytes bytes(4 * len);
  for (std::size_t i = 0; i < len; ++i) std::memcpy(&bytes[4 * i], &value, 4);
  return bytes;
}

// Whether a buffer holds `written` at its start and `background` after it,
// with its canaries intact.
::testing::AssertionResult Holds(const GuardedBuffer<std::uint8_t>& buffer,
                                 std::span<const std::uint8_t> written, const Bytes& background) {
  const std::uint8_t* now = buffer.data();
  const std::size_t n = written.size();
  const bool same = std::equal(now, now + n, written.begin()) &&
                    std::equal(now + n, now + buffer.size(), background.begin() + n);
  for (std::size_t i = 0; !same && i < buffer.size(); ++i) {
    const std::uint8_t want = i < n ? written[i] : background[i];
    if (now[i] != want) {
      return ::testing::AssertionFailure() << "byte " << i << " of " << n << " written is "
                                           << int{now[i]} << ", not " << int{want};
    }
  }
  return buffer.Intact();
}

class BlockOps : public VariantTest {
 protected:
  qvls_status Copy(std::size_t element, const std::uint8_t* src, std::uint8_t* dst,
                   std::int32_t len) const {
    switch (element) {
      case 1:
        return Call(qvls_variant_table.qvlsCopy_u8, src, dst, len);
      case 2:
        return Call(qvls_variant_table.qvlsCopy_i16, reinterpret_cast<const std::int16_t*>(src),
                    reinterpret_cast<std::int16_t*>(dst), len);
      default:
        return Call(qvls_variant_table.qvlsCopy_i32, reinterpret_cast<const std::int32_t*>(src),
                    reinterpret_cast<std::int32_t*>(dst), len);
    }
  }
  qvls_status Zero(std::size_t element, std::uint8_t* dst, std::int32_t len) const {
    switch (element) {
      case 1:
        return Call(qvls_variant_table.qvlsZero_u8, dst, len);
      case 2:
        return Call(qvls_variant_table.qvlsZero_i16, reinterpret_cast<std::int16_t*>(dst), len);
      default:
        return CallKeepingFpSettings(kZeroI32[variant()], reinterpret_cast<std::int32_t*>(dst),
                                     len);
    }
  }
  qvls_status Fill(std::int32_t value, std::uint8_t* dst, std::int32_t len) const {
    return Call(qvls_variant_table.qvlsFill_i32, value, reinterpret_cast<std::int32_t*>(dst), len);
  }
};

TEST_P(BlockOps, ExactContentsOfShortCopiesAtEveryOffsetPair) {
  Rng rng("BlockOps.ShortCopies");
  const std::size_t capacity = 4 * kShortLengths;
  const Bytes source = RandomBytes(rng, capacity);
  const Bytes background = RandomBytes(rng, capacity);
  for (std::size_t src_offset = 0; src_offset < 32; ++src_offset) {
    GuardedBuffer<std::uint8_t> src(source, src_offset);
    for (std::size_t dst_offset = 0; dst_offset < 32; ++dst_offset) {
      GuardedBuffer<std::uint8_t> dst(capacity, dst_offset);
      for (std::size_t element : kElementSizes) {
        for (std::int32_t len = 1; len * element <= kShortBytes; ++len) {
          dst.Store(background);
          ASSERT_EQ(Copy(element, src.data(), dst.data(), len), QVLS_OK);
          ASSERT_TRUE(Holds(dst, std::span(source).first(len * element), background))
              << element << "-byte elements, len " << len << ", offsets " << src_offset << "/"
              << dst_offset;
        }
      }
    }
    ASSERT_TRUE(Holds(src, source, source)) << "the copies changed their source";
  }
}

TEST_P(BlockOps, ExactContentsOfLongCopiesAtEveryThreshold) {
  Rng rng("BlockOps.LongCopies");
  for (std::size_t bytes : kCopyLengths) {
    const Bytes source = RandomBytes(rng, bytes + 3);
    const Bytes background = RandomBytes(rng, bytes + 3);
    for (std::size_t element : kElementSizes) {
      const std::size_t len = (bytes + element - 1) / element;
      const auto copied = std::span(source).first(len * element);
      const auto untouched = std::span(background).first(len * element);
      for (OffsetPair offsets : kLongOffsets) {
        GuardedBuffer<std::uint8_t> src(copied, offsets.src);
        GuardedBuffer<std::uint8_t> dst(untouched, offsets.dst);
        ASSERT_EQ(Copy(element, src.data(), dst.data(), static_cast<std::int32_t>(len)), QVLS_OK);
        EXPECT_TRUE(Holds(dst, copied, background))
            << element << "-byte elements, len " << len << ", offsets " << offsets.src << "/"
            << offsets.dst;
        EXPECT_TRUE(Holds(src, copied, background)) << "the copy changed its source";
      }
    }
  }
}

// Copies long enough for w7 to choose by the distance from source to
// destination modulo 65,536, at both sides of each range boundary, for a
// source on and off its 8-byte boundary; long enough too for whole 256 KB
// steps of the block path. The source and destination lie in one arena, and
// nothing of it but the destination may change.
TEST_P(BlockOps, ExactContentsOfLongCopiesAtEveryDistanceRange) {
  struct Case {
    std::size_t source_offset;  // within the arena's 64-byte-aligned start
    std::uint32_t distance;     // destination minus source, modulo 65,536
  };
  const Case cases[] = {
      {0, 199}, {0, 200}, {0, 336}, {0, 337}, {0, 432}, {0, 433}, {16, 300}, {8, 0},    {4, 17},
      {4, 18},  {4, 260}, {4, 261}, {4, 372}, {4, 373}, {3, 17},  {3, 300},  {13, 373}, {5, 65535},
  };
  constexpr std::size_t kLengths[] = {0x20000 + 65 + 15, 0x40000 + 1000 + 77};
  Rng rng("BlockOps.Distances");
  for (std::size_t len : kLengths) {
    for (const Case& c : cases) {
      const std::size_t gap = ((len >> 16) + 1) * 65536 + c.distance;  // beyond the source
      Bytes storage = RandomBytes(rng, 64 + c.source_offset + gap + len + 64);
      const std::size_t base = 64 - (reinterpret_cast<std::uintptr_t>(storage.data()) & 63);
      std::uint8_t* src = storage.data() + base + c.source_offset;
      std::uint8_t* dst = src + gap;
      Bytes expected = storage;
      std::memcpy(expected.data() + (dst - storage.data()), src, len);
      ASSERT_EQ(Copy(1, src, dst, static_cast<std::int32_t>(len)), QVLS_OK);
      ASSERT_TRUE(storage == expected)
          << "len " << len << ", source offset " << c.source_offset << ", distance " << c.distance;
    }
  }
}

TEST_P(BlockOps, ExactContentsOfZeroes) {
  Rng rng("BlockOps.Zeroes");
  const std::size_t capacity = 4 * kShortLengths;
  const Bytes background = RandomBytes(rng, capacity);
  const Bytes zeros(capacity, 0);
  for (std::size_t offset = 0; offset < 32; ++offset) {
    GuardedBuffer<std::uint8_t> dst(capacity, offset);
    for (std::size_t element : kElementSizes) {
      for (std::int32_t len = 1; len * element <= kShortBytes; ++len) {
        dst.Store(background);
        ASSERT_EQ(Zero(element, dst.data(), len), QVLS_OK);
        ASSERT_TRUE(Holds(dst, std::span(zeros).first(len * element), background))
            << element << "-byte elements, len " << len << ", offset " << offset;
      }
    }
  }
  for (std::size_t element : kElementSizes) {
    for (std::size_t bytes : kZeroLengths) {
      const std::size_t len = (bytes + element - 1) / element;
      const Bytes long_background = RandomBytes(rng, len * element);
      for (std::size_t offset : kLongDstOffsets) {
        GuardedBuffer<std::uint8_t> dst(long_background, offset);
        ASSERT_EQ(Zero(element, dst.data(), static_cast<std::int32_t>(len)), QVLS_OK);
        EXPECT_TRUE(Holds(dst, Bytes(len * element, 0), long_background))
            << element << "-byte elements, len " << len << ", offset " << offset;
      }
    }
  }
}

// 10,239 and 10,240 elements: just below and at a6's streaming threshold.
TEST_P(BlockOps, ZeroOfShortsAtTheStreamingThresholdZeroesExactly) {
  Rng rng("BlockOps.ZeroI16");
  for (std::int32_t len : {10239, 10240}) {
    for (std::size_t offset : {0, 2, 8, 1}) {
      const Bytes background = RandomBytes(rng, 2 * len + 2);
      GuardedBuffer<std::uint8_t> dst(background, offset);
      ASSERT_EQ(
          Call(qvls_variant_table.qvlsZero_i16, reinterpret_cast<std::int16_t*>(dst.data()), len),
          QVLS_OK);
      EXPECT_TRUE(Holds(dst, Bytes(2 * len, 0), background)) << len << " at offset " << offset;
    }
  }
}

TEST_P(BlockOps, ExactContentsOfFills) {
  Rng rng("BlockOps.Fills");
  const std::size_t capacity = 4 * kShortLengths;
  const Bytes background = RandomBytes(rng, capacity);
  for (std::size_t offset = 0; offset < 32; ++offset) {
    GuardedBuffer<std::uint8_t> dst(capacity, offset);
    for (std::int32_t len = 1; len <= kShortLengths; ++len) {
      const auto value = rng.Any<std::int32_t>();
      dst.Store(background);
      ASSERT_EQ(Fill(value, dst.data(), len), QVLS_OK);
      ASSERT_TRUE(Holds(dst, Repeated(value, len), background))
          << "len " << len << ", offset " << offset << ", value " << value;
    }
  }
  for (std::size_t len : kFillCounts) {
    const Bytes long_background = RandomBytes(rng, 4 * len);
    for (std::size_t offset : kLongDstOffsets) {
      const auto value = rng.Any<std::int32_t>();
      GuardedBuffer<std::uint8_t> dst(long_background, offset);
      ASSERT_EQ(Fill(value, dst.data(), static_cast<std::int32_t>(len)), QVLS_OK);
      EXPECT_TRUE(Holds(dst, Repeated(value, len), long_background))
          << "len " << len << ", offset " << offset;
    }
  }
}

// A value whose four bytes differ, at destinations off their 4-byte
// boundary: memory reads 01 02 03 04 01 02 ... however the words were split.
TEST_P(BlockOps, MisalignedFillLandsInMemoryOrder) {
  constexpr std::int32_t kValue = 0x04030201;
  for (std::size_t offset : {1, 2, 3}) {
    for (std::int32_t len : {1, 2, 5, 70000}) {
      const Bytes background(4 * len, 0xEE);
      GuardedBuffer<std::uint8_t> dst(background, offset);
      ASSERT_EQ(Fill(kValue, dst.data(), len), QVLS_OK);
      const Bytes now = dst.Load();
      for (std::size_t i = 0; i < now.size(); ++i) {
        ASSERT_EQ(now[i], i % 4 + 1) << "byte " << i << ", len " << len << ", offset " << offset;
      }
      EXPECT_TRUE(dst.Intact());
    }
  }
}

// A null pointer is reported before the length, and a failed check writes nothing.
TEST_P(BlockOps, ChecksNullBeforeLengthAndWriteNothingOnFailure) {
  const Bytes background(64, 0x77);
  GuardedBuffer<std::uint8_t> src(background, 0);
  GuardedBuffer<std::uint8_t> dst(background, 0);
  for (std::size_t element : kElementSizes) {
    for (std::int32_t len : {0, -1, INT32_MIN, 4}) {
      SCOPED_TRACE(::testing::Message() << element << "-byte elements, len " << len);
      EXPECT_EQ(Copy(element, nullptr, dst.data(), len), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(Copy(element, src.data(), nullptr, len), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(Zero(element, nullptr, len), QVLS_ERR_NULL_POINTER);
    }
    for (std::int32_t len : {0, -1, INT32_MIN}) {
      EXPECT_EQ(Copy(element, src.data(), dst.data(), len), QVLS_ERR_DATA_SIZE);
      EXPECT_EQ(Zero(element, dst.data(), len), QVLS_ERR_DATA_SIZE);
    }
  }
  for (std::int32_t len : {0, -1, INT32_MIN, 4}) {
    EXPECT_EQ(Fill(1, nullptr, len), QVLS_ERR_NULL_POINTER);
  }
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    EXPECT_EQ(Fill(1, dst.data(), len), QVLS_ERR_DATA_SIZE);
  }
  EXPECT_TRUE(Holds(dst, {}, background));
  EXPECT_TRUE(Holds(src, {}, background));
}

QVLS_INSTANTIATE_VARIANTS(BlockOps);

// No column of these slots holds the placeholder any more; which columns
// share an entry is checked, slot by slot, by the frame's own table test.
template <std::int32_t Slot, class Fn>
bool Built(const qvls_variant_record<Fn>& record) {
  for (Fn* entry : record.entry) {
    if (entry == qvls_placeholder_entry<Slot>) return false;
  }
  return true;
}

TEST(VariantTable, MemoryAndConversionSlotsAreBuilt) {
#define EXPECT_SLOT_BUILT(op) EXPECT_TRUE(Built<qvls_slot_index::op>(qvls_variant_table.op)) << #op
  EXPECT_SLOT_BUILT(qvlsAlloc_u8);
  EXPECT_SLOT_BUILT(qvlsAlloc_i16);
  EXPECT_SLOT_BUILT(qvlsFree);
  EXPECT_SLOT_BUILT(qvlsCopy_u8);
  EXPECT_SLOT_BUILT(qvlsCopy_i16);
  EXPECT_SLOT_BUILT(qvlsCopy_i32);
  EXPECT_SLOT_BUILT(qvlsZero_u8);
  EXPECT_SLOT_BUILT(qvlsZero_i16);
  EXPECT_SLOT_BUILT(qvlsFill_i32);
  EXPECT_SLOT_BUILT(qvlsConvert_i16toi32);
  EXPECT_SLOT_BUILT(qvlsConvert_i32toi16);
  EXPECT_SLOT_BUILT(qvlsFlip_i16);
#undef EXPECT_SLOT_BUILT
}

}  // namespace
}  // namespace qvls_test
