#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "platform/cpu/identity.h"

namespace plat::cpu {
namespace {

std::string Text(const VendorString& vendor) { return std::string(vendor.data(), vendor.size()); }

// A field of the first processor in /proc/cpuinfo, read independently of the
// identification instruction.
std::optional<std::string> CpuInfoField(const std::string& field) {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) != 0) continue;
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    return line.substr(colon + 2);
  }
  return std::nullopt;
}

constexpr std::uint32_t BaseFamily(std::uint32_t signature) { return (signature >> 8) & 0xF; }

TEST(CpuIdentity, HostPassthroughReportsTheHostProcessor) {
  const Identity& host = HostPassthrough();
  EXPECT_TRUE(host.IdentificationPresent()) << "every x86-64 processor lets bit 21 change";

  const auto vendor = CpuInfoField("vendor_id");
  const auto family = CpuInfoField("cpu family");
  if (!vendor || !family) GTEST_SKIP() << "/proc/cpuinfo does not name the processor";
  EXPECT_EQ(Text(host.Vendor()), *vendor);
  // The kernel shows the base family, plus the extended family when the base is 15.
  const std::uint32_t signature = host.Leaf1().signature;
  std::uint32_t shown = BaseFamily(signature);
  if (shown == 15) shown += (signature >> 20) & 0xFF;
  EXPECT_EQ(std::to_string(shown), *family);
}

TEST(CpuIdentity, HostPassthroughAsksAgainAtEveryQuery) {
  // Toggling bit 21 leaves it toggled; the next query must still see it move.
  const Identity& host = HostPassthrough();
  EXPECT_TRUE(host.IdentificationPresent());
  EXPECT_TRUE(host.IdentificationPresent());
  EXPECT_EQ(host.Leaf1(), host.Leaf1());
}

TEST(CpuIdentity, SimulatedDefaultIsTheMakersProcessorOnThisHost) {
  const Identity& simulated = SimulatedDefault();
  const Leaf1Words host = HostPassthrough().Leaf1();
  const Leaf1Words words = simulated.Leaf1();

  EXPECT_TRUE(simulated.IdentificationPresent());
  EXPECT_EQ(Text(simulated.Vendor()), "GenuineVexor");
  EXPECT_EQ(BaseFamily(words.signature), 6u);
  EXPECT_EQ(words.signature & ~0xF00u, host.signature & ~0xF00u) << "only the base family differs";
  EXPECT_EQ(words.additional, host.additional);
  EXPECT_EQ(words.extended_features, host.extended_features);
  EXPECT_EQ(words.features, host.features);
}

TEST(CpuIdentity, FakeIdentityPresentsWhatItWasGiven) {
  const FakeIdentity fake(false, "AuthenticXYZ-and-more", {1, 2, 3, 4});
  EXPECT_FALSE(fake.IdentificationPresent());
  EXPECT_EQ(Text(fake.Vendor()), "AuthenticXYZ") << "only the first 12 characters count";
  EXPECT_EQ(fake.Leaf1(), (Leaf1Words{1, 2, 3, 4}));

  const FakeIdentity short_name(true, "Abc", {});
  EXPECT_EQ(Text(short_name.Vendor()), std::string("Abc") + std::string(9, '\0'));
}

TEST(CpuIdentity, ProcessSelectionDefaultsToSimulatedAndScopesRestore) {
  EXPECT_EQ(&Current(), &SimulatedDefault());
  const FakeIdentity outer(true, "OuterVendor!", {});
  const FakeIdentity inner(true, "InnerVendor!", {});
  {
    ScopedIdentity a(outer);
    EXPECT_EQ(&Current(), &outer);
    {
      ScopedIdentity b(inner);
      EXPECT_EQ(&Current(), &inner);
    }
    EXPECT_EQ(&Current(), &outer);
    {
      ScopedIdentity c(HostPassthrough());
      EXPECT_EQ(&Current(), &HostPassthrough());
    }
  }
  EXPECT_EQ(&Current(), &SimulatedDefault());
}

TEST(CpuIdentity, SelectReturnsThePreviousIdentity) {
  const FakeIdentity fake(true, "SomeVendor!!", {});
  const Identity& previous = Select(fake);
  EXPECT_EQ(&previous, &SimulatedDefault());
  EXPECT_EQ(&Select(previous), &fake);
  EXPECT_EQ(&Current(), &SimulatedDefault());
}

}  // namespace
}  // namespace plat::cpu
