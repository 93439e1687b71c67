// Tests that run once per processor variant. A suite derives from
// VariantTest, takes its entries straight from the variant table (Entry, or
// Call, which also checks the floating-point settings around the call) and is
// instantiated for the four columns:
//
//   class CopyTest : public qvls_test::VariantTest {};
//   TEST_P(CopyTest, Exact) { EXPECT_EQ(Call(qvls_variant_table.qvlsCopy_u8, s, d, n), QVLS_OK); }
//   QVLS_INSTANTIATE_VARIANTS(CopyTest);   // Variants/CopyTest.Exact/px ... /w7
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "siglib/frame/slots.h"
#include "siglib/tests/support/fp_env.h"

namespace qvls_test {

enum Variant : std::int32_t {
  px = QVLS_VARIANT_PX,
  m6 = QVLS_VARIANT_M6,
  a6 = QVLS_VARIANT_A6,
  w7 = QVLS_VARIANT_W7,
};

inline constexpr Variant kAllVariants[] = {px, m6, a6, w7};

constexpr const char* VariantTag(std::int32_t column) {
  constexpr const char* kTags[] = {"px", "m6", "a6", "w7"};
  return column >= 0 && column < qvls_variant_count ? kTags[column] : "??";
}

inline std::string VariantName(const ::testing::TestParamInfo<Variant>& info) {
  return VariantTag(info.param);
}

class VariantTest : public ::testing::TestWithParam<Variant> {
 protected:
  Variant variant() const { return GetParam(); }

  // This variant's entry of a record: Entry(qvls_variant_table.qvlsCopy_u8).
  template <class Fn>
  Fn* Entry(const qvls_variant_record<Fn>& record) const {
    return record.entry[GetParam()];
  }

  // Calls this variant's entry; the call must keep the floating-point settings.
  template <class Fn, class... Args>
  decltype(auto) Call(const qvls_variant_record<Fn>& record, Args&&... args) const {
    return CallKeepingFpSettings(Entry(record), std::forward<Args>(args)...);
  }
};

}  // namespace qvls_test

#define QVLS_INSTANTIATE_VARIANTS(Suite)                                                     \
  INSTANTIATE_TEST_SUITE_P(                                                                  \
      Variants, Suite,                                                                       \
      ::testing::Values(::qvls_test::px, ::qvls_test::m6, ::qvls_test::a6, ::qvls_test::w7), \
      ::qvls_test::VariantName)
