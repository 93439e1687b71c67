// The processor's identity as the machine sees it: whether the identification
// instruction exists, the 12-character vendor string of leaf 0 and the four
// words of leaf 1. Every simulated machine of a process runs on the same host
// processor, so the identity is one process-wide setting: the simulated
// default unless the host program or a test selects another source.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace plat::cpu {

// The vendor string of the maker's own processors. No real processor reports
// it; the simulated default identity does.
inline constexpr std::string_view kMakerVendor = "GenuineVexor";

using VendorString = std::array<char, 12>;

// Identification leaf 1, in the processor's register order.
struct Leaf1Words {
  std::uint32_t signature = 0;          // family, model, stepping
  std::uint32_t additional = 0;         // bits 16..23: logical processor count
  std::uint32_t extended_features = 0;  // bit 0: the next SIMD generation
  std::uint32_t features = 0;  // bits 23, 25, 26, 28: the SIMD sets, several logical processors
  friend bool operator==(const Leaf1Words&, const Leaf1Words&) = default;
};

// One source of identity. Each query asks the source again.
class Identity {
 public:
  virtual bool IdentificationPresent() const = 0;
  virtual VendorString Vendor() const = 0;
  virtual Leaf1Words Leaf1() const = 0;

 protected:
  ~Identity() = default;
};

// The host processor itself: the real leaves, and the real toggle of bit 21
// of the flags word (the bit stays as written, as on the real processor).
const Identity& HostPassthrough();

// The maker's processor on this host: "GenuineVexor", the host's leaf-1 words
// with the base family (signature bits 8..11) set to 6.
const Identity& SimulatedDefault();

// Any identity a test or the host program wants to present.
class FakeIdentity final : public Identity {
 public:
  constexpr FakeIdentity(bool present, std::string_view vendor, Leaf1Words leaf1)
      : present_(present), vendor_(ToVendorString(vendor)), leaf1_(leaf1) {}

  bool IdentificationPresent() const override { return present_; }
  VendorString Vendor() const override { return vendor_; }
  Leaf1Words Leaf1() const override { return leaf1_; }

  // The first 12 characters of text, padded with zero bytes.
  static constexpr VendorString ToVendorString(std::string_view text) {
    VendorString vendor{};
    for (std::size_t i = 0; i < vendor.size() && i < text.size(); ++i) vendor[i] = text[i];
    return vendor;
  }

 private:
  bool present_;
  VendorString vendor_;
  Leaf1Words leaf1_;
};

// The identity every machine of the process sees now.
const Identity& Current();

// Makes `identity` the process's identity and returns the previous one. The
// identity must stay alive while it is selected.
const Identity& Select(const Identity& identity);

// Selects an identity for the life of the scope, then puts back the previous one.
class ScopedIdentity {
 public:
  explicit ScopedIdentity(const Identity& identity) : previous_(Select(identity)) {}
  ~ScopedIdentity() { Select(previous_); }
  ScopedIdentity(const ScopedIdentity&) = delete;
  ScopedIdentity& operator=(const ScopedIdentity&) = delete;

 private:
  const Identity& previous_;
};

}  // namespace plat::cpu
