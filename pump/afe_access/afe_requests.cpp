#include "pump/afe_access/afe_requests.h"

namespace pump {
namespace {

LONG Plain(AfeAccess& access, ULONG code) {
  ULONG none = 0;
  return IssueAfeRequest(access, code, nullptr, &none);
}

LONG WithWord(AfeAccess& access, ULONG code, ULONG value) {
  ULONG size = sizeof value;
  return IssueAfeRequest(access, code, &value, &size);
}

}  // namespace

LONG AfeLineOn(AfeAccess& access) { return Plain(access, afe::kAfeLineOn); }
LONG AfeLineOff(AfeAccess& access) { return Plain(access, afe::kAfeLineOff); }

LONG SetAfeRate(AfeAccess& access, std::uint16_t samples_per_block, std::uint16_t rate) {
  return WithWord(access, afe::kAfeSetRate, ULONG{samples_per_block} << 16 | rate);
}

LONG SetAfeSpeaker(AfeAccess& access, ULONG volume) {
  return WithWord(access, afe::kAfeSpeaker, volume);
}
LONG SetAfePower(AfeAccess& access, ULONG state) {
  return WithWord(access, afe::kAfePowerState, state);
}
LONG SetAfeHook(AfeAccess& access, ULONG flag) { return WithWord(access, afe::kAfeHook, flag); }
LONG SetAfeHook2(AfeAccess& access, ULONG flag) { return WithWord(access, afe::kAfeHook2, flag); }
LONG SetAfeLineOption(AfeAccess& access, ULONG value) {
  return WithWord(access, afe::kAfeLineMonitor, value);
}

LONG AfeReadValue(AfeAccess& access, ULONG& value) {
  ULONG size = sizeof value;
  return IssueAfeRequest(access, afe::kAfeLineStatus, &value, &size);
}

int ReadLineMeasure(AfeAccess& access) {
  USHORT value = 0;
  ULONG size = sizeof value;
  IssueAfeRequest(access, afe::kAfeLineMeasure, &value, &size);
  return value;
}

int ReadLineStatusBit(AfeAccess& access) {
  SHORT value = 0;
  ULONG size = sizeof value;
  return IssueAfeRequest(access, afe::kAfeLineStatusBit, &value, &size) == afe::kAfeOk ? value : 1;
}

LONG SoundPutSamples(AfeAccess& access, std::span<std::int16_t> samples) {
  ULONG count = static_cast<ULONG>(samples.size());
  return IssueAfeRequest(access, afe::kSoundPutSamples, samples.data(), &count);
}

LONG SoundTakeSamples(AfeAccess& access, std::span<std::int16_t> buffer, int& count) {
  if (count < 0 || buffer.size() < static_cast<std::size_t>(count) + kSoundEntrySamples) {
    access.last_status = kAfeStatusBadCount;
    count = 0;
    return access.last_status;
  }
  ULONG word = static_cast<ULONG>(count);
  const LONG result = IssueAfeRequest(access, afe::kSoundTakeSamples, buffer.data(), &word);
  count = static_cast<SHORT>(word);
  return result;
}

LONG SoundSetLevel(AfeAccess& access, ULONG kind, ULONG level) {
  ULONG request[3] = {kind, 0, level};
  ULONG size = sizeof request;
  return IssueAfeRequest(access, afe::kSoundSetLevel, request, &size);
}

LONG SoundStartLineStream(AfeAccess& access) { return Plain(access, afe::kSoundStartLineStream); }
LONG SoundStopLineStream(AfeAccess& access) { return Plain(access, afe::kSoundStopLineStream); }
LONG SoundStartLineStreamNow(AfeAccess& access) {
  return Plain(access, afe::kSoundStartLineStreamNow);
}
LONG SoundStopLineStreamNow(AfeAccess& access) {
  return Plain(access, afe::kSoundStopLineStreamNow);
}
LONG SoundStartAppStream(AfeAccess& access) { return Plain(access, afe::kSoundStartAppStream); }
LONG SoundStopAppStream(AfeAccess& access) { return Plain(access, afe::kSoundStopAppStream); }
LONG SoundStartBoth(AfeAccess& access) { return Plain(access, afe::kSoundStartBoth); }
LONG SoundStopBoth(AfeAccess& access) { return Plain(access, afe::kSoundStopBoth); }
LONG SoundResume(AfeAccess& access) { return Plain(access, afe::kSoundResume); }
LONG SoundSuspend(AfeAccess& access) { return Plain(access, afe::kSoundSuspend); }

LONG SoundRequest37(AfeAccess& access, ULONG& value) {
  ULONG size = sizeof value;
  return IssueAfeRequest(access, afe::kSoundRequest37, &value, &size);
}

}  // namespace pump
