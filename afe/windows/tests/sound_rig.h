// A started front end with its Sound device, seen from both sides: the data
// pump's sound-path requests on a kernel thread, and the voice bridge
// program's device controls from an emulated user-mode thread with the
// eight events it created.
#pragma once

#include <array>
#include <vector>

#include "afe/windows/sound_device.h"
#include "afe/windows/tests/afe_rig.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace afe::testing {

class SoundRig : public AfeRig {
 protected:
  // Boots and starts the front end, with `profile_flags` as ProfileFlags.
  void StartSound(ULONG profile_flags = kProfileSoundPath);
  // The data pump's sound-path request; on a thread of the machine.
  LONG Sound(ULONG code, void* argument = nullptr, ULONG* count = nullptr);
  LONG Put(std::vector<SHORT> samples);
  SoundDeviceExtension& SoundDevice() { return SoundExtension(Device(kSoundDeviceType)); }

  // On a user thread: opens the Sound device, creates eight manual-reset
  // events and hands them over; CloseBridge closes them all.
  void OpenBridge();
  void CloseBridge();
  // The device control on the bridge's handle; the error on failure.
  struct Answer {
    BOOL done;
    DWORD error;
    DWORD returned;
  };
  Answer BridgeControl(ULONG code, const void* in, DWORD in_length, void* out, DWORD out_length);
  // Which of the set's events are signalled, by index; on any thread.
  std::array<bool, kSoundEvents> Signalled();

  HANDLE sound_ = INVALID_HANDLE_VALUE;
  std::array<HANDLE, kSoundEvents> events_of_bridge_{};
};

}  // namespace afe::testing
