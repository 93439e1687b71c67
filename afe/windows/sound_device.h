// The Sound device: modem audio between the data pump and the voice bridge
// program, 16-bit mono samples at 8000 Hz. The line-to-application stream
// carries what the data pump puts (sound-path request 29) to the program's
// reads; the application-to-line stream carries the program's writes to the
// data pump's takes (request 30). The program learns of stream starts and
// stops through the eight events it hands the device.
//
// Removal is guarded: every request and sound-path command enters the
// device and leaves it again; the removal marks the device as going away,
// so later entries fail, signals event 0 and waits until those inside have
// left before it frees the queues.
#pragma once

#include "afe/windows/afe_device.h"
#include "afe/windows/sample_queue.h"

namespace afe {

// Device controls of the Sound device, from the voice bridge program.
inline constexpr ULONG IOCTL_SOUND_SET_EVENTS = 0x222140;      // in: exactly 8 event handles
inline constexpr ULONG IOCTL_SOUND_GET_VOLUME = 0x222144;      // out: SoundLevelRequest
inline constexpr ULONG IOCTL_SOUND_READDATA = 0x222148;        // out: the read size
inline constexpr ULONG IOCTL_SOUND_WRITEDATA = 0x22214C;       // in: the write size
inline constexpr ULONG IOCTL_SOUND_RELEASE_EVENTS = 0x222150;  // none

// The event set, by index; 1 and 7 are never signalled.
inline constexpr int kSoundEvents = 8;
enum SoundEvent : int {
  kSoundGoingAway = 0,
  kSoundAllStopped = 2,
  kLineStreamStarted = 3,
  kLineStreamStopped = 4,
  kAppStreamStarted = 5,
  kAppStreamStopped = 6,
};

inline constexpr ULONG kSoundRate = 8000;           // Hz, both streams
inline constexpr ULONG kSoundTransferBytes = 1280;  // one read or write: 80 ms
inline constexpr ULONG kSoundWriteEntries = 8;      // a write queues 10 ms entries
inline constexpr ULONG kSoundHighestLevel = 3;      // levels 0 to 3
inline constexpr ULONG kSoundTransferSamples = kSoundTransferBytes / sizeof(SHORT);

// A level request of sound-path request 31, and the answer of GET_VOLUME.
struct SoundLevelRequest {
  ULONG Kind;  // 3 line-to-application, 4 application-to-line; 1 and 2 refused
  ULONG Zero;
  ULONG Level;
};
static_assert(sizeof(SoundLevelRequest) == 12);
inline constexpr ULONG kLineStreamKind = 3;
inline constexpr ULONG kAppStreamKind = 4;

struct LineToAppStream {
  UCHAR CaptureStarted;
  UCHAR LevelAdjustable;
  UCHAR Accepting;
  ULONG Level;     // 0 to 3
  ULONG Rate;      // Hz
  ULONG ReadSize;  // bytes
  // Whole entries are gathered until the read size is reached: room for
  // the read size plus the longest entry.
  SHORT Gathering[kSoundTransferSamples + kSoundEntrySamples];
  SampleQueue Queue;  // the sound read queue
};

struct AppToLineStream {
  UCHAR LevelAdjustable;
  UCHAR Active;
  UCHAR ApplyLevel;
  ULONG Level;      // 0 to 3
  ULONG Rate;       // Hz
  ULONG WriteSize;  // bytes
  SHORT Staging[kSoundTransferSamples];
  SampleQueue Queue;  // the sound write queue
};

struct SoundDeviceExtension {
  PDEVICE_OBJECT DeviceObject;
  PDRIVER_OBJECT DriverObject;
  PKEVENT Events[kSoundEvents];  // referenced; null where the set has none
  KPROCESSOR_MODE EventsMode;    // of the last request that set them
  SoundLevelRequest LastLevel;
  LineToAppStream LineStream;
  AppToLineStream AppStream;
  KSPIN_LOCK EventLock;     // held while the set is signalled or replaced
  volatile LONG GoingAway;  // set once by the removal
  volatile LONG InFlight;   // requests and sound-path commands inside the device
  KEVENT Idle;              // set when the last one leaves a device going away
};

inline SoundDeviceExtension& SoundExtension(PDEVICE_OBJECT device) {
  return *static_cast<SoundDeviceExtension*>(device->DeviceExtension);
}

// False once the device is going away; a true entry is paired with LeaveSound.
bool EnterSound(SoundDeviceExtension& sound);
void LeaveSound(SoundDeviceExtension& sound);

// Signals or resets one event of the set, where the set has it.
void SetSoundEvent(SoundDeviceExtension& sound, int event);
void ResetSoundEvent(SoundDeviceExtension& sound, int event);

// Takes `events` (referenced, or null) as the set and releases the
// references of the set they replace.
void ReplaceSoundEvents(SoundDeviceExtension& sound, const PKEVENT (&events)[kSoundEvents],
                        KPROCESSOR_MODE mode);

}  // namespace afe
