// Sample reads and writes within the current block.
#include <algorithm>

#include "pump/afe_access/afe_access.h"
#include "pump/afe_access/sound_mirror.h"
#include "pump/core/copy_mem.h"

namespace pump {

void ResetSampleCursors(AfeAccess& access) {
  access.read_position = 0;
  access.write_position = 0;
  access.block_fetched = 0;
}

int ReadRxSamples(AfeAccess& access, std::span<std::int16_t> buffer) {
  const int block = access.samples_per_block;
  if (buffer.size() > static_cast<std::size_t>(block)) {
    access.last_status = kAfeStatusBadCount;
    return 0;
  }
  access.last_status = 0;
  const bool fresh = access.block_fetched == 0;
  if (fresh) {
    const ULONG bytes = static_cast<ULONG>(block) * sizeof(std::int16_t);
    if (access.afe->AfeReadBlock(access.afe->Context, access.input_block, bytes) == 0) {
      access.last_status = kAfeStatusNoBlock;
      return 0;
    }
    access.block_fetched = 1;
  }
  // A rate change within the tick may have shortened the block below the position.
  const int remaining = std::max(0, block - access.read_position);
  const int count = std::min(static_cast<int>(buffer.size()), remaining);
  CopyMem(buffer.data(), access.input_block + access.read_position, count * sizeof(std::int16_t));
  access.read_position += count;
  if (fresh) {
    MirrorToSoundPath(access);
    access.last_status = 0;  // the read's status, not the sound path's
  }
  return count;
}

int WriteTxSamples(AfeAccess& access, std::span<const std::int16_t> samples) {
  access.last_status = 0;
  const int block = access.samples_per_block;
  const int room = block - access.write_position;
  if (room <= 0) return 0;
  const int count = static_cast<int>(std::min(samples.size(), static_cast<std::size_t>(room)));
  CopyMem(access.output_block + access.write_position, samples.data(),
          count * sizeof(std::int16_t));
  access.write_position += count;
  if (count < room) return count;
  const ULONG bytes = static_cast<ULONG>(block) * sizeof(std::int16_t);
  if (access.afe->AfeWriteBlock(access.afe->Context, access.output_block, bytes) == 0) {
    access.last_status = kAfeStatusNoBlock;
    return 0;
  }
  return count;
}

}  // namespace pump
