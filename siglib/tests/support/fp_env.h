// The floating-point environment around a library call. Operations never
// save or restore it for their caller: each puts back what it changed, and a
// routine that used the 64-bit packed-integer registers releases them, so x87
// code may follow. FpEnvironmentGuard checks exactly that.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

namespace qvls_test {

struct FpEnvironment {
  std::uint16_t x87_control;
  std::uint8_t x87_tags;  // abridged tag word: one bit per register in use
  std::uint32_t mxcsr;
};

// Reads the calling thread's x87 control word, x87 tags and MXCSR.
FpEnvironment ReadFpEnvironment();

// Loads the calling thread's x87 control word or MXCSR, as a caller's own
// settings may stand before a library call.
void LoadX87Control(std::uint16_t word);
void LoadMxcsr(std::uint32_t word);

inline constexpr std::uint32_t kMxcsrStatusFlags = 0x3F;  // bits 0..5: the sticky exception flags

enum class MxcsrFlags {
  kMayChange,  // settings only: a call may raise flags, as arithmetic does
  kMustStay,   // flags too, for routines that promise to leave none behind
};

// Whether `after` keeps the settings of `before`: the same x87 control word,
// the same MXCSR (its flags only when asked), and no x87 register in use.
::testing::AssertionResult SameFpSettings(const FpEnvironment& before, const FpEnvironment& after,
                                          MxcsrFlags flags = MxcsrFlags::kMayChange);

// Snapshot at construction; at destruction the environment must keep its
// settings (a failed EXPECT otherwise).
class FpEnvironmentGuard {
 public:
  explicit FpEnvironmentGuard(MxcsrFlags flags = MxcsrFlags::kMayChange)
      : before_(ReadFpEnvironment()), flags_(flags) {}
  ~FpEnvironmentGuard() { EXPECT_TRUE(Unchanged()); }
  FpEnvironmentGuard(const FpEnvironmentGuard&) = delete;
  FpEnvironmentGuard& operator=(const FpEnvironmentGuard&) = delete;

  ::testing::AssertionResult Unchanged() const {
    return SameFpSettings(before_, ReadFpEnvironment(), flags_);
  }

 private:
  FpEnvironment before_;
  MxcsrFlags flags_;
};

// Calls fn(args...) and checks that the call kept the floating-point settings.
template <class Fn, class... Args>
decltype(auto) CallKeepingFpSettings(Fn&& fn, Args&&... args) {
  FpEnvironmentGuard guard;
  return std::forward<Fn>(fn)(std::forward<Args>(args)...);
}

}  // namespace qvls_test
