#include "afe/windows/tests/sound_rig.h"

#include <gtest/gtest.h>

namespace afe::testing {

void SoundRig::StartSound(ULONG profile_flags) {
  BootAfe();
  OnKernelThread([&] { StartOrFail(); });
  profile_flags_ = profile_flags;
}

LONG SoundRig::Sound(ULONG code, void* argument, ULONG* count) {
  AfeInterface& afe = Extension().Interface;
  return afe.SoundPathRequest(afe.Context, code, argument, count);
}

LONG SoundRig::Put(std::vector<SHORT> samples) {
  ULONG count = static_cast<ULONG>(samples.size());
  return Sound(kSoundPutSamples, samples.data(), &count);
}

void SoundRig::OpenBridge() {
  sound_ = CreateFile(u"\\\\.\\VexorTolvasaSound", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, 0, 0);
  ASSERT_NE(sound_, INVALID_HANDLE_VALUE);
  for (HANDLE& event : events_of_bridge_) event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(BridgeControl(IOCTL_SOUND_SET_EVENTS, events_of_bridge_.data(),
                            sizeof events_of_bridge_, nullptr, 0)
                  .done);
}

void SoundRig::CloseBridge() {
  for (HANDLE event : events_of_bridge_) CloseHandle(event);
  CloseHandle(sound_);
}

SoundRig::Answer SoundRig::BridgeControl(ULONG code, const void* in, DWORD in_length, void* out,
                                         DWORD out_length) {
  Answer answer{};
  answer.done = DeviceIoControl(sound_, code, const_cast<void*>(in), in_length, out, out_length,
                                &answer.returned, nullptr);
  answer.error = answer.done ? ERROR_SUCCESS : GetLastError();
  return answer;
}

std::array<bool, kSoundEvents> SoundRig::Signalled() {
  std::array<bool, kSoundEvents> signalled{};
  for (int i = 0; i < kSoundEvents; ++i) {
    PKEVENT event = SoundDevice().Events[i];
    signalled[i] = event != nullptr && KeReadStateEvent(event) != 0;
  }
  return signalled;
}

}  // namespace afe::testing
