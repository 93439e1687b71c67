// The Sound device's life: creation with its queues, the guard that keeps
// the removal from freeing what a request still uses, and the event set.
#include "afe/windows/sound_device.h"

#include <algorithm>
#include <iterator>

#include "afe/windows/spin_lock.h"
#include "platform/ke/interlocked.h"

namespace afe {
namespace {

NTSTATUS InitSoundExtension(SoundDeviceExtension& sound) {
  std::fill(std::begin(sound.Events), std::end(sound.Events), nullptr);
  sound.EventsMode = KernelMode;
  sound.LastLevel = {};
  LineToAppStream& line = sound.LineStream;
  line.CaptureStarted = line.LevelAdjustable = line.Accepting = 0;
  line.Level = kSoundHighestLevel;
  line.Rate = kSoundRate;
  line.ReadSize = kSoundTransferBytes;
  AppToLineStream& app = sound.AppStream;
  app.LevelAdjustable = app.Active = 0;
  app.ApplyLevel = 1;
  app.Level = kSoundHighestLevel;
  app.Rate = kSoundRate;
  app.WriteSize = kSoundTransferBytes;
  KeInitializeSpinLock(&sound.EventLock);
  sound.GoingAway = 0;
  sound.InFlight = 0;
  KeInitializeEvent(&sound.Idle, NotificationEvent, FALSE);
  if (!AllocateSampleQueue(line.Queue)) return STATUS_NO_MEMORY;
  if (!AllocateSampleQueue(app.Queue)) {
    FreeSampleQueue(line.Queue);
    return STATUS_NO_MEMORY;
  }
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS CreateSoundDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT* device) {
  NTSTATUS status = CreateLinkedDevice(driver, sizeof(SoundDeviceExtension), kSoundDeviceName,
                                       kSoundLinkName, kSoundDeviceType, device);
  if (!NT_SUCCESS(status)) return status;
  SoundDeviceExtension& sound = SoundExtension(*device);
  sound.DeviceObject = *device;
  sound.DriverObject = driver;
  status = InitSoundExtension(sound);
  if (!NT_SUCCESS(status)) {
    // A device without queues would take puts into nothing: none is better.
    DeleteLinkedDevice(*device, kSoundLinkName);
    *device = nullptr;
  }
  return status;
}

NTSTATUS DeleteSoundDevice(PDEVICE_OBJECT device) {
  SoundDeviceExtension& sound = SoundExtension(device);
  InterlockedExchange(&sound.GoingAway, 1);
  SetSoundEvent(sound, kSoundGoingAway);
  if (InterlockedCompareExchange(&sound.InFlight, 0, 0) != 0) {
    KeWaitForSingleObject(&sound.Idle, Executive, KernelMode, FALSE, nullptr);
  }
  const PKEVENT none[kSoundEvents] = {};
  ReplaceSoundEvents(sound, none, KernelMode);
  FreeSampleQueue(sound.LineStream.Queue);
  FreeSampleQueue(sound.AppStream.Queue);
  return DeleteLinkedDevice(device, kSoundLinkName);
}

bool EnterSound(SoundDeviceExtension& sound) {
  InterlockedIncrement(&sound.InFlight);
  if (sound.GoingAway == 0) return true;
  LeaveSound(sound);
  return false;
}

void LeaveSound(SoundDeviceExtension& sound) {
  if (InterlockedDecrement(&sound.InFlight) == 0 && sound.GoingAway != 0) {
    KeSetEvent(&sound.Idle, IO_NO_INCREMENT, FALSE);
  }
}

void SetSoundEvent(SoundDeviceExtension& sound, int event) {
  SpinLockHeld locked(sound.EventLock);
  if (sound.Events[event] != nullptr) KeSetEvent(sound.Events[event], IO_NO_INCREMENT, FALSE);
}

void ResetSoundEvent(SoundDeviceExtension& sound, int event) {
  SpinLockHeld locked(sound.EventLock);
  if (sound.Events[event] != nullptr) KeResetEvent(sound.Events[event]);
}

void ReplaceSoundEvents(SoundDeviceExtension& sound, const PKEVENT (&events)[kSoundEvents],
                        KPROCESSOR_MODE mode) {
  PKEVENT previous[kSoundEvents];
  {
    SpinLockHeld locked(sound.EventLock);
    std::copy(std::begin(sound.Events), std::end(sound.Events), previous);
    std::copy(std::begin(events), std::end(events), sound.Events);
    sound.EventsMode = mode;
  }
  for (PKEVENT event : previous) {
    if (event != nullptr) ObDereferenceObject(event);
  }
}

}  // namespace afe
