// Widening, narrowing and flip in every variant against the element-wise
// definitions, at every source and destination alignment and at the lengths
// where the variants change technique.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

std::vector<std::int32_t> Widened(const std::vector<std::int16_t>& src) {
  return {src.begin(), src.end()};
}

std::vector<std::int16_t> Narrowed(const std::vector<std::int32_t>& src) {
  std::vector<std::int16_t> out;
  for (std::int32_t x : src) out.push_back(Saturate<std::int16_t>(x));
  return out;
}

std::vector<std::int16_t> Reversed(const std::vector<std::int16_t>& src) {
  return {src.rbegin(), src.rend()};
}

// 32-bit inputs spread over the whole range, a third of them within 16 bits
// and the saturation bounds with their neighbours mixed in.
std::vector<std::int32_t> NarrowInputs(Rng& rng, std::size_t n) {
  constexpr std::int32_t kEdges[] = {32767, 32768, -32768, -32769, INT32_MAX, INT32_MIN, 0, -1};
  std::vector<std::int32_t> values(n);
  for (auto& v : values) {
    switch (rng.Range(0, 3)) {
      case 0:
        v = kEdges[rng.Range(0, std::size(kEdges) - 1)];
        break;
      case 1:
        v = static_cast<std::int32_t>(rng.Range(-40000, 40000));
        break;
      default:
        v = rng.Any<std::int32_t>();
    }
  }
  return values;
}

// Lengths that cross a6's and w7's cache-bypassing thresholds once the head
// (up to 3 elements for 16-byte alignment of 32-bit elements, up to 7 for
// 16-bit ones) is taken off.
std::vector<std::size_t> BypassLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t threshold : {2731u, 43691u}) {
    for (std::size_t head = 0; head <= 7; ++head) {
      lengths.push_back(threshold + head);
      lengths.push_back(threshold + head + 1);
    }
  }
  return lengths;
}

constexpr std::size_t kLongOffsets[][2] = {{0, 0}, {2, 4}, {4, 8}, {8, 12}, {6, 0}, {12, 2}};

class IntegerConvert : public VariantTest {
 protected:
  // Runs one operation on guarded buffers and checks the result against the model.
  template <class Src, class Dst, class Fn>
  void Expect(const qvls_variant_record<Fn>& record, const std::vector<Src>& in,
              const std::vector<Dst>& want, std::size_t src_offset, std::size_t dst_offset) const {
    GuardedBuffer<Src> src(in, src_offset);
    GuardedBuffer<Dst> dst(in.size(), dst_offset);
    ASSERT_EQ(Call(record, src.data(), dst.data(), static_cast<std::int32_t>(in.size())), QVLS_OK);
    ASSERT_EQ(dst.Load(), want) << "len " << in.size() << ", offsets " << src_offset << "/"
                                << dst_offset;
    ASSERT_TRUE(dst.Intact());
    ASSERT_TRUE(src.Intact());
  }
};

TEST_P(IntegerConvert, WidenAtEveryAlignmentAndLength) {
  Rng rng("IntegerConvert.Widen");
  for (std::size_t src_offset = 0; src_offset < 16; ++src_offset) {
    for (std::size_t dst_offset = 0; dst_offset < 16; ++dst_offset) {
      for (std::size_t len = 1; len <= 40; ++len) {
        const auto in = rng.Vector<std::int16_t>(len);
        Expect(qvls_variant_table.qvlsConvert_i16toi32, in, Widened(in), src_offset, dst_offset);
      }
    }
  }
  for (std::size_t len : BypassLengths()) {
    const auto in = rng.Vector<std::int16_t>(len);
    for (auto [src_offset, dst_offset] : kLongOffsets) {
      Expect(qvls_variant_table.qvlsConvert_i16toi32, in, Widened(in), src_offset, dst_offset);
    }
  }
}

TEST_P(IntegerConvert, NarrowAtEveryAlignmentAndLength) {
  Rng rng("IntegerConvert.Narrow");
  for (std::size_t src_offset = 0; src_offset < 16; ++src_offset) {
    for (std::size_t dst_offset = 0; dst_offset < 16; ++dst_offset) {
      for (std::size_t len = 1; len <= 40; ++len) {
        const auto in = NarrowInputs(rng, len);
        Expect(qvls_variant_table.qvlsConvert_i32toi16, in, Narrowed(in), src_offset, dst_offset);
      }
    }
  }
  for (std::size_t len : BypassLengths()) {
    const auto in = NarrowInputs(rng, len);
    for (auto [src_offset, dst_offset] : kLongOffsets) {
      Expect(qvls_variant_table.qvlsConvert_i32toi16, in, Narrowed(in), src_offset, dst_offset);
    }
  }
}

