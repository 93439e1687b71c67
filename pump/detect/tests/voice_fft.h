// The voice resources' 64-point FFT as a classifier test needs it, made on a
// pool of its own under one of two processor identities: the simulated
// default, whose variant runs a 64-point FFT on the floating-point path,
// and host passthrough, whose generic variant runs it on the fixed-point
// path. The process's identity and slots are put back at the end.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/cpu/identity.h"
#include "platform/ex/expool.h"
#include "platform/ex/pool.h"
#include "pump/commands/voice_resources.h"
#include "siglib/frame/frame.h"
#include "siglib/tests/support/scoped_slots.h"

namespace pump::detect_test {

enum class FftPath { kFloat, kFixed };

inline std::string PathName(const ::testing::TestParamInfo<FftPath>& info) {
  return info.param == FftPath::kFloat ? "FloatPath" : "FixedPath";
}

class VoiceFft {
 public:
  explicit VoiceFft(FftPath path)
      : identity_(path == FftPath::kFloat ? plat::cpu::SimulatedDefault()
                                          : plat::cpu::HostPassthrough()) {
    qvlsInit();
    const bool generic = qvls_variant.load() == QVLS_VARIANT_PX;
    EXPECT_EQ(generic, path == FftPath::kFixed)
        << "the identity does not select the variant whose path this test means";
    EXPECT_TRUE(AllocVoice(resources_));
  }
  ~VoiceFft() {
    FreeVoice(resources_);
    EXPECT_EQ(pool_.LeakReport(), "");
  }
  VoiceFft(const VoiceFft&) = delete;
  VoiceFft& operator=(const VoiceFft&) = delete;

  const VoiceResources& voice() const { return resources_.voice; }
  ModeResources& resources() { return resources_; }

 private:
  plat::ex::Pool pool_{"voice fft"};
  plat::ex::ScopedPool installed_{pool_};
  qvls_test::ScopedSlots slots_;
  plat::cpu::ScopedIdentity identity_;
  ModeResources resources_{};
};

}  // namespace pump::detect_test
