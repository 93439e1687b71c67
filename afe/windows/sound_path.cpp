// SoundPathRequest: the data pump's commands to the Sound device's streams,
// taken without the interface's lock. Above PASSIVE_LEVEL only the queue
// transfers (and the query and code 37) are served; with ProfileFlags bit
// 17 clear every command does nothing and answers its own code.
#include <algorithm>
#include <cstring>
#include <span>

#include "afe/windows/afe_state.h"
#include "afe/windows/sound_device.h"

namespace afe {
namespace {

constexpr char kRaisedLevelLine[] =
    "<AFE>I M P O R T A N T ! You must call AudioProcessing functions at PASSIVE_LEVEL only. "
    "Function you called is disabled ! \n";

ULONG ProfileFlagsOf(const AfeContext& context) {
  const AfeDeviceExtension* owner = context.Owner;
  const AfeEventBlock* events = owner != nullptr ? owner->EventBlock : nullptr;
  return events != nullptr && events->ProfileFlags != nullptr ? *events->ProfileFlags : 0;
}

SoundDeviceExtension* SoundOf(const AfeContext& context) {
  const AfeDeviceExtension* owner = context.Owner;
  return owner != nullptr && owner->SoundDevice != nullptr ? &SoundExtension(owner->SoundDevice)
                                                           : nullptr;
}

// A stream starts or stops: its flags, then the event of the state it
// leaves reset and the event of the state it enters signalled.
void SwitchStream(SoundDeviceExtension& sound, UCHAR& adjustable, UCHAR& running, bool on,
                  int started, int stopped) {
  adjustable = running = on ? 1 : 0;
  ResetSoundEvent(sound, on ? stopped : started);
  SetSoundEvent(sound, on ? started : stopped);
}

void LineStream(SoundDeviceExtension& sound, bool on) {
  SwitchStream(sound, sound.LineStream.LevelAdjustable, sound.LineStream.Accepting, on,
               kLineStreamStarted, kLineStreamStopped);
}

void AppStream(SoundDeviceExtension& sound, bool on) {
  SwitchStream(sound, sound.AppStream.LevelAdjustable, sound.AppStream.Active, on,
               kAppStreamStarted, kAppStreamStopped);
}

void AllStreamsOff(SoundDeviceExtension& sound) {
  sound.LineStream.LevelAdjustable = sound.LineStream.Accepting = 0;
  sound.AppStream.LevelAdjustable = sound.AppStream.Active = 0;
  ResetSoundEvent(sound, kLineStreamStarted);
  ResetSoundEvent(sound, kAppStreamStarted);
  SetSoundEvent(sound, kSoundAllStopped);
}

// Request 29: a block of at most one entry, scaled in the caller's buffer
// by the stream's level (0 silences it), queued for the program's reads.
// A longer block is ignored.
LONG PutLineSamples(LineToAppStream& line, PVOID argument, const ULONG* count) {
  if (argument == nullptr || count == nullptr) return kAfeRefused;
  if (line.Accepting == 0) return kSoundNotRunning;
  const auto samples = static_cast<USHORT>(*count);
  if (samples > kSoundEntrySamples) return kAfeOk;
  const std::span block(static_cast<SHORT*>(argument), samples);
  for (SHORT& sample : block) {
    sample = line.Level == 0 ? SHORT{0}
                             : static_cast<SHORT>(sample >> (kSoundHighestLevel - line.Level));
  }
  PutEntry(line.Queue, block);
  return kAfeOk;
}

// Request 30: the program's samples until the wanted count, scaled by the
// stream's level while its level applies; an entry only partly taken keeps
// its rest for the next take. The count returns the samples delivered.
LONG TakeAppSamples(AppToLineStream& app, PVOID argument, ULONG* count) {
  if (argument == nullptr || count == nullptr) return kAfeRefused;
  if (app.Active == 0) {
    *count = 0;
    return kSoundNotRunning;
  }
  const LONG wanted = static_cast<SHORT>(*count);
  auto* out = static_cast<SHORT*>(argument);
  LONG delivered = 0;
  LONG result = kAfeOk;
  while (delivered < wanted) {
    const std::span taken(out + delivered,
                          GetSamples(app.Queue, std::span(out + delivered, out + wanted)));
    if (taken.empty()) {
      result = kSoundNotRunning;
      break;
    }
    if (app.ApplyLevel != 0) {
      for (SHORT& sample : taken) {
        sample = static_cast<SHORT>(sample >> (kSoundHighestLevel - app.Level));
      }
    }
    delivered += static_cast<LONG>(taken.size());
  }
  *count = static_cast<ULONG>(delivered);
  return result;
}

// Request 31: {kind, unused, level}. Kinds 3 and 4 take a new level for
// their stream while it may be adjusted; a level above 3 counts as 3.
LONG SetLevel(SoundDeviceExtension& sound, PVOID argument, const ULONG* count) {
  SoundLevelRequest request;
  if (argument == nullptr || count == nullptr || *count != sizeof request) return kAfeRefused;
  std::memcpy(&request, argument, sizeof request);
  sound.LastLevel.Kind = request.Kind;
  if (request.Kind == 1 || request.Kind == 2) return kSoundBadKind;
  const ULONG level = std::min(request.Level, kSoundHighestLevel);
  LineToAppStream& line = sound.LineStream;
  AppToLineStream& app = sound.AppStream;
  if (request.Kind == kLineStreamKind && level != line.Level && line.LevelAdjustable != 0) {
    line.Level = sound.LastLevel.Level = level;
  } else if (request.Kind == kAppStreamKind && level != app.Level && app.LevelAdjustable != 0) {
    app.Level = sound.LastLevel.Level = level;
    app.ApplyLevel = 1;
  }
  return kAfeOk;
}

LONG RunSoundCommand(SoundDeviceExtension& sound, ULONG flags, ULONG code, PVOID argument,
                     ULONG* count) {
  LineToAppStream& line = sound.LineStream;
  switch (code) {
    case kSoundStartLineStream:
    case kSoundResume:
      if ((flags & kProfileLineStreamStart) != 0) {
        line.CaptureStarted = 1;
        LineStream(sound, true);
      }
      return kAfeOk;
    case kSoundStopLineStream:
      if (line.CaptureStarted != 0) {
        line.CaptureStarted = 0;
        LineStream(sound, false);
      }
      return kAfeOk;
    case kSoundQueryLineStream:
      return line.Accepting != 0 && line.CaptureStarted != 0 ? kAfeOk : kSoundStreamStopped;
    case kSoundStartLineStreamNow:
      LineStream(sound, true);
      return kAfeOk;
    case kSoundStopLineStreamNow:
      LineStream(sound, false);
      return kAfeOk;
    case kSoundStartAppStream:
      AppStream(sound, true);
      return kAfeOk;
    case kSoundStopAppStream:
      AppStream(sound, false);
      return kAfeOk;
    case kSoundPutSamples:
      return PutLineSamples(line, argument, count);
    case kSoundTakeSamples:
      return TakeAppSamples(sound.AppStream, argument, count);
    case kSoundSetLevel:
      return SetLevel(sound, argument, count);
    case kSoundSuspend:
      AllStreamsOff(sound);
      return kAfeOk;
    case kSoundStartBoth:
      LineStream(sound, true);
      AppStream(sound, true);
      line.CaptureStarted = 0;
      return kAfeOk;
    case kSoundStopBoth:
      if (line.CaptureStarted == 0) {
        LineStream(sound, false);
        AppStream(sound, false);
      }
      return kAfeOk;
    default:
      return kSoundUnknown;
  }
}

}  // namespace

LONG SoundPathRequest(AfeContext* context, ULONG code, PVOID argument, ULONG* count) {
  if (KeGetCurrentIrql() > PASSIVE_LEVEL && !SoundPathServedAtRaisedLevel(code)) {
    DbgPrint("%s", kRaisedLevelLine);
    return kAfeRefused;
  }
  const ULONG flags = ProfileFlagsOf(*context);
  if ((flags & kProfileSoundPath) == 0) return static_cast<LONG>(code);
  SoundDeviceExtension* sound = SoundOf(*context);
  if (sound == nullptr || !EnterSound(*sound)) return kSoundNotRunning;
  const LONG result = RunSoundCommand(*sound, flags, code, argument, count);
  LeaveSound(*sound);
  return result;
}

}  // namespace afe