// Lengths 1..17 with the destination's end at every alignment, so that the
// reversal's head, eight-element steps and tail all meet.
TEST_P(IntegerConvert, FlipAtEveryEndAlignment) {
  Rng rng("IntegerConvert.Flip");
  for (std::size_t src_offset : {0, 2, 6, 1}) {
    for (std::size_t dst_offset = 0; dst_offset < 16; ++dst_offset) {
      for (std::size_t len = 1; len <= 17; ++len) {
        const auto in = rng.Vector<std::int16_t>(len);
        Expect(qvls_variant_table.qvlsFlip_i16, in, Reversed(in), src_offset, dst_offset);
      }
    }
  }
  for (std::size_t len : {80u, 1000u, 4099u}) {
    const auto in = rng.Vector<std::int16_t>(len);
    for (auto [src_offset, dst_offset] : kLongOffsets) {
      Expect(qvls_variant_table.qvlsFlip_i16, in, Reversed(in), src_offset, dst_offset);
    }
  }
}

// Source and destination side by side in one buffer, touching but not
// overlapping (m6 sends touching ranges to its generic loop).
TEST_P(IntegerConvert, AdjacentSourceAndDestination) {
  Rng rng("IntegerConvert.Adjacent");
  for (std::size_t len : {1u, 2u, 7u, 64u, 333u}) {
    const auto in16 = rng.Vector<std::int16_t>(len);
    const auto in32 = NarrowInputs(rng, len);
    for (bool source_first : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "len " << len << (source_first ? ", source first" : ""));
      GuardedBuffer<std::uint8_t> both(6 * len, 8);
      std::uint8_t* first = both.data();
      std::uint8_t* second_after_16 = first + 2 * len;
      std::uint8_t* second_after_32 = first + 4 * len;

      auto* src16 = reinterpret_cast<std::int16_t*>(source_first ? first : second_after_32);
      auto* dst32 = reinterpret_cast<std::int32_t*>(source_first ? second_after_16 : first);
      std::memcpy(src16, in16.data(), 2 * len);
      ASSERT_EQ(Call(qvls_variant_table.qvlsConvert_i16toi32, src16, dst32,
                     static_cast<std::int32_t>(len)),
                QVLS_OK);
      std::vector<std::int32_t> wide(len);
      std::memcpy(wide.data(), dst32, 4 * len);
      EXPECT_EQ(wide, Widened(in16));

      auto* src32 = reinterpret_cast<std::int32_t*>(source_first ? first : second_after_16);
      auto* dst16 = reinterpret_cast<std::int16_t*>(source_first ? second_after_32 : first);
      std::memcpy(src32, in32.data(), 4 * len);
      ASSERT_EQ(Call(qvls_variant_table.qvlsConvert_i32toi16, src32, dst16,
                     static_cast<std::int32_t>(len)),
                QVLS_OK);
      std::vector<std::int16_t> narrow(len);
      std::memcpy(narrow.data(), dst16, 2 * len);
      EXPECT_EQ(narrow, Narrowed(in32));
      EXPECT_TRUE(both.Intact());
    }
  }
}

// A null pointer is reported before the length, and a failed check writes nothing.
TEST_P(IntegerConvert, ChecksInOrderAndWriteNothingOnFailure) {
  const std::vector<std::int16_t> in16(8, 7);
  const std::vector<std::int32_t> in32(8, 7);
  GuardedBuffer<std::int16_t> src16(in16, 0), dst16(in16, 0);
  GuardedBuffer<std::int32_t> src32(in32, 0), dst32(in32, 0);
  const auto& widen = qvls_variant_table.qvlsConvert_i16toi32;
  const auto& narrow = qvls_variant_table.qvlsConvert_i32toi16;
  const auto& flip = qvls_variant_table.qvlsFlip_i16;
  for (std::int32_t len : {4, 0, -1, INT32_MIN}) {
    EXPECT_EQ(Call(widen, nullptr, dst32.data(), len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(Call(widen, src16.data(), nullptr, len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(Call(narrow, nullptr, dst16.data(), len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(Call(narrow, src32.data(), nullptr, len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(Call(flip, nullptr, dst16.data(), len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(Call(flip, src16.data(), nullptr, len), QVLS_ERR_NULL_POINTER);
  }
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    EXPECT_EQ(Call(widen, src16.data(), dst32.data(), len), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(Call(narrow, src32.data(), dst16.data(), len), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(Call(flip, src16.data(), dst16.data(), len), QVLS_ERR_DATA_SIZE);
  }
  EXPECT_EQ(dst16.Load(), in16);
  EXPECT_EQ(dst32.Load(), in32);
}

QVLS_INSTANTIATE_VARIANTS(IntegerConvert);

}  // namespace
}  // namespace qvls_test
