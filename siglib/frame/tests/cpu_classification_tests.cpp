#include <gtest/gtest.h>

#include "platform/cpu/identity.h"
#include "siglib/frame/cpu.h"
#include "siglib/frame/frame.h"
#include "siglib/frame/tests/fake_processors.h"

namespace qvls_test {
namespace {

using plat::cpu::FakeIdentity;
using plat::cpu::ScopedIdentity;

constexpr std::uint32_t kAllSimd = kM6Flag | kA6Flag | kW7Flag;

TEST(CpuClassification, ProcessorTypeFromIdentity) {
  const struct {
    const char* name;
    FakeIdentity identity;
    std::int32_t cpu_type;
  } cases[] = {
      {"no identification instruction", {false, plat::cpu::kMakerVendor, Leaf1(6, kAllSimd)}, 0},
      {"another vendor, family 6", {true, "AnotherVendr", Leaf1(6, kAllSimd)}, 0},
      {"another vendor, family 15", {true, "AnotherVendr", Leaf1(15, kW7Flag, kNextSimdFlag)}, 0},
      {"vendor differs in case", {true, "GenuineVexoR", Leaf1(6, kAllSimd)}, 0},
      {"vendor cut short", {true, "GenuineVexo", Leaf1(6, kAllSimd)}, 0},
      {"family 3", MakersProcessor(3, kAllSimd), 0},
      {"family 4", MakersProcessor(4, kAllSimd), 0},
      {"family 8", MakersProcessor(8, kAllSimd), 0},
      {"family 14", MakersProcessor(14, kAllSimd), 0},
      {"family 5", MakersProcessor(5, kA6Flag | kW7Flag), 1},
      {"family 5 m6", MakersProcessor(5, kM6Flag), 2},
      {"family 6", MakersProcessor(6, 0), 3},
      {"family 6 m6", MakersProcessor(6, kM6Flag), 4},
      {"family 6 a6 m6", MakersProcessor(6, kM6Flag | kA6Flag), 5},
      {"family 6 a6 alone", MakersProcessor(6, kA6Flag), 5},
      {"family 6 all three", MakersProcessor(6, kAllSimd), 6},
      {"family 6 w7 alone", MakersProcessor(6, kW7Flag), 6},
      {"family 6 ignores next and multi", MakersProcessor(6, kW7Flag | kMultiFlag, 1, 4), 6},
      {"family 7", MakersProcessor(7, kAllSimd), 16},
      {"family 15 without w7", MakersProcessor(15, kM6Flag | kA6Flag), 17},
      {"family 15 w7", MakersProcessor(15, kAllSimd), 6},
      {"family 15 w7 multi", MakersProcessor(15, kW7Flag | kMultiFlag, 0, 2), 7},
      {"family 15 w7 multi of 255", MakersProcessor(15, kW7Flag | kMultiFlag, 0, 255), 7},
      {"family 15 w7 one logical", MakersProcessor(15, kW7Flag | kMultiFlag, 0, 1), 6},
      {"family 15 w7 count without flag", MakersProcessor(15, kW7Flag, 0, 2), 6},
      {"family 15 w7 next", MakersProcessor(15, kW7Flag, kNextSimdFlag), 8},
      {"family 15 w7 next multi", MakersProcessor(15, kW7Flag | kMultiFlag, kNextSimdFlag, 2), 8},
      {"family 15 next without w7", MakersProcessor(15, kA6Flag, kNextSimdFlag), 17},
      {"family 15 other extended bits", MakersProcessor(15, kW7Flag, 0xFFFFFFFE), 6},
      {"extended family ignored",
       {true, plat::cpu::kMakerVendor, {0x0FF0'0F00, 0, 0, kM6Flag}},
       17},
      {"model and stepping ignored",
       {true, plat::cpu::kMakerVendor, {0x000F'06FF, 0, 0, kW7Flag}},
       6},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qvlsCpuType(c.identity), c.cpu_type) << c.name;
  }
}

TEST(CpuClassification, FeaturesComeFromLeafOne) {
  const FakeIdentity identity(true, plat::cpu::kMakerVendor,
                              {0xFFFF'F5FF, 0x0003'0000, 0x8000'0001, kM6Flag | kMultiFlag});
  qvls_cpu_features f{};
  qvlsCpuFeatures(identity, f);
  EXPECT_EQ(f.family, 5) << "signature bits 8 to 11 only";
  EXPECT_EQ(f.m6, 1);
  EXPECT_EQ(f.a6, 0);
  EXPECT_EQ(f.w7, 0);
  EXPECT_EQ(f.multi_logical, 1) << "flag set and three logical processors";
  EXPECT_EQ(f.next_simd, 1);

  const FakeIdentity other(true, plat::cpu::kMakerVendor,
                           {0x0000'0A00, 0xFF00'FFFF, 0xFFFF'FFFE, ~(kM6Flag | kMultiFlag)});
  qvlsCpuFeatures(other, f);
  EXPECT_EQ(f.family, 10);
  EXPECT_EQ(f.m6, 0);
  EXPECT_EQ(f.a6, 1);
  EXPECT_EQ(f.w7, 1);
  EXPECT_EQ(f.multi_logical, 0) << "no flag, whatever the count";
  EXPECT_EQ(f.next_simd, 0);
}

TEST(CpuClassification, IdentificationAndVendorQueries) {
  EXPECT_EQ(qvlsHasCpuId(FakeIdentity(false, plat::cpu::kMakerVendor, {})), 0);
  EXPECT_EQ(qvlsHasCpuId(FakeIdentity(true, "AnotherVendr", {})), 1);
  EXPECT_EQ(qvlsCpuVendorOk(FakeIdentity(true, "GenuineVexor", {})), 1);
  EXPECT_EQ(qvlsCpuVendorOk(FakeIdentity(false, "GenuineVexor", {})), 1) << "asks the vendor only";
  EXPECT_EQ(qvlsCpuVendorOk(FakeIdentity(true, "AnotherVendr", {})), 0);
}

TEST(CpuClassification, SimulatedDefaultIsAW7ProcessorOnThisHost) {
  ASSERT_EQ(&plat::cpu::Current(), &plat::cpu::SimulatedDefault());
  EXPECT_EQ(qvlsHasCpuId(), 1);
  EXPECT_EQ(qvlsCpuVendorOk(), 1);
  qvls_cpu_features f{};
  qvlsCpuFeatures(f);
  EXPECT_EQ(f.family, 6);
  EXPECT_EQ(f.w7, 1) << "every x86-64 processor has the 128-bit integer and double set";
  EXPECT_EQ(qvlsCpuType(), QVLS_CPU_SIMD128D);
  EXPECT_EQ(qvlsCpuVariant(), QVLS_VARIANT_W7);
}

TEST(CpuClassification, HostPassthroughIsAnotherVendorsProcessor) {
  ScopedIdentity host(plat::cpu::HostPassthrough());
  EXPECT_EQ(qvlsHasCpuId(), 1);
  EXPECT_EQ(qvlsCpuVendorOk(), 0);
  EXPECT_EQ(qvlsCpuType(), QVLS_CPU_UNKNOWN);
  EXPECT_EQ(qvlsCpuVariant(), QVLS_VARIANT_PX);
}

TEST(CpuClassification, EveryQueryReadsTheIdentitySelectedNow) {
  for (const TypedProcessor& p : kProcessorOfEachType) {
    ScopedIdentity selected(p.identity);
    EXPECT_EQ(qvlsCpuType(), p.cpu_type) << p.name;
    EXPECT_EQ(qvlsCpuVariant(), p.column) << p.name;
  }
  EXPECT_EQ(qvlsCpuType(), QVLS_CPU_SIMD128D) << "the simulated default again";
}

}  // namespace
}  // namespace qvls_test
