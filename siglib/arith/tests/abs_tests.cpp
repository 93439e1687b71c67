#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "siglib/arith/tests/arith_models.h"
#include "siglib/frame/slots.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

class Abs : public VariantTest {};

// Every 16-bit value, in a vector starting on a 16-byte boundary, 2 bytes
// past one, and at an odd address.
TEST_P(Abs, Exhaustive) {
  std::vector<std::int16_t> values;
  std::vector<std::int16_t> expected;
  for (std::int32_t x = -32768; x <= 32767; ++x) {
    values.push_back(static_cast<std::int16_t>(x));
    expected.push_back(static_cast<std::int16_t>(x == -32768 ? 32767 : (x < 0 ? -x : x)));
  }
  for (std::size_t offset : {0u, 2u, 7u}) {
    GuardedBuffer<std::int16_t> srcdst(std::span<const std::int16_t>(values), offset);
    ASSERT_EQ(Call(qvls_variant_table.qvlsAbs_i16_ip, srcdst.data(),
                   static_cast<std::int32_t>(values.size())),
              QVLS_OK);
    EXPECT_TRUE(Holds<std::int16_t>(srcdst, expected)) << "offset " << offset;
  }
}

QVLS_INSTANTIATE_VARIANTS(Abs);

}  // namespace
}  // namespace qvls_test
