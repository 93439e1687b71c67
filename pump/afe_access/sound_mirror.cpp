#include "pump/afe_access/sound_mirror.h"

#include <array>
#include <limits>

#include "pump/afe_access/afe_requests.h"

namespace pump {
namespace {

constexpr std::size_t kSilentBlockSamples = 80;  // 10 ms at 8000 Hz

std::int64_t MuteCount(const afe::AfeInfo& info) { return info.SoundMuteBlocks; }

}  // namespace

void MirrorToSoundPath(AfeAccess& access) {
  ULONG none = 0;
  if (IssueAfeRequest(access, afe::kSoundQueryLineStream, nullptr, &none) != afe::kAfeOk ||
      access.sound_level == 0) {
    return;
  }
  if (access.sound_start_count >= MuteCount(access.info) && access.line_on != 0) {
    const std::size_t count =
        ConvertBlock(access.converter,
                     std::span<const std::int16_t>(access.input_block, access.samples_per_block),
                     access.converted);
    SoundPutSamples(access, std::span<std::int16_t>(access.converted, count));
    return;
  }
  std::array<std::int16_t, kSilentBlockSamples> silence{};
  SoundPutSamples(access, silence);
  if (access.sound_start_count < std::numeric_limits<std::int32_t>::max())
    ++access.sound_start_count;
}

}  // namespace pump
