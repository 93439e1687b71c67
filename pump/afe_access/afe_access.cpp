// Building the access state, issuing requests with their local effects, the
// gain table and the voice link.
#include "pump/afe_access/afe_access.h"

#include <algorithm>
#include <cstring>

#include "platform/ke/irql.h"
#include "platform/ke/kernel.h"
#include "pump/afe_access/gain_table.h"
#include "pump/core/copy_mem.h"

namespace pump {
namespace {

constexpr std::uint16_t kStartRate = 9600;
constexpr std::uint16_t kStartSamples = 96;

bool IsSoundPathCode(ULONG code) {
  return (code >= 22 && code <= 33) || (code >= 35 && code <= 37) || code == 45 || code == 46;
}

ULONG Word(const void* data) {
  ULONG value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

// The samples per block the front end will hold for a request-4 value.
std::uint16_t BlockSamples(ULONG value) {
  return static_cast<std::uint16_t>(
      std::clamp<ULONG>(value >> 16, afe::kMinBlockSamples, afe::kMaxBlockSamples));
}

void ApplyLocalEffect(AfeAccess& access, ULONG code, const void* data, LONG result) {
  switch (code) {
    case afe::kAfeLineOn:
      access.line_on = 1;
      access.sound_start_count = -5;
      return;
    case afe::kAfeLineOff:
      access.line_on = 0;
      return;
    default:
      break;
  }
  if (data == nullptr) return;
  switch (code) {
    case afe::kAfeSetRate: {
      const ULONG value = Word(data);
      access.sample_rate = static_cast<std::uint16_t>(value);
      access.samples_per_block = BlockSamples(value);
      access.converter.step = ConverterStep(access.sample_rate, kSoundPathRate);
      return;
    }
    case afe::kAfeSpeaker:
      access.sound_level = Word(data);
      return;
    case afe::kAfeTestMode:
      access.line_mode = Word(data);
      return;
    case afe::kAfeCodecFlag:
      access.codec_flag = Word(data);
      return;
    case afe::kAfeHook:
      access.hook = Word(data);
      return;
    case afe::kAfeHook2:
      access.hook2 = Word(data);
      return;
    case afe::kAfeGetInfo:
      // Only an answer is worth keeping: a refused request left the buffer unfilled.
      if (result == afe::kAfeOk && data != &access.info)
        CopyMem(&access.info, data, sizeof access.info);
      return;
    case afe::kSoundSetLevel: {
      ULONG words[3];
      std::memcpy(words, data, sizeof words);
      if (words[0] == 3) access.sound_level = words[2];
      return;
    }
    default:
      return;
  }
}

}  // namespace

AfeAccess* BuildAfeAccess(afe::AfeInterface* afe) {
  AfeAccess& access = plat::ke::CurrentKernel().slots().Get<AfeAccess>();
  access = AfeAccess{};
  access.sample_rate = kStartRate;
  access.samples_per_block = kStartSamples;
  if (afe == nullptr) return nullptr;
  access.afe = afe;

  ULONG monitor = 1;
  ULONG size = sizeof monitor;
  IssueAfeRequest(access, afe::kAfeLineMonitor, &monitor, &size);
  size = sizeof access.info;
  IssueAfeRequest(access, afe::kAfeGetInfo, &access.info, &size);
  InitRateConverter(access.converter, access.sample_rate, kSoundPathRate);
  return &access;
}

LONG IssueAfeRequest(AfeAccess& access, ULONG code, PVOID data, ULONG* size) {
  afe::AfeInterface& afe = *access.afe;
  LONG result;
  if (IsSoundPathCode(code)) {
    result = afe.SoundPathRequest(afe.Context, code, data, size);
  } else {
    KIRQL old;
    KeAcquireSpinLock(&afe.Lock, &old);
    result = afe.AfeRequest(afe.Context, code, data, size);
    KeReleaseSpinLock(&afe.Lock, old);
  }
  access.last_status = result;
  ApplyLocalEffect(access, code, data, result);
  return result;
}

std::int16_t AfeGain(AfeAccess& access, int level) {
  if (level > 0 || level <= -static_cast<int>(kAfeGainTable.size())) {
    access.last_status = kAfeStatusBadGain;
    return 0;
  }
  access.last_status = 0;
  return kAfeGainTable[static_cast<std::size_t>(-level)];
}

LONG SetVoiceLink(AfeAccess& access, const VoiceLinkRequest& request) {
  access.last_status = request.enable != 0 ? kAfeStatusNoBlock : 0;
  return access.last_status;
}

}  // namespace pump
