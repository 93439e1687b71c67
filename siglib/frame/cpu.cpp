#include "siglib/frame/cpu.h"

#include <algorithm>

namespace {

constexpr std::int32_t Bit(std::uint32_t word, int bit) {
  return static_cast<std::int32_t>((word >> bit) & 1);
}

}  // namespace

std::int32_t qvlsHasCpuId(const plat::cpu::Identity& identity) {
  return identity.IdentificationPresent() ? 1 : 0;
}

std::int32_t qvlsCpuVendorOk(const plat::cpu::Identity& identity) {
  const plat::cpu::VendorString vendor = identity.Vendor();
  return std::equal(vendor.begin(), vendor.end(), plat::cpu::kMakerVendor.begin(),
                    plat::cpu::kMakerVendor.end())
             ? 1
             : 0;
}

void qvlsCpuFeatures(const plat::cpu::Identity& identity, qvls_cpu_features& record) {
  const plat::cpu::Leaf1Words words = identity.Leaf1();
  const std::uint32_t logical_processors = (words.additional >> 16) & 0xFF;
  record.family = static_cast<std::int32_t>((words.signature >> 8) & 0xF);
  record.m6 = Bit(words.features, 23);
  record.a6 = Bit(words.features, 25);
  record.w7 = Bit(words.features, 26);
  record.multi_logical = (Bit(words.features, 28) != 0 && logical_processors > 1) ? 1 : 0;
  record.next_simd = Bit(words.extended_features, 0);
}

std::int32_t qvlsCpuType(const plat::cpu::Identity& identity) {
  if (!qvlsHasCpuId(identity)) return QVLS_CPU_UNKNOWN;
  if (!qvlsCpuVendorOk(identity)) return QVLS_CPU_UNKNOWN;
  qvls_cpu_features f{};
  qvlsCpuFeatures(identity, f);
  switch (f.family) {
    case 7:
      return QVLS_CPU_FAM7;
    case 15:
      if (!f.w7) return QVLS_CPU_FAM15;
      if (f.next_simd) return QVLS_CPU_SIMD128D_B0;
      return f.multi_logical ? QVLS_CPU_SIMD128D_MULTI : QVLS_CPU_SIMD128D;
    case 5:
      return f.m6 ? QVLS_CPU_FAM5_SIMD64 : QVLS_CPU_FAM5;
    case 6:
      if (f.w7) return QVLS_CPU_SIMD128D;
      if (f.a6) return QVLS_CPU_FAM6_SIMD128F;
      return f.m6 ? QVLS_CPU_FAM6_SIMD64 : QVLS_CPU_FAM6;
    default:
      return QVLS_CPU_UNKNOWN;
  }
}

std::int32_t qvlsHasCpuId() { return qvlsHasCpuId(plat::cpu::Current()); }
std::int32_t qvlsCpuVendorOk() { return qvlsCpuVendorOk(plat::cpu::Current()); }
void qvlsCpuFeatures(qvls_cpu_features& record) { qvlsCpuFeatures(plat::cpu::Current(), record); }
std::int32_t qvlsCpuType() { return qvlsCpuType(plat::cpu::Current()); }
