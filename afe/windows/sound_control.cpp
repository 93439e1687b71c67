// The Sound device's controls, from the voice bridge program: its event set,
// the last level request, and the reads and writes of samples.
#include <algorithm>
#include <cstring>
#include <span>

#include "afe/windows/sound_device.h"
#include "platform/ex/ob.h"

namespace afe {
namespace {

// Eight handles, each referenced into its slot; one that cannot be
// referenced leaves its slot empty. Another input length changes nothing.
void SetEvents(SoundDeviceExtension& sound, PIRP irp, ULONG input_length) {
  HANDLE handles[kSoundEvents];
  if (input_length != sizeof handles) return;
  std::memcpy(handles, irp->AssociatedIrp.SystemBuffer, sizeof handles);
  PKEVENT events[kSoundEvents] = {};
  for (int i = 0; i < kSoundEvents; ++i) {
    PVOID object = nullptr;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handles[i], EVENT_QUERY_STATE | EVENT_MODIFY_STATE,
                                             *ExEventObjectType, irp->RequestorMode, &object,
                                             nullptr))) {
      events[i] = static_cast<PKEVENT>(object);
    }
  }
  ReplaceSoundEvents(sound, events, irp->RequestorMode);
}

// Whole entries of the sound read queue are gathered until the read size
// is reached; the rest of the last entry is dropped. A queue that runs dry
// first leaves zeros after what it gave.
void ReadSamples(LineToAppStream& line, SHORT* out) {
  const ULONG wanted = line.ReadSize / sizeof(SHORT);
  ULONG gathered = 0;
  while (gathered < wanted) {
    const ULONG got =
        GetSamples(line.Queue, std::span(line.Gathering + gathered, kSoundEntrySamples));
    if (got == 0) break;
    gathered += got;
  }
  const ULONG kept = std::min(gathered, wanted);
  std::memcpy(out, line.Gathering, kept * sizeof(SHORT));
  std::fill(out + kept, out + wanted, SHORT{0});
}

// The write size goes into the sound write queue as eight entries of 10 ms.
void WriteSamples(AppToLineStream& app, const SHORT* in) {
  std::memcpy(app.Staging, in, app.WriteSize);
  const ULONG per_entry = app.WriteSize / sizeof(SHORT) / kSoundWriteEntries;
  for (ULONG entry = 0; entry < kSoundWriteEntries; ++entry) {
    PutEntry(app.Queue, std::span<const SHORT>(app.Staging + entry * per_entry, per_entry));
  }
}

}  // namespace

NTSTATUS SoundControl(PDEVICE_OBJECT device, PIRP irp) {
  SoundDeviceExtension& sound = SoundExtension(device);
  if (!EnterSound(sound)) return CompleteAfeRequest(irp, STATUS_DELETE_PENDING, 0);
  const auto& control = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl;
  PVOID buffer = irp->AssociatedIrp.SystemBuffer;
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  switch (control.IoControlCode) {
    case IOCTL_SOUND_SET_EVENTS:
      SetEvents(sound, irp, control.InputBufferLength);
      break;
    case IOCTL_SOUND_GET_VOLUME:
      if (control.OutputBufferLength < sizeof sound.LastLevel) {
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      }
      std::memcpy(buffer, &sound.LastLevel, sizeof sound.LastLevel);
      information = sizeof sound.LastLevel;
      break;
    case IOCTL_SOUND_READDATA:
      if (control.OutputBufferLength < sound.LineStream.ReadSize) {
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      }
      ReadSamples(sound.LineStream, static_cast<SHORT*>(buffer));
      information = sound.LineStream.ReadSize;
      break;
    case IOCTL_SOUND_WRITEDATA:
      if (control.InputBufferLength < sound.AppStream.WriteSize) {
        status = STATUS_BUFFER_TOO_SMALL;
        break;
      }
      WriteSamples(sound.AppStream, static_cast<const SHORT*>(buffer));
      break;
    case IOCTL_SOUND_RELEASE_EVENTS: {
      const PKEVENT none[kSoundEvents] = {};
      ReplaceSoundEvents(sound, none, irp->RequestorMode);
      break;
    }
    default:
      break;
  }
  // Completed before leaving: the removal may delete the device once the
  // last request is out.
  const NTSTATUS result = CompleteAfeRequest(irp, status, information);
  LeaveSound(sound);
  return result;
}

}  // namespace afe
