// Processors for the identification and selection tests, built from the
// leaf-1 bits that classification reads.
#pragma once

#include <cstdint>

#include "platform/cpu/identity.h"
#include "siglib/frame/types.h"

namespace qvls_test {

inline constexpr std::uint32_t kM6Flag = 1u << 23;     // feature word
inline constexpr std::uint32_t kA6Flag = 1u << 25;     // feature word
inline constexpr std::uint32_t kW7Flag = 1u << 26;     // feature word
inline constexpr std::uint32_t kMultiFlag = 1u << 28;  // feature word
inline constexpr std::uint32_t kNextSimdFlag = 1u;     // extended feature word

constexpr plat::cpu::Leaf1Words Leaf1(std::uint32_t family, std::uint32_t features,
                                      std::uint32_t extended = 0, std::uint32_t logical = 1) {
  return {family << 8, logical << 16, extended, features};
}

// A processor of the maker's own, with identification instruction.
constexpr plat::cpu::FakeIdentity MakersProcessor(std::uint32_t family, std::uint32_t features,
                                                  std::uint32_t extended = 0,
                                                  std::uint32_t logical = 1) {
  return {true, plat::cpu::kMakerVendor, Leaf1(family, features, extended, logical)};
}

struct TypedProcessor {
  const char* name;
  plat::cpu::FakeIdentity identity;
  std::int32_t cpu_type;
  std::int32_t column;  // the column selection installs for it
};

// One processor of each type that classification knows.
inline constexpr TypedProcessor kProcessorOfEachType[] = {
    {"family 4", MakersProcessor(4, kM6Flag | kA6Flag | kW7Flag), QVLS_CPU_UNKNOWN,
     QVLS_VARIANT_PX},
    {"family 5", MakersProcessor(5, 0), QVLS_CPU_FAM5, QVLS_VARIANT_PX},
    {"family 5 m6", MakersProcessor(5, kM6Flag), QVLS_CPU_FAM5_SIMD64, QVLS_VARIANT_PX},
    {"family 6", MakersProcessor(6, 0), QVLS_CPU_FAM6, QVLS_VARIANT_PX},
    {"family 6 m6", MakersProcessor(6, kM6Flag), QVLS_CPU_FAM6_SIMD64, QVLS_VARIANT_M6},
    {"family 6 a6", MakersProcessor(6, kM6Flag | kA6Flag), QVLS_CPU_FAM6_SIMD128F, QVLS_VARIANT_A6},
    {"family 6 w7", MakersProcessor(6, kM6Flag | kA6Flag | kW7Flag), QVLS_CPU_SIMD128D,
     QVLS_VARIANT_W7},
    {"family 15 w7 multi", MakersProcessor(15, kW7Flag | kMultiFlag, 0, 2), QVLS_CPU_SIMD128D_MULTI,
     QVLS_VARIANT_W7},
    {"family 15 w7 next", MakersProcessor(15, kW7Flag, kNextSimdFlag), QVLS_CPU_SIMD128D_B0,
     QVLS_VARIANT_W7},
    {"family 7", MakersProcessor(7, kM6Flag | kA6Flag | kW7Flag), QVLS_CPU_FAM7, QVLS_VARIANT_PX},
    {"family 15", MakersProcessor(15, kM6Flag | kA6Flag), QVLS_CPU_FAM15, QVLS_VARIANT_PX},
};

}  // namespace qvls_test
