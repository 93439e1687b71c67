// The frame check against its definition and against spandsp's
// crc_itu16_calc, an independent implementation of the same CRC.
#include <gtest/gtest.h>

#include <string_view>

#include "pump/framer/fcs.h"
#include "pump/framer/tests/bit_streams.h"
#include "pump/tests/support/spandsp_headers.h"
#include "siglib/tests/support/random.h"

namespace pump {
namespace {

std::uint16_t Register(const framer_testing::Bytes& bytes) {
  std::uint16_t reg = kFcsPreset;
  for (std::uint8_t b : bytes) reg = FcsUpdate(reg, b);
  return reg;
}

TEST(FramerCrc, TheCheckStringGives906E) {
  constexpr std::string_view kCheck = "123456789";
  const framer_testing::Bytes bytes(kCheck.begin(), kCheck.end());
  EXPECT_EQ(static_cast<std::uint16_t>(~Register(bytes)), 0x906E);
  EXPECT_EQ(crc_itu16_calc(bytes.data(), static_cast<int>(bytes.size()), 0xFFFF), Register(bytes));
}

// Seeded messages of 0 to 300 bytes: the register equals spandsp's and the
// bitwise division of bit_streams.h; with the complement appended low byte
// first it ends at 0xF0B8; any single flipped bit moves it off.
TEST(FramerCrc, AgreesWithSpandspAndGoodFramesLeaveF0B8) {
  qvls_test::Rng rng("FramerCrc.AgreesWithSpandsp");
  for (int length = 0; length <= 300; length += 1 + length / 8) {
    SCOPED_TRACE(length);
    framer_testing::Bytes bytes(static_cast<std::size_t>(length));
    for (std::uint8_t& b : bytes) b = rng.Any<std::uint8_t>();
    const std::uint16_t reg = Register(bytes);
    EXPECT_EQ(reg, crc_itu16_calc(bytes.data(), length, 0xFFFF));
    EXPECT_EQ(reg, framer_testing::FcsRegister(bytes));
    framer_testing::Bytes framed = framer_testing::WithFcs(bytes);
    EXPECT_EQ(Register(framed), kFcsGood);
    EXPECT_EQ(crc_itu16_check(framed.data(), static_cast<int>(framed.size())), 1);
    const auto bit =
        static_cast<std::size_t>(rng.Range(0, static_cast<std::int64_t>(framed.size()) * 8 - 1));
    framed[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    EXPECT_NE(Register(framed), kFcsGood);
  }
}

}  // namespace
}  // namespace pump
