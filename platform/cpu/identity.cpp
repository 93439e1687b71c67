#include "platform/cpu/identity.h"

#include <cpuid.h>

#include <atomic>
#include <cstring>

namespace plat::cpu {
namespace {

constexpr std::uint64_t kIdentificationFlag = std::uint64_t{1} << 21;
constexpr std::uint32_t kBaseFamilyMask = 0xF00;
constexpr std::uint32_t kBaseFamily6 = 0x600;

struct Registers {
  unsigned eax, ebx, ecx, edx;
};

Registers HostLeaf(unsigned leaf) {
  Registers r{};
  __cpuid(leaf, r.eax, r.ebx, r.ecx, r.edx);
  return r;
}

Leaf1Words HostLeaf1() {
  const Registers r = HostLeaf(1);
  return {r.eax, r.ebx, r.ecx, r.edx};
}

class HostIdentity final : public Identity {
 public:
  bool IdentificationPresent() const override {
    const std::uint64_t before = __builtin_ia32_readeflags_u64();
    __builtin_ia32_writeeflags_u64(before ^ kIdentificationFlag);
    const std::uint64_t after = __builtin_ia32_readeflags_u64();
    return ((before ^ after) & kIdentificationFlag) != 0;
  }

  VendorString Vendor() const override {
    const Registers r = HostLeaf(0);
    VendorString vendor;
    std::memcpy(vendor.data(), &r.ebx, 4);
    std::memcpy(vendor.data() + 4, &r.edx, 4);
    std::memcpy(vendor.data() + 8, &r.ecx, 4);
    return vendor;
  }

  Leaf1Words Leaf1() const override { return HostLeaf1(); }
};

class SimulatedIdentity final : public Identity {
 public:
  bool IdentificationPresent() const override { return true; }
  VendorString Vendor() const override { return FakeIdentity::ToVendorString(kMakerVendor); }
  Leaf1Words Leaf1() const override {
    Leaf1Words words = HostLeaf1();
    words.signature = (words.signature & ~kBaseFamilyMask) | kBaseFamily6;
    return words;
  }
};

constexpr HostIdentity kHost;
constexpr SimulatedIdentity kSimulated;

// The process's selection; null stands for the simulated default.
std::atomic<const Identity*> selected{nullptr};

}  // namespace

const Identity& HostPassthrough() { return kHost; }
const Identity& SimulatedDefault() { return kSimulated; }

const Identity& Current() {
  const Identity* identity = selected.load(std::memory_order_acquire);
  return identity != nullptr ? *identity : kSimulated;
}

const Identity& Select(const Identity& identity) {
  const Identity* previous = selected.exchange(&identity, std::memory_order_acq_rel);
  return previous != nullptr ? *previous : kSimulated;
}

}  // namespace plat::cpu
