#include "pump/commands/mode_resources.h"

#include "platform/ex/expool.h"
#include "pump/commands/voice_resources.h"
#include "pump/resampler/resampler.h"
#include "siglib/qvls.h"

namespace pump {
namespace {

constexpr ULONG kPoolTag = plat::ex::PoolTag("Ddk ");
constexpr SIZE_T kPlaceholderBytes = 32;

template <PlaceholderResources ModeResources::*Mode>
bool AllocPlaceholder(ModeResources& resources) {
  (resources.*Mode).block = ExAllocatePoolWithTag(NonPagedPool, kPlaceholderBytes, kPoolTag);
  return (resources.*Mode).block != nullptr;
}

template <PlaceholderResources ModeResources::*Mode>
void FreePlaceholder(ModeResources& resources) {
  if ((resources.*Mode).block != nullptr) ExFreePool((resources.*Mode).block);
  (resources.*Mode).block = nullptr;
}

template <PlaceholderResources ModeResources::*Mode>
constexpr ModeResourceEntry kPlaceholder = {AllocPlaceholder<Mode>, FreePlaceholder<Mode>};

constexpr ModeResourceEntry kResampler = {
    [](ModeResources& resources) { return AllocResampler(resources.resampler); },
    [](ModeResources& resources) { FreeResampler(resources.resampler); }};

}  // namespace

const std::array<ModeResourceEntry, 6> kModeResourceTable = {
    kPlaceholder<&ModeResources::phase2>, kPlaceholder<&ModeResources::v34>,
    kPlaceholder<&ModeResources::v90>,    kPlaceholder<&ModeResources::v92>,
    {AllocVoice, FreeVoice},              kResampler,
};

std::uint32_t AllocModeResources(DspContext& context) {
  qvlsInit();
  for (const ModeResourceEntry& entry : kModeResourceTable) {
    if (!entry.allocate(context.resources)) {
      FreeModeResources(context);
      return 0;
    }
  }
  return 1;
}

std::uint32_t FreeModeResources(DspContext& context) {
  for (const ModeResourceEntry& entry : kModeResourceTable) entry.free(context.resources);
  return 0;
}

}  // namespace pump
