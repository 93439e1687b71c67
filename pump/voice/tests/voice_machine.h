// One machine (the simulator, vxafe, vxdsp and the test controller driver)
// taken into voice mode through the controller's commands. The
// speakerphone's tests reach the sound-path entries through the event block
// the data pump lends the front end, and both tests and the voice bridge's
// reach the streams through the Sound device.
#pragma once

#include <gtest/gtest.h>

#include "platform/hal/instant.h"
#include "pump/core/comram.h"
#include "pump/tests/support/dsp_rig.h"

namespace pump::testing {

class VoiceMachine : public DspRig {
 protected:
  static constexpr ULONG kStreamLevels = 1u << 1 | 1u << 2;
  static constexpr ULONG kFullPath = 1u << 11;
  static constexpr ULONG kSoundPath = 1u << 17;

  // On the booted machine: the reset, the line taken, and voice at 8000 Hz
  // in 16-bit samples in `line_mode` (9: the speakerphone's two streams).
  void TakeLineAndStartVoice(std::uint8_t line_mode) {
    ASSERT_TRUE(TheController().started());
    OnKernelThread([&] {
      ControllerDouble& controller = TheController().Double();
      controller.WritePowerState(0xD0);
      controller.Exchange(0x60, {0});
      HostInterface& host = TheController().Host();
      host.comram.reg[kRegLineLevelA] &= static_cast<std::uint8_t>(~kLineHookRelay);
    });
    sim.RunFor(50 * plat::hal::kMillisecond);
    OnKernelThread([&] {
      ControllerDouble& controller = TheController().Double();
      controller.Exchange(0x65, {2, 0});
      controller.Exchange(0x97, {2, 8, 0, 0});
      controller.Exchange(0x95, {line_mode});
    });
  }

  // Boots with `profile_flags` (on `line`'s side A when one is given) and
  // starts the speakerphone's streams.
  void BootInSpeakerphone(ULONG profile_flags, plat::line::Line* line = nullptr) {
    plat::MachineConfig config{.hive_overrides = ProfileOverride(profile_flags)};
    if (line != nullptr) {
      config.name = "A";
      config.line = line;
      config.side = plat::line::Side::kA;
    }
    BootOnVxafe(Controller::kStarted, std::move(config));
    TakeLineAndStartVoice(9);
  }

  afe::AfeEventBlock& Events() { return Extension().events; }
  Speakerphone& Phone() { return Extension().context.voice.speakerphone; }
};

}  // namespace pump::testing
